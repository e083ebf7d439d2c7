// Progress shown on the program's taskbar button (ITaskbarList3). Where the shell has no taskbar
// object, as in a minimal Windows PE, Create fails and every call is a harmless no-op.
// COM must be initialised on the calling thread (ComThreadGuard) for the object's lifetime.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>

#include "shell/handles_win.h"

namespace morvane {

class TaskbarProgress {
 public:
  // Values of TBPFLAG for SetState.
  static constexpr int kNoProgress = 0;
  static constexpr int kIndeterminate = 1;

  TaskbarProgress() = default;
  TaskbarProgress(const TaskbarProgress&) = delete;
  TaskbarProgress& operator=(const TaskbarProgress&) = delete;

  // Creates the shell's taskbar list object; false when the system has none.
  bool Create();
  bool created() const noexcept { return static_cast<bool>(list_); }

  // Both do nothing without the object; the shell's answers are ignored.
  void SetState(HWND window, int state);
  void SetValue(HWND window, uint64_t done, uint64_t total);

 private:
  UniqueCom<ITaskbarList3> list_;
};

}  // namespace morvane
