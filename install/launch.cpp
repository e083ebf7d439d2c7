#include "install/launch.h"

#include "catalogue/image_query.h"
#include "install/command_lines.h"
#include "install/completion.h"
#include "install/drive_check.h"
#include "install/tool_check.h"
#include "install/watch.h"
#include "shell/decimal.h"
#include "shell/drive_names.h"
#include "shell/quoting.h"
#include "shell/run_context.h"

namespace morvane {
namespace {

const wchar_t* const kErrorCaption = L"错误";
const wchar_t* const kUncarriablePath =
    L"映像文件或本程序的路径含有无法写入批处理文件的字符，且没有可用的短文件名，安装已停止。";

void SetTaskbarState(const RunContext& run, TaskbarState state) {
  if (run.sys.SysVer() > 5) run.ui.SetTaskbarState(state);
}

void LockInputs(WindowPort& ui) {
  for (Ctl c : kRunInputs) ui.Enable(c, false);
}

void Abort(const RunContext& run, const std::wstring& text) {
  run.ui.Message(text, kErrorCaption, MsgIcon::Stop, MsgButtons::Ok);
  ReturnToIdle(run);
}

bool DriveExists(SystemPort& sys, const std::wstring& drive) {
  const DriveType type = sys.TypeOfDrive(drive + L"\\");
  return type != DriveType::Unknown && type != DriveType::NoRootDir;
}

DriveFacts FactsFor(const RunContext& run, const std::wstring& target, const std::wstring& boot, const std::wstring& image) {
  DriveFacts facts;
  facts.targetExists = DriveExists(run.sys, target);
  facts.bootExists = DriveExists(run.sys, boot);
  facts.targetVolume = run.sys.VolumeOf(target + L"\\").name;
  facts.windowsDrive = DriveOfPath(run.sys.Env(L"windir"));
  facts.imagePlaces = PlacesOf(image, run.sys);
  facts.programPlaces = PlacesOf(run.sys.ProgramFile(), run.sys);
  return facts;
}

std::optional<std::wstring> FirstToolProblem(const RunContext& run, const std::wstring& boot) {
  SystemPort& sys = run.sys;
  const std::wstring program = sys.ProgramFolder();
  if (auto problem = ToolProblem(sys, ImageToolPath(program, run.state.binDir), L"映像工具")) {
    return problem;
  }
  if (MajorAbove5(SelectedMajor(run.ui)) && RebuildsBootFiles(run.ui, sys, boot)) {
    if (auto problem = ToolProblem(sys, BootToolPath(program, L"bcdboot.exe"), L"引导工具")) return problem;
  }
  return ToolProblem(sys, BootToolPath(program, L"bootsect.exe"), L"引导工具");
}

}  // namespace

std::wstring ConfirmationText(const std::wstring& targetDrive) {
  return L"警告：本操作将会删除[" + targetDrive + L"]盘上的所有数据，且不可恢复。\r\r" +
         L"若想继续，请单击“确定”。若想退出，请单击“取消”。";
}

void ReturnToIdle(const RunContext& run) {
  WindowPort& ui = run.ui;
  ui.SetTimerEnabled(false);
  run.sys.ForgetWatched();
  ui.SetText(Ctl::Status, kStatusIdle);
  ui.SetBarValue(0);
  ui.SetText(Ctl::Command4, kStartCaption);
  for (Ctl c : kRunInputs) ui.Enable(c, true);
  run.hold.HoldForRun(false);
}

void StartInstall(const RunContext& run) {
  WindowPort& ui = run.ui;
  SystemPort& sys = run.sys;

  const int index = ui.ListIndex(Ctl::Combo0);
  const std::wstring entry = index >= 0 ? ui.ListItem(Ctl::Combo0, index) : std::wstring();
  const auto image = ResolveImage(ui, sys);
  if (entry.empty() || !image) {
    ui.Message(L"Windows源无效！", kErrorCaption, MsgIcon::Stop, MsgButtons::Ok);
    return;
  }
  const std::wstring target = ui.Text(Ctl::Text3);
  const std::wstring boot = ui.Text(Ctl::Text2);
  if (const auto refusal = CheckDriveFields(target, boot, FactsFor(run, target, boot, image->full))) {
    ui.Message(*refusal, kErrorCaption, MsgIcon::Stop, MsgButtons::Ok);
    return;
  }
  // What the run needs is looked for before the drive is wiped, not after: the tools it will start
  // (bcdboot only where the boot files will be rebuilt for a newer image) and the Temp folder.
  const std::wstring windir = sys.Env(L"windir");
  if (const auto problem = FirstToolProblem(run, boot)) {
    ui.Message(*problem, kErrorCaption, MsgIcon::Stop, MsgButtons::Ok);
    return;
  }
  if (!sys.FolderExists(windir + L"\\Temp")) {
    ui.Message(L"临时文件夹“" + windir + L"\\Temp”不存在，无法安装。", kErrorCaption, MsgIcon::Stop,
               MsgButtons::Ok);
    return;
  }
  // The apply line, too: a path that its batch file cannot carry is refused before the format.
  const auto line = ApplyCommandLine(ImageToolPath(sys.ShortPath(sys.ProgramFolder()), run.state.binDir),
                                     image->forBatch, index + 1, target, windir);
  if (!line || !sys.BatchCanCarry(*line)) {
    ui.Message(kUncarriablePath, kErrorCaption, MsgIcon::Stop, MsgButtons::Ok);
    return;
  }
  if (ui.Message(ConfirmationText(target), L"操作提示：", MsgIcon::Exclamation, MsgButtons::OkCancel) !=
      MsgAnswer::Ok) {
    return;
  }

  // From here until the run is over nothing may change the confirmed choice or close the window.
  run.hold.HoldForRun(true);
  LockInputs(ui);

  SetTaskbarState(run, TaskbarState::Indeterminate);
  ui.SetText(Ctl::Status, L"正在格式化磁盘 [" + target + L"]");
  const RunResult format = sys.RunAndWait(FormatCommandLine(windir, target));
  SetTaskbarState(run, TaskbarState::NoProgress);
  if (!format.started) {
    Abort(run, L"无法启动格式化程序“" + windir + L"\\System32\\format.com”，磁盘[" + target +
                    L"]没有被格式化，安装已停止。");
    return;
  }
  if (format.exitCode != 0) {
    Abort(run, L"格式化磁盘[" + target + L"]失败（format.com 退出代码 " + Decimal(format.exitCode) +
                    L"），安装已停止。");
    return;
  }

  ui.SetText(Ctl::Command4, kInstallingCaption);

  const std::wstring output = ApplyOutputPath(windir);
  const std::wstring batch = ApplyBatchPath(windir);
  const std::wstring errors = ApplyErrorPath(windir);
  sys.DeleteFile(errors);
  if (sys.WriteBatchText(output, L"\r\n") != WriteResult::Ok) {
    Abort(run, L"无法写入文件“" + output + L"”，安装已停止。");
    return;
  }
  const WriteResult written = sys.WriteBatchText(batch, *line + L"\r\n");
  if (written != WriteResult::Ok) {
    sys.DeleteFile(batch);
    sys.DeleteFile(output);
    Abort(run, written == WriteResult::NotAnsi ? std::wstring(kUncarriablePath)
                                                : L"无法写入文件“" + batch + L"”，安装已停止。");
    return;
  }
  if (!sys.StartWatched(BatchRunLine(sys.CommandInterpreter(), batch))) {
    sys.DeleteFile(batch);
    sys.DeleteFile(output);
    Abort(run, L"无法启动“" + batch + L"”，安装已停止。");
    return;
  }
  run.state.stages = StageCounters{};
  // Every run's watch starts at the short interval, whatever a run before it left behind.
  ui.SetTimerInterval(kFirstStageInterval);
  ui.SetTimerEnabled(true);
}

}  // namespace morvane
