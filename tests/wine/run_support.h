// Helpers for the Wine tests that drive whole runs of the real program: every message box of its
// process, a launch that answers a warning shown before the main window, the stand-ins' call lines.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app_driver.h"

namespace morvane::wine {

struct BoxSearch {
  DWORD pid;
  std::vector<HWND> found;
};

// A named stdcall function: the x86 compiler turns no lambda into a WNDENUMPROC.
inline BOOL CALLBACK CollectBox(HWND hwnd, LPARAM param) {
  auto* f = reinterpret_cast<BoxSearch*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(hwnd, &owner);
  wchar_t name[16] = {};
  ::GetClassNameW(hwnd, name, 16);
  if (owner == f->pid && ::IsWindowVisible(hwnd) && lstrcmpW(name, L"#32770") == 0) f->found.push_back(hwnd);
  return TRUE;
}

// Every visible dialog window (message box) of process `pid`.
inline std::vector<HWND> BoxesOf(DWORD pid) {
  BoxSearch find{pid, {}};
  ::EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

inline Box BoxFrom(const App& app, HWND hwnd) {
  Box box;
  box.hwnd = hwnd;
  box.caption = app.WindowText(hwnd);
  box.text = app.WindowText(::GetDlgItem(hwnd, 0xFFFF));
  return box;
}

// The next box of the program that is not `other` (a box that is already open), or none.
inline Box WaitNewBox(const App& app, HWND other, DWORD timeoutMs) {
  HWND found = nullptr;
  app.WaitFor(
      [&] {
        for (HWND h : BoxesOf(app.pid())) {
          if (h != other) return (found = h) != nullptr;
        }
        return false;
      },
      timeoutMs);
  return found ? BoxFrom(app, found) : Box();
}

// Launches the program; a box it shows before its main window (the start-up warning) is recorded in
// `early` and answered with OK, from a second thread, since the launch waits for the main window.
class EarlyBoxLaunch {
 public:
  bool Launch(App& app, const std::wstring& exe, const std::map<std::wstring, std::wstring>& env) {
    app_ = &app;
    stop_ = 0;
    HANDLE thread = ::CreateThread(nullptr, 0, &EarlyBoxLaunch::Watch, this, 0, nullptr);
    const bool ok = app.Launch(exe, env);
    ::InterlockedExchange(&stop_, 1);
    if (thread) {
      ::WaitForSingleObject(thread, 10000);
      ::CloseHandle(thread);
    }
    return ok;
  }
  std::vector<Box> early;

 private:
  static DWORD WINAPI Watch(void* param) {
    auto* self = static_cast<EarlyBoxLaunch*>(param);
    while (::InterlockedCompareExchange(&self->stop_, 0, 0) == 0) {
      const DWORD pid = self->app_->pid();
      if (pid != 0) {
        for (HWND h : BoxesOf(pid)) {
          const Box box = BoxFrom(*self->app_, h);
          self->early.push_back(box);
          self->app_->Answer(box, IDOK);
          self->app_->WaitGone(box, 5000);
        }
      }
      ::Sleep(20);
    }
    return 0;
  }
  App* app_ = nullptr;
  volatile LONG stop_ = 0;
};

// Asks the window whether the session may end, as Windows does at a log-off or a shut-down, from a
// second thread: a refusal shows its box before the answer comes.
class SessionEndQuery {
 public:
  explicit SessionEndQuery(HWND window)
      : thread_([this, window] {
          DWORD_PTR answer = 0;
          if (::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 60000, &answer)) {
            answer_ = answer ? 1 : 0;
          }
          done_ = true;
        }) {}
  ~SessionEndQuery() { thread_.join(); }
  SessionEndQuery(const SessionEndQuery&) = delete;
  SessionEndQuery& operator=(const SessionEndQuery&) = delete;
  // 1: the session may end, 0: refused, -1: no answer within the time.
  int Answer(const App& app, DWORD timeoutMs) {
    app.WaitFor([&] { return done_.load(); }, timeoutMs);
    return answer_;
  }

 private:
  std::atomic<int> answer_{-1};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// The lines the stand-ins log for a whole run onto `target` with the boot files on `boot`: the
// format, bcdboot twice for each Windows folder (the target's, then the prefix's C:), bootsect.
inline std::string FormatCall(const std::wstring& target) {
  return "format.com " + Utf8(target) + " /FS:NTFS /v:Win /q /x /y";
}
inline std::vector<std::string> WholeRunCalls(const std::wstring& target, const std::wstring& boot) {
  const std::string t = Utf8(target), b = Utf8(boot);
  std::vector<std::string> calls = {FormatCall(target)};
  for (const std::string& windows : {t + "\\Windows", std::string("C:\\Windows")}) {
    calls.push_back("bcdboot.exe " + windows + " /s " + b + " /l zh-cn");
    calls.push_back("bcdboot.exe " + windows + " /s " + b + " /f uefi /l zh-cn");
  }
  calls.push_back("bootsect.exe /nt60 " + b + " /mbr");
  return calls;
}

}  // namespace morvane::wine
