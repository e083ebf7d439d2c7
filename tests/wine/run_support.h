// Helpers for the Wine tests that drive whole runs of the real program: a session-end query, the
// start of a run, its course, the idle window, the stand-ins' calls.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "app_driver.h"

namespace morvane::wine {

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
  if (!restart) {
    app.Click(Ctl::Check2);
    if (!app.WaitFor([&] { return !app.Checked(Ctl::Check2); }, 5000)) return Box();
  }
  app.Click(Ctl::Command4);
  return app.WaitBox(20000);
}

// Accepts the confirmation and follows the run to its last box (none after `timeoutMs`), handing
// each new status text to `onStatus`.
template <typename F>
Box FollowRun(App& app, const Box& confirm, DWORD timeoutMs, F onStatus) {
  app.Answer(confirm, IDOK);
  app.WaitGone(confirm);
  std::wstring last;
  Box box;
  App::WaitFor(
      [&] {
        if ((box = app.WaitBox(0, confirm.hwnd))) return true;
        const std::wstring status = app.Text(Ctl::Status);
        if (status != last) onStatus(last = status);
        return false;
      },
      timeoutMs);
  return box;
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

}  // namespace morvane::wine
