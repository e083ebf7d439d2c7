// Owners of the handle kinds only the tests use, on the program's own UniqueHandle.
#pragma once

#include <windows.h>

#include "shell/handles_win.h"

namespace morvane {

struct FindHandleTraits {  // FindFirstFile: INVALID_HANDLE_VALUE, closed by FindClose
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { ::FindClose(h); }
};
struct ModuleTraits {  // LoadLibrary / LoadLibraryEx, also as a data file
  using Type = HMODULE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::FreeLibrary(h); }
};
struct BitmapTraits {
  using Type = HBITMAP;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DeleteObject(h); }
};

using UniqueFind = UniqueHandle<FindHandleTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueBitmap = UniqueHandle<BitmapTraits>;

}  // namespace morvane
