#pragma once

#include <windows.h>

#include <string>

#include "shell/handles_win.h"
#include "shell/ports.h"

namespace morvane {

// The window whose dialog keys (Tab between controls) the message pumps handle.
void SetDialogWindow(HWND hwnd);

// Handles every queued message. Returns false when WM_QUIT was taken off the queue; the quit is
// then owed to the caller's message loop.
bool PumpPendingMessages(int* quitCode);

// Starts a command line hidden, with these process creation flags besides. The process is not
// waited for. The owner of the started process's handles; an empty one when it could not start
// (GetLastError tells why).
UniqueProcess StartHiddenProcess(const std::wstring& commandLine, DWORD extraFlags = 0);

// How a handler that runs during a wait ends the awaited command: through the job object that holds
// the command and everything it starts, or, where no job could be had, the command's process alone.
struct WaitCancel {
  HANDLE job = nullptr;      // owned by the wait
  HANDLE process = nullptr;  // owned by the wait
  bool cancelled = false;
  void Cancel();
};

// The exit code of a command whose wait was cancelled.
constexpr DWORD kCancelledExitCode = ERROR_CANCELLED;

// Runs a command line with a hidden window and returns when its process has ended. The window
// keeps handling its messages meanwhile: the wait sleeps on the process handle and the message
// queue together, so it costs no processor time. With `cancel`, a handler may end the command
// during the wait; the wait then returns once the command's processes are gone.
RunResult ShellWait(const std::wstring& commandLine, WaitCancel* cancel = nullptr);

}  // namespace morvane
