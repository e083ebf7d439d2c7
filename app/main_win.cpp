// The program's entry point: the common controls, OLE for the drop target and the taskbar object,
// the main window, and the message loop that also watches the running apply batch.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "app/main_window_win.h"
#include "shell/shell_wait_win.h"
#include "shell/system_win.h"

namespace {

int RunMessageLoop(morvane::MainWindow& window, morvane::WinSystem& sys) {
  for (;;) {
    HANDLE watched = sys.WatchedHandleToWaitOn();
    const DWORD count = watched ? 1 : 0;
    const DWORD wake = ::MsgWaitForMultipleObjectsEx(count, &watched, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (count == 1 && wake == WAIT_OBJECT_0) {
      sys.MarkWatchedReported();
      window.form().OnWatchedEnded();
      continue;
    }
    int quitCode = 0;
    if (!morvane::PumpPendingMessages(&quitCode)) return quitCode;
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);
  // OLE (and with it COM) on the window's thread, for the drop target and the taskbar object.
  const morvane::OleThreadGuard ole;

  int code = 1;
  {
    morvane::WinSystem sys;
    morvane::MainWindow window(sys);
    if (morvane::MainWindow::Register(instance) && window.Create(instance, showCommand)) {
      code = RunMessageLoop(window, sys);
    }
  }
  return code;
}
