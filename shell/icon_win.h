#pragma once

#include <windows.h>

namespace morvane {

// Gives the window the program file's icon, at `sizePx`, as its large icon. Returns the result of
// WM_SETICON: the previous large icon, or null. The icon is not destroyed while the process runs.
LRESULT SetFormIcon(HWND window, int sizePx);

}  // namespace morvane
