#include "shell/shell_wait_win.h"

#include "shell/handles_win.h"

namespace morvane {
namespace {

HWND g_dialogWindow = nullptr;

}  // namespace

void SetDialogWindow(HWND hwnd) { g_dialogWindow = hwnd; }

bool PumpPendingMessages(int* quitCode) {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      if (quitCode) *quitCode = static_cast<int>(msg.wParam);
      return false;
    }
    if (g_dialogWindow && ::IsDialogMessageW(g_dialogWindow, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return true;
}

bool StartHiddenProcess(const std::wstring& commandLine, PROCESS_INFORMATION* info) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  // CreateProcessW may write into the command line buffer: it must not be a constant.
  std::wstring buffer = commandLine;
  *info = PROCESS_INFORMATION{};
  return ::CreateProcessW(nullptr, &buffer[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                          info) != FALSE;
}

RunResult ShellWait(const std::wstring& commandLine) {
  PROCESS_INFORMATION pi;
  if (!StartHiddenProcess(commandLine, &pi)) return RunResult{false, ::GetLastError()};
  UniqueProcess process(pi);
  RunResult result{true, 0};
  if (!process.valid()) return result;  // started, but nothing to wait on

  bool quit = false;
  int quitCode = 0;
  const HANDLE handle = process.process();
  for (;;) {
    // MWMO_INPUTAVAILABLE: also wake for messages that were already queued but not yet seen.
    const DWORD wake = ::MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (wake == WAIT_OBJECT_0) break;
    if (wake != WAIT_OBJECT_0 + 1) break;
    if (!quit && !PumpPendingMessages(&quitCode)) quit = true;
    if (quit) {
      // A quit must wait for the process: sleep on the handle alone from now on.
      ::WaitForSingleObject(handle, INFINITE);
      break;
    }
  }
  DWORD code = 0;
  if (::GetExitCodeProcess(handle, &code)) result.exitCode = code;
  if (quit) ::PostQuitMessage(quitCode);
  return result;
}

}  // namespace morvane
