// Move-only owners of the Win32 handle kinds the program uses. Each knows its own invalid value:
// kernel objects that CreateFile hands out are INVALID_HANDLE_VALUE when absent, the others null.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <ole2.h>

#include <utility>

namespace morvane {

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() noexcept : value_(Traits::Invalid()) {}
  explicit UniqueHandle(Type value) noexcept : value_(value) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  Type get() const noexcept { return value_; }
  bool valid() const noexcept { return value_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return valid(); }

  Type release() noexcept { return std::exchange(value_, Traits::Invalid()); }
  void reset(Type value = Traits::Invalid()) noexcept {
    Type old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  Type value_;
};

struct KernelHandleTraits {  // processes, threads, events: null when absent
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile: INVALID_HANDLE_VALUE when absent
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { ::CloseHandle(h); }
};
struct WindowTraits {
  using Type = HWND;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DestroyWindow(h); }
};
struct IconTraits {
  using Type = HICON;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DestroyIcon(h); }
};
struct FontTraits {
  using Type = HFONT;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DeleteObject(h); }
};
struct CoTaskMemTraits {  // PIDLs and other shell allocations
  using Type = void*;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type p) noexcept { ::CoTaskMemFree(p); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueHwnd = UniqueHandle<WindowTraits>;
using UniqueIcon = UniqueHandle<IconTraits>;
using UniqueFont = UniqueHandle<FontTraits>;
using UniqueCoTaskMem = UniqueHandle<CoTaskMemTraits>;

// A started process: owns both handles of PROCESS_INFORMATION.
class UniqueProcess {
 public:
  UniqueProcess() = default;
  explicit UniqueProcess(const PROCESS_INFORMATION& pi) noexcept
      : process_(pi.hProcess), thread_(pi.hThread), id_(pi.dwProcessId) {}
  UniqueProcess(UniqueProcess&&) noexcept = default;
  UniqueProcess& operator=(UniqueProcess&&) noexcept = default;

  HANDLE process() const noexcept { return process_.get(); }
  HANDLE thread() const noexcept { return thread_.get(); }
  DWORD id() const noexcept { return id_; }
  bool valid() const noexcept { return process_.valid(); }
  void reset() noexcept {
    thread_.reset();
    process_.reset();
    id_ = 0;
  }

 private:
  UniqueKernelHandle process_;
  UniqueKernelHandle thread_;
  DWORD id_ = 0;
};

// A window's device context from GetDC, given back to the same window with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  WindowDc(WindowDc&& o) noexcept : window_(o.window_), dc_(std::exchange(o.dc_, nullptr)) {}
  WindowDc& operator=(WindowDc&& o) noexcept {
    if (this != &o) {
      reset();
      window_ = o.window_;
      dc_ = std::exchange(o.dc_, nullptr);
    }
    return *this;
  }
  ~WindowDc() { reset(); }

  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }
  void reset() noexcept {
    if (HDC old = std::exchange(dc_, nullptr)) ::ReleaseDC(window_, old);
  }

 private:
  HWND window_;
  HDC dc_;
};

// COM for the calling thread, for as long as the guard lives. Only an initialisation that
// succeeded (S_OK or S_FALSE) is balanced by CoUninitialize.
class ComThreadGuard {
 public:
  ComThreadGuard() noexcept : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ComThreadGuard(const ComThreadGuard&) = delete;
  ComThreadGuard& operator=(const ComThreadGuard&) = delete;
  ~ComThreadGuard() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  bool ok() const noexcept { return SUCCEEDED(hr_); }

 private:
  HRESULT hr_;
};

// OLE (drag and drop, and COM with it) for the calling thread, for as long as the guard lives.
class OleThreadGuard {
 public:
  OleThreadGuard() noexcept : hr_(::OleInitialize(nullptr)) {}
  OleThreadGuard(const OleThreadGuard&) = delete;
  OleThreadGuard& operator=(const OleThreadGuard&) = delete;
  ~OleThreadGuard() {
    if (SUCCEEDED(hr_)) ::OleUninitialize();
  }
  bool ok() const noexcept { return SUCCEEDED(hr_); }

 private:
  HRESULT hr_;
};

// An owned COM interface pointer; Release on reset. One from the system must be created while a
// ComThreadGuard lives; an object of the program's own (the drop target) needs none.
template <typename I>
class UniqueCom {
 public:
  UniqueCom() = default;
  explicit UniqueCom(I* p) noexcept : p_(p) {}
  UniqueCom(const UniqueCom&) = delete;
  UniqueCom& operator=(const UniqueCom&) = delete;
  UniqueCom(UniqueCom&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  UniqueCom& operator=(UniqueCom&& o) noexcept {
    if (this != &o) reset(std::exchange(o.p_, nullptr));
    return *this;
  }
  ~UniqueCom() { reset(); }

  I* get() const noexcept { return p_; }
  I* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  void reset(I* p = nullptr) noexcept {
    I* old = std::exchange(p_, p);
    if (old) old->Release();
  }
  // For out-parameters: releases what is held and hands out the slot.
  void** put_void() noexcept {
    reset();
    return reinterpret_cast<void**>(&p_);
  }

 private:
  I* p_ = nullptr;
};

}  // namespace morvane
