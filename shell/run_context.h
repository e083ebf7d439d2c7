// What the handlers of an installation reach: the two ports, the run state, and the window's hold
// on itself for as long as a run lasts. The window hands this out; nothing else of it is reachable.
#pragma once

#include "shell/ports.h"
#include "shell/run_state.h"

namespace morvane {

// Implemented by the window. From the confirmed start until the run is over it refuses to close,
// keeps the session from ending and parks the keyboard focus; afterwards it gives the focus back.
class RunHold {
 public:
  virtual void HoldForRun(bool running) = 0;

 protected:
  ~RunHold() = default;
};

struct RunContext {
  WindowPort& ui;
  SystemPort& sys;
  RunState& state;
  RunHold& hold;
};

}  // namespace morvane
