// Drives the real program from another process, as a user would: its window, controls and
// message boxes, through the standard messages that Windows marshals between processes.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <future>
#include <map>
#include <string>
#include <vector>

#include "shell/controls.h"
#include "shell/handles_win.h"
#include "tests/fixtures/fixture_util.h"

namespace morvane {

// Owners of the handle kinds only the tests use, on the program's own UniqueHandle.
template <typename T, auto CloseFn>
struct NullHandleTraits {
  using Type = T;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { CloseFn(h); }
};
using UniqueModule = UniqueHandle<NullHandleTraits<HMODULE, ::FreeLibrary>>;  // also loaded as a data file
using UniqueBitmap = UniqueHandle<NullHandleTraits<HBITMAP, ::DeleteObject>>;

namespace wine {

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
  ~App() {
    if (!Running()) return;
    ::TerminateProcess(process(), 1);
    ::WaitForSingleObject(process(), 5000);
  }

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
  int BarPosition() const;  // of the bar's common control
  std::vector<std::wstring> Items(Ctl c) const;
  int Selected(Ctl c) const;
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

// The window's pixels as a 24-bit BMP file `name`.bmp in MORVANE_SHOTS (the rig turns them into PNG),
// when that folder is given.
bool SaveWindowBitmap(HWND window, const std::wstring& name);


// Asks the window whether the session may end, as Windows does at a log-off or a shut-down, from a
// second thread (a refusal shows its box before the answer comes): 1 it may, 0 refused, -1 no answer.
inline std::future<int> QueryEndSession(HWND window) {
  return std::async(std::launch::async, [window] {
    DWORD_PTR answer = 0;
    const bool answered = ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 60000,
                                                &answer);
    return answered ? answer != 0 : -1;
  });
}

// Whether the work of a second thread has come back within the time.
template <typename T>
bool Ready(const std::future<T>& work, DWORD timeoutMs) {
  return work.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
}

const wchar_t kStageDone[] = L"这个阶段的安装完成，重新启动后，Sysprep部署阶段将开始！";
// What a run writes to %windir%\temp and must not leave behind.
const wchar_t* const kRunFiles[] = {L"apply.bat", L"apply.xml", L"apply.err", L"WIMInfo.bat"};

// Fills the drive fields, unticks the restart unless `restart`, presses Start: the box that comes.
inline Box PressStart(App& app, const std::wstring& boot, const std::wstring& target, bool restart = true) {
  if (!app.SetText(Ctl::Text2, boot) || !app.SetText(Ctl::Text3, target)) return Box();
  if (!restart && app.Checked(Ctl::Check2)) {
    app.Click(Ctl::Check2);
    if (!app.WaitFor([&] { return !app.Checked(Ctl::Check2); }, 5000)) return Box();
  }
  app.Click(Ctl::Command4);
  return app.WaitBox(20000);
}

// What the window showed while a run went on: each new status text, the bar's positions (each
// change), whether every input was disabled at the bar's first move, and the run's last box.
struct Course {
  std::vector<std::wstring> statuses;
  std::vector<int> bars = {0};
  bool inputsLocked = true;
  Box last;
};

// Accepts the confirmation and follows the run to its last box (none after `timeoutMs`), handing
// the status text to `onLook` at every look (a close request, a screenshot may be made there).
template <typename F>
Course FollowRun(App& app, const Box& confirm, DWORD timeoutMs, F onLook) {
  app.Answer(confirm, IDOK);
  app.WaitGone(confirm);
  Course run;
  App::WaitFor(
      [&] {
        run.last = app.WaitBox(0, confirm.hwnd);
        // The completion resets the bar before its box: a fast run's positions are seen only here.
        const int bar = app.BarPosition();
        if (bar != run.bars.back()) {
          run.bars.push_back(bar);
          if (run.bars.size() == 2 && !run.last) {
            for (Ctl c : kRunInputs) run.inputsLocked &= !app.Enabled(c);
          }
        }
        if (run.last) return true;
        const std::wstring status = app.Text(Ctl::Status);
        if (run.statuses.empty() || status != run.statuses.back()) run.statuses.push_back(status);
        onLook(status);
        return false;
      },
      timeoutMs);
  return run;
}

// The window after a run: Start reads "开始安装" again, the status line rests, every input is enabled.
inline void ExpectIdle(const App& app) {
  EXPECT_TRUE(app.WaitText(Ctl::Command4, L"开始安装", 10000)) << ToUtf8(app.Text(Ctl::Command4));
  EXPECT_EQ(app.Text(Ctl::Status), L"状态");
  for (Ctl c : kRunInputs) EXPECT_TRUE(app.Enabled(c)) << "control " << static_cast<int>(c);
}

// The lines the stand-ins log for a whole run onto `target` with the boot files on `boot`: the
// format, bcdboot twice for each Windows folder (the target's, then the prefix's C:), bootsect. An
// image of major version 5 gets no boot files, and the older boot code.
inline std::string FormatCall(const std::wstring& target) {
  return "format.com " + ToUtf8(target) + " /FS:NTFS /v:Win /q /x /y";
}
inline std::vector<std::string> WholeRunCalls(const std::wstring& target, const std::wstring& boot,
                                              bool version5 = false) {
  const std::string b = ToUtf8(boot);
  std::vector<std::string> calls = {FormatCall(target)};
  for (const std::string& windows : {ToUtf8(target) + "\\Windows", std::string("C:\\Windows")}) {
    if (version5) break;
    calls.push_back("bcdboot.exe " + windows + " /s " + b + " /l zh-cn");
    calls.push_back("bcdboot.exe " + windows + " /s " + b + " /f uefi /l zh-cn");
  }
  calls.push_back("bootsect.exe " + std::string(version5 ? "/nt52 " : "/nt60 ") + b + " /mbr");
  return calls;
}

}  // namespace wine
}  // namespace morvane
