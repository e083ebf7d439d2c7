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
  // Starts the program with extra environment variables; waits for its main window.
  bool Launch(const std::wstring& exe, const std::map<std::wstring, std::wstring>& env = {});
  ~App();

  HWND main() const { return main_; }
  HWND Control(Ctl c) const { return ::GetDlgItem(main_, ControlId(c)); }
  std::wstring Text(Ctl c) const;
  std::wstring WindowText(HWND h) const;
  // Sets a control's text as typing would end; the program's change handler runs before this
  // returns (an image query included).
  bool SetText(Ctl c, const std::wstring& text, DWORD timeoutMs = 60000);
  void Click(Ctl c);  // posted, so a message box it opens does not block the driver
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
  bool WaitGone(const Box& box, DWORD timeoutMs = 10000) const;

  // Waits until the control's text equals `text`.
  bool WaitText(Ctl c, const std::wstring& text, DWORD timeoutMs = 60000) const;
  // Polls `predicate` until it holds or the time is up.
  template <typename F>
  static bool WaitFor(F predicate, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (!predicate()) {
      if (::GetTickCount64() > end) return false;
      ::Sleep(20);
    }
    return true;
  }

  void RequestClose() { ::PostMessageW(main_, WM_CLOSE, 0, 0); }
  bool WaitExit(DWORD timeoutMs = 10000);
  bool Running() const;
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
bool FileExists(const std::wstring& path);
std::string ReadAll(const std::wstring& path);
bool WriteAll(const std::wstring& path, const std::string& bytes);
std::vector<std::string> ReadLines(const std::wstring& path);  // UTF-8 lines without CR LF

}  // namespace morvane::wine

namespace morvane::wine {
// The window's pixels as a 24-bit BMP file (the rig turns them into PNG).
bool SaveWindowBitmap(HWND window, const std::wstring& path);
}  // namespace morvane::wine
