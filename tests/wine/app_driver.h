// Drives the real program from another process, as a user would: its window, controls and message
// boxes, through the standard messages that Windows marshals between processes.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <map>

#include "shell/controls.h"
#include "shell/handles_win.h"
#include "tests/fixtures/fixture_util.h"

namespace morvane::wine {

using fixture::ToUtf8;
using Texts = std::vector<std::wstring>;
using Env = std::map<std::wstring, std::wstring>;

// An environment variable, or the fallback where it is empty.
inline std::wstring EnvOr(const wchar_t* name, const std::wstring& fallback = {}) {
  return fixture::Env(name).empty() ? fallback : fixture::Env(name);
}

// Polls `done` until it holds or the time is up (0: one look). Every wait has a limit: a hang fails
// the test instead of stopping the suite.
template <typename F>
bool WaitFor(F done, DWORD ms) {
  for (const ULONGLONG end = ::GetTickCount64() + ms; !done(); ::Sleep(20)) {
    if (::GetTickCount64() >= end) return false;
  }
  return true;
}

// Waits for the program's thread (five seconds unless told) instead of giving up when it looks hung:
// a thread that has just come back from a wait of more than five seconds on a tool counts as hung
// until it fetches its next message, and a box it shows then would read as empty.
inline DWORD_PTR Send(HWND h, UINT message, WPARAM w = 0, LPARAM l = 0, DWORD ms = 5000) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(h, message, w, l, SMTO_NORMAL, ms, &result) ? result : 0;
}

// One message for the text, with room to spare: a length asked first may be stale by the time the
// text is read while the program changes it.
inline std::wstring TextOf(HWND h) {
  std::wstring text(Send(h, WM_GETTEXTLENGTH) + 512, L'\0');
  text.resize(Send(h, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0])));
  return text;
}

// The first visible top-level window of process `pid` of that class but `except`; "#32770": a message box.
inline HWND WindowOf(DWORD pid, const wchar_t* className = L"#32770", HWND except = nullptr) {
  for (HWND h = nullptr; (h = ::FindWindowExW(nullptr, h, className, nullptr)) != nullptr;) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(h, &owner);
    if (owner == pid && h != except && ::IsWindowVisible(h)) return h;
  }
  return nullptr;
}

struct Box {  // a message box of the program
  HWND hwnd = nullptr;
  std::wstring caption, text;
  explicit operator bool() const { return hwnd != nullptr; }
};

class App {
 public:
  ~App() { if (Running()) ::TerminateProcess(process(), 1); }
  // Starts the program with extra environment variables (an empty value removes one) and waits for
  // its main window; a box shown before it (the start-up warning) is answered OK.
  bool Launch(const std::wstring& exe, const Env& env = {}) {
    Env saved;  // the program inherits this process's environment, changed for the moment of its start
    for (const auto& [name, value] : env) saved[name] = fixture::Env(name.c_str()), Put(name, value);
    std::wstring line = L"\"" + exe + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    const bool started = ::CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                          exe.substr(0, exe.find_last_of(L'\\')).c_str(), &si, &pi);
    for (const auto& [name, value] : saved) Put(name, value);
    if (!started) return false;
    process_ = UniqueProcess(pi);
    pid_ = pi.dwProcessId;
    const auto shown = [&] {
      if (const Box box = WaitBox(0)) Answer(box, IDOK);
      return (main_ = WindowOf(pid_, L"MorvaneSetupForm1")) != nullptr;
    };
    return WaitFor(shown, 30000);
  }

  HWND main() const { return main_; }
  HWND Control(Ctl c) const { return ::GetDlgItem(main_, ControlId(c)); }
  std::wstring Text(Ctl c) const { return TextOf(Control(c)); }
  // Sets a control's text as typing would end; the change handler (an image query) runs before this returns.
  bool SetText(Ctl c, const std::wstring& text) {
    return Send(Control(c), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), 60000) == TRUE;
  }
  void Click(Ctl c) { ::PostMessageW(Control(c), BM_CLICK, 0, 0); }  // posted: a box it opens blocks nothing
  bool Enabled(Ctl c) const { return ::IsWindowEnabled(Control(c)) != FALSE; }
  int Bar() const { return static_cast<int>(Send(::GetDlgItem(Control(Ctl::ProgressBar1), 1), PBM_GETPOS)); }
  Texts Items(Ctl c) const {  // of a list, each under 512 characters
    Texts items(Send(Control(c), CB_GETCOUNT), std::wstring(512, L'\0'));
    for (size_t i = 0; i < items.size(); ++i) {
      items[i].resize(Send(Control(c), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(items[i].data())));
    }
    return items;
  }
  HWND Focused() const {  // in the program's thread
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return ::GetGUIThreadInfo(::GetWindowThreadProcessId(main_, nullptr), &info) ? info.hwndFocus : nullptr;
  }

  // The program's next message box other than `other`, or none after the time; only windows are
  // enumerated while it waits, no message is sent to the program.
  Box WaitBox(DWORD ms = 20000, HWND other = nullptr) const {
    Box box;
    WaitFor([&] { return (box.hwnd = WindowOf(pid_, L"#32770", other)) != nullptr; }, ms);
    if (box) box.caption = TextOf(box.hwnd), box.text = TextOf(::GetDlgItem(box.hwnd, 0xFFFF));
    return box;
  }
  // Clicks IDOK or IDCANCEL on the box, keeps it in `answered` and waits for it to go.
  bool Answer(const Box& box, int button) {
    answered.push_back(box);
    const LPARAM control = reinterpret_cast<LPARAM>(::GetDlgItem(box.hwnd, button));
    ::PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), control);
    return WaitFor([&] { return !::IsWindow(box.hwnd) || !::IsWindowVisible(box.hwnd); }, 10000);
  }

  void RequestClose() { ::PostMessageW(main_, WM_CLOSE, 0, 0); }
  bool WaitExit(DWORD ms) { return process_.valid() && ::WaitForSingleObject(process(), ms) == WAIT_OBJECT_0; }
  bool Running() const { return process_.valid() && ::WaitForSingleObject(process(), 0) == WAIT_TIMEOUT; }
  DWORD pid() const { return pid_; }
  HANDLE process() const { return process_.process(); }

  std::vector<Box> answered;  // every box answered, in order

 private:
  static void Put(const std::wstring& name, const std::wstring& value) {  // an empty value removes the variable
    ::SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
  }
  UniqueProcess process_;
  DWORD pid_ = 0;
  HWND main_ = nullptr;
};

// Fills the drive fields, unticks the restart unless `restart`, presses Start: the box that comes.
inline Box PressStart(App& app, const std::wstring& boot, const std::wstring& target, bool restart = true) {
  const auto ticked = [&] { return Send(app.Control(Ctl::Check2), BM_GETCHECK) == BST_CHECKED; };
  if (!app.SetText(Ctl::Text2, boot) || !app.SetText(Ctl::Text3, target)) return Box();
  if (ticked() != restart) app.Click(Ctl::Check2);
  if (!WaitFor([&] { return ticked() == restart; }, 5000)) return Box();
  app.Click(Ctl::Command4);
  return app.WaitBox();
}

}  // namespace morvane::wine
