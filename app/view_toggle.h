#pragma once

#include "shell/ports.h"
#include "shell/run_state.h"

namespace morvane {

// The resize event: a maximise request flips between the compact and the expanded view, and the
// window never stays maximised. Setting the state and the size raise nested resize events, which
// see the normal state; the final assignment of the outer event wins.
void OnViewResize(RunState& state, WindowPort& ui);

// The view sizes from the window's current frame, and the compact view taken.
void InitViewSizes(RunState& state, WindowPort& ui);

}  // namespace morvane
