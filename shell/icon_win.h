#pragma once

#include <windows.h>

#include "shell/handles_win.h"

namespace morvane {

// Gives the window the program file's icon, at `sizePx`, as its large icon; the small icon is left
// as it is. The file is read under the built name (its folder, its name, ".exe"): where it is not
// found there, no icon is read and the large icon is removed. Returns that icon's owner, which must
// outlive the window's use of it; empty when no icon could be read.
UniqueIcon SetFormIcon(HWND window, int sizePx);

}  // namespace morvane
