#pragma once

#include <windows.h>

#include <string>

#include "app/ports.h"

namespace morvane {

// The window whose dialog keys (Tab between controls) the message pumps handle.
void SetDialogWindow(HWND hwnd);

// Handles every queued message. Returns false when WM_QUIT was taken off the queue; the quit is
// then owed to the caller's message loop.
bool PumpPendingMessages(int* quitCode);

// Starts a command line hidden. The process is not waited for.
bool StartHiddenProcess(const std::wstring& commandLine, PROCESS_INFORMATION* info);

// Runs a command line with a hidden window and returns when its process has ended. The window
// keeps handling its messages meanwhile: the wait sleeps on the process handle and the message
// queue together, so it costs no processor time.
RunResult ShellWait(const std::wstring& commandLine);

}  // namespace morvane
