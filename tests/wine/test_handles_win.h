// Owners of the handle kinds only the tests use, on the program's own UniqueHandle.
#pragma once

#include <windows.h>

#include "shell/handles_win.h"

namespace morvane {

// A handle kind whose empty value is null, closed by `CloseFn`.
template <typename T, auto CloseFn>
struct NullHandleTraits {
  using Type = T;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { CloseFn(h); }
};
struct FindHandleTraits {  // FindFirstFile: INVALID_HANDLE_VALUE, closed by FindClose
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { ::FindClose(h); }
};

using UniqueFind = UniqueHandle<FindHandleTraits>;
using UniqueModule = UniqueHandle<NullHandleTraits<HMODULE, ::FreeLibrary>>;  // also loaded as a data file
using UniqueBitmap = UniqueHandle<NullHandleTraits<HBITMAP, ::DeleteObject>>;

}  // namespace morvane
