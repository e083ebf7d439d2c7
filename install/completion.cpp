#include "install/completion.h"

#include <vector>

#include "drives/find_windows.h"
#include "catalogue/image_tool.h"
#include "install/command_lines.h"
#include "install/launch.h"
#include "shell/decimal.h"
#include "shell/drive_names.h"
#include "shell/run_context.h"

namespace morvane {
namespace {

const wchar_t* const kNoteCaption = L"提示：";
const wchar_t* const kStageDone = L"这个阶段的安装完成，重新启动后，Sysprep部署阶段将开始！";

// What the boot tools did for the system just installed. Only that system matters: a bcdboot of
// Windows 7 rejects the UEFI form, and another Windows folder on the fixed drives (an older system,
// a leftover) may be one bcdboot cannot use; neither leaves the new system without boot files.
struct BootRuns {
  int own = 0;        // bcdboot runs for the installed system's folder
  int ownFailed = 0;  // those that failed or could not start
  bool toolMissing = false;
  std::vector<std::wstring> named;  // for the user: what failed for the installed system

  // Whether the installed system may be left unable to start.
  bool Lacking() const { return toolMissing || (own > 0 && ownFailed == own); }
};

void RunBootTool(SystemPort& sys, const std::wstring& line, const std::wstring& what, bool own, BootRuns& runs) {
  const RunResult run = sys.RunAndWait(line);
  const bool failed = !run.started || run.exitCode != 0;
  if (own) {
    ++runs.own;
    if (failed) ++runs.ownFailed;
  }
  if (!run.started) {
    runs.toolMissing = true;
    runs.named.push_back(L"无法启动 " + what);
  } else if (failed && own) {
    runs.named.push_back(what + L" 失败（退出代码 " + Decimal(run.exitCode) + L"）");
  }
}

// The entry "T:\Windows" of the target drive T:.
bool IsTargetsWindows(const std::wstring& entry, const std::wstring& target) {
  return target.size() == 2 && entry.size() == 10 && SameDrive(entry.substr(0, 2), target) &&
         entry.compare(1, 9, L":\\Windows") == 0;
}

void RunBcdboot(SystemPort& sys, const std::wstring& program, const std::wstring& windows, const std::wstring& boot,
                bool own, BootRuns& runs) {
  RunBootTool(sys, BcdbootLine(program, windows, boot, false), L"bcdboot.exe（" + windows + L"）", own, runs);
  RunBootTool(sys, BcdbootLine(program, windows, boot, true), L"bcdboot.exe（" + windows + L"，UEFI）", own, runs);
}

}  // namespace

std::wstring SelectedMajor(const WindowPort& ui) {
  const int index = ui.ListIndex(Ctl::Combo0);
  return index >= 0 && index < ui.ListCount(Ctl::Combo2) ? ui.ListItem(Ctl::Combo2, index) : std::wstring();
}

bool RebuildsBootFiles(const WindowPort& ui, const SystemPort& sys, const std::wstring& bootDrive) {
  return sys.Lookup(bootDrive + L"\\boot") == Entry::None || ui.IsChecked(Ctl::Check1);
}

bool MajorAbove5(const std::wstring& major) {
  const size_t first = major.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return true;
  const size_t last = major.find_last_not_of(L" \t");
  const std::wstring text = major.substr(first, last - first + 1);
  double value = 0;
  double scale = 0.1;
  bool digits = false;
  bool fraction = false;  // behind the point; not read from `scale`, which reaches 0 after ~320 decimals
  for (wchar_t ch : text) {
    if (ch >= L'0' && ch <= L'9') {
      digits = true;
      if (!fraction) {
        value = value * 10 + (ch - L'0');
      } else {
        value += (ch - L'0') * scale;
        scale /= 10;
      }
    } else if (ch == L'.' && !fraction) {
      fraction = true;
    } else {
      return true;
    }
  }
  return !digits || value > 5;
}

void RunCompletion(const RunContext& run) {
  WindowPort& ui = run.ui;
  SystemPort& sys = run.sys;
  ui.SetTimerEnabled(false);

  FindWindowsDirs(ui, sys);

  const std::wstring boot = ui.Text(Ctl::Text2);
  const std::wstring program = sys.ProgramFolder();
  const std::wstring target = ui.Text(Ctl::Text3);
  const bool newer = MajorAbove5(SelectedMajor(ui));
  BootRuns runs;

  if (RebuildsBootFiles(ui, sys, boot)) {
    for (const wchar_t* store : {L"\\boot\\bcd", L"\\EFI\\Microsoft\\Boot\\bcd"}) {
      if (sys.Lookup(boot + store) == Entry::File) sys.DeleteFile(boot + store);
    }
    if (newer) {
      // bcdboot makes the system it is run for the default boot entry: the installed one goes last,
      // also where the scan did not list it (a removable target holds no fixed drive's Windows).
      for (int i = ui.ListCount(Ctl::RDriver) - 1; i >= 0; --i) {
        const std::wstring windows = ui.ListItem(Ctl::RDriver, i);
        if (IsTargetsWindows(windows, target)) continue;
        ui.SetText(Ctl::Status, L"正在更新Boot");
        RunBcdboot(sys, program, windows, boot, false, runs);
      }
      ui.SetText(Ctl::Status, L"正在更新Boot");
      const std::wstring own = IsDriveName(target) ? std::wstring(1, AsciiUpper(target[0])) + L":" : target;
      RunBcdboot(sys, program, own + L"\\Windows", boot, true, runs);
    }
  }
  ui.SetText(Ctl::Status, L"正在更新MBR");
  RunBootTool(sys, BootsectLine(program, boot, newer),
              std::wstring(L"bootsect.exe（") + (newer ? L"/nt60 " : L"/nt52 ") + boot + L"）", false, runs);
  ui.SetText(Ctl::Status, kStatusIdle);

  const std::wstring windir = sys.Env(L"windir");
  sys.DeleteFile(ApplyOutputPath(windir));
  sys.DeleteFile(ApplyBatchPath(windir));
  sys.DeleteFile(ApplyErrorPath(windir));
  ui.SetBarValue(0);

  if (runs.Lacking()) {
    std::wstring text = L"系统映像已经应用，但引导文件没有写好，电脑重新启动后可能无法进入新系统！\r\n";
    for (const std::wstring& failure : runs.named) text += L"\r\n" + failure;
    text += L"\r\n\r\n请修复引导后再手动重启电脑。";
    ui.Message(text, kNoteCaption, MsgIcon::Exclamation, MsgButtons::Ok);
  } else if (ui.IsChecked(Ctl::Check2) && sys.Lookup(windir + L"\\System32\\shutdown.exe") == Entry::File) {
    sys.StartHidden(kRestartLine);
    const std::wstring text = std::wstring(kStageDone) +
                              L"\n您的电脑将在5秒后重新启动！若想取消自动重启任务，请单击“取消”。";
    if (ui.Message(text, kNoteCaption, MsgIcon::Exclamation, MsgButtons::OkCancel) != MsgAnswer::Ok) {
      sys.StartHidden(kCancelRestartLine);
    }
  } else if (ui.IsChecked(Ctl::Check2)) {
    ui.Message(L"未发现shutdown关机程序，请手动重启电脑！以完成安装！", kNoteCaption, MsgIcon::Information,
               MsgButtons::Ok);
  } else {
    ui.Message(kStageDone, kNoteCaption, MsgIcon::Information, MsgButtons::Ok);
  }
  ReturnToIdle(run);
}

}  // namespace morvane
