#pragma once

#include <windows.h>

#include "shell/handles_win.h"

namespace morvane {

// Gives the window the program file's icon, at `sizePx`, as its large icon. Returns that icon's
// owner, which must outlive the window's use of it; empty when no icon could be read.
UniqueIcon SetFormIcon(HWND window, int sizePx);

// The program's icon group at the system's small-icon size: the group's own small image, not the
// large one shrunk. Null when the program carries no icon.
UniqueIcon LoadSmallProgramIcon();

}  // namespace morvane
