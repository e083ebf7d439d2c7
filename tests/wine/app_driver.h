// Drives the real program from another process, as a user would: its window, controls and
// message boxes, through the standard messages that Windows marshals between processes.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "shell/controls.h"
#include "shell/handles_win.h"
#include "test_handles_win.h"
#include "tests/fixtures/fixture_util.h"

namespace morvane::wine {

using fixture::ToUtf8;
inline std::wstring EnvOr(const wchar_t* name, const std::wstring& fallback = std::wstring()) {
  const std::wstring value = fixture::Env(name);
  return value.empty() ? fallback : value;
}

struct Box {
  HWND hwnd = nullptr;
  std::wstring caption, text;
  explicit operator bool() const { return hwnd != nullptr; }
};

class App {
 public:
  // Starts the program with extra environment variables (an empty value removes one) and waits for
  // its main window. With `early`, a box shown before the main window (the start-up warning) is
  // recorded there and answered OK; without, such a box keeps the launch from succeeding.
  using Vars = std::map<std::wstring, std::wstring>;
  bool Launch(const std::wstring& exe, const Vars& env = {}, std::vector<Box>* early = nullptr);
  ~App() { Kill(); }

  HWND main() const { return main_; }
  HWND Control(Ctl c) const { return ::GetDlgItem(main_, ControlId(c)); }
  std::wstring Text(Ctl c) const { return WindowText(Control(c)); }
  std::wstring WindowText(HWND h) const;
  // Sets a control's text as typing would end; the program's change handler runs before this
  // returns (an image query included).
  bool SetText(Ctl c, const std::wstring& text, DWORD timeoutMs = 60000);
  void Click(Ctl c) { ::PostMessageW(Control(c), BM_CLICK, 0, 0); }  // posted: a box it opens blocks nothing
  bool Enabled(Ctl c) const { return ::IsWindowEnabled(Control(c)) != FALSE; }
  bool Checked(Ctl c) const;
  std::vector<std::wstring> Items(Ctl c) const;
  int Selected(Ctl c) const;
  RECT ClientRect() const;
  HWND Focused() const;  // the window that holds the keyboard focus in the program's thread
  RECT RectInClient(Ctl c) const;  // pixels, relative to the main window's client area

  // The program's next message box (a dialog of its process) other than `other`, or none after the
  // timeout; only windows are enumerated while it waits, no message is sent to the program.
  Box WaitBox(DWORD timeoutMs = 20000, HWND other = nullptr) const;
  void Answer(const Box& box, int button);  // IDOK, IDCANCEL
  bool WaitGone(const Box& box, DWORD timeoutMs = 10000) const {
    return WaitFor([&] { return !::IsWindow(box.hwnd) || !::IsWindowVisible(box.hwnd); }, timeoutMs);
  }
  bool WaitText(Ctl c, const std::wstring& text, DWORD timeoutMs = 60000) const {
    return WaitFor([&] { return Text(c) == text; }, timeoutMs);
  }
  // Polls `predicate` until it holds or the time is up (a timeout of 0: one look).
  template <typename F>
  static bool WaitFor(F predicate, DWORD timeoutMs) {
    for (const ULONGLONG end = ::GetTickCount64() + timeoutMs; !predicate(); ::Sleep(20)) {
      if (::GetTickCount64() >= end) return false;
    }
    return true;
  }

  void RequestClose() { ::PostMessageW(main_, WM_CLOSE, 0, 0); }
  bool WaitExit(DWORD timeoutMs = 10000) {
    return process_.valid() && ::WaitForSingleObject(process_.process(), timeoutMs) == WAIT_OBJECT_0;
  }
  bool Running() const { return process_.valid() && ::WaitForSingleObject(process(), 0) == WAIT_TIMEOUT; }
  DWORD pid() const { return pid_; }
  HANDLE process() const { return process_.process(); }
  void Kill();

 private:
  UniqueProcess process_;
  DWORD pid_ = 0;
  HWND main_ = nullptr;
};

// The visible top-level windows of process `pid` with that window class; "#32770": its message boxes.
std::vector<HWND> WindowsOf(DWORD pid, const wchar_t* className = L"#32770");

// File helpers on Windows paths.
inline bool FileExists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
std::string ReadAll(const std::wstring& path);
bool WriteAll(const std::wstring& path, const std::string& bytes);
std::vector<std::string> ReadLines(const std::wstring& path);  // UTF-8 lines without CR LF

// The window's pixels as a 24-bit BMP file (the rig turns them into PNG).
bool SaveWindowBitmap(HWND window, const std::wstring& path);

}  // namespace morvane::wine
