#include "app/form1.h"

#include "app/layout.h"
#include "app/view_toggle.h"
#include "catalogue/image_query.h"
#include "catalogue/selection.h"
#include "install/launch.h"
#include "install/run_watch.h"
#include "shell/decimal.h"

namespace morvane {
namespace {

const wchar_t kCloseRefused[] = L"正在安装系统，无法关闭！";

bool TakesFocus(const ControlSpec& item) {
  return item.visible && (item.kind == Kind::Edit || item.kind == Kind::Button || item.kind == Kind::DropList ||
                          item.kind == Kind::CheckBox);
}

}  // namespace

std::optional<Ctl> FocusTarget(std::optional<Ctl> remembered, bool running, const WindowPort& ui) {
  if (running) return std::nullopt;
  if (remembered && TakesFocus(SpecOf(*remembered)) && ui.IsEnabled(*remembered)) return remembered;
  for (const ControlSpec& item : FormLayout()) {  // in tab order
    if (TakesFocus(item) && ui.IsEnabled(item.ctl)) return item.ctl;
  }
  return std::nullopt;
}

void Form1::RememberFocus() {
  if (const auto focused = ui_.Focus()) focus_ = focused;
}

void Form1::GiveFocusBack() { ui_.SetFocus(FocusTarget(focus_, running(), ui_)); }

// The caption counts too: it says "installing" exactly while a run holds the window, and the
// close guard must not depend on one of the two alone.
bool Form1::running() const { return state_.running || ui_.Text(Ctl::Command4) == kInstallingCaption; }

void Form1::HoldForRun(bool running) {
  if (running == state_.running) return;
  if (running) RememberFocus();
  state_.running = running;
  // The close guard holds from here: the session must not end either.
  ui_.BlockSessionEnd(running ? kCloseRefused : L"");
  GiveFocusBack();
}

void Form1::OnLoad() {
  ui_.SetIcon(32);
  if (sys_.SysVer() > 5) state_.taskbarList = ui_.CreateTaskbarList();
  InitViewSizes(state_, ui_);

  const std::wstring windir = sys_.Env(L"windir");
  if (!sys_.FolderExists(windir + L"\\Temp") && !sys_.CreateFolder(windir + L"\\Temp")) {
    ui_.Message(L"无法创建临时文件夹“" + windir + L"\\Temp”。\r\n读取映像信息和安装系统都需要在这里写入文件，"
                L"这些操作将无法进行。",
                L"警告！", MsgIcon::Exclamation, MsgButtons::Ok);
  }
  state_.binDir = sys_.Lookup(windir + L"\\SysWOW64") == Entry::Folder ? L"\\Bin64" : L"\\Bin";
}

void Form1::OnResize() { OnViewResize(state_, ui_); }

// The close guard: while an installation runs the window must not end, whatever the reason.
bool Form1::GuardRefuses() {
  if (!running()) return false;
  ui_.Message(kCloseRefused, L"警告！", MsgIcon::Stop, MsgButtons::Ok);
  return true;
}

bool Form1::OnQueryEndSession() { return !GuardRefuses(); }

bool Form1::OnQueryClose() {
  if (GuardRefuses()) return false;
  if (queryRunning_) {
    // The query's tool may never end: its processes are ended, and the window closes as soon as
    // the query handler has cleaned up after them.
    closeAsked_ = true;
    sys_.CancelWait();
    return false;
  }
  return true;
}

void Form1::CloseIfAsked() {
  if (!closeAsked_ || queryRunning_) return;
  closeAsked_ = false;
  if (running()) return;
  ui_.Close();
}

void Form1::OnText1Change() {
  if (queryRunning_) {
    // The fixed batch and output files allow one query at a time: the text is queried again
    // once the running query is over.
    queryPending_ = true;
    return;
  }
  RunQueries();
  // A Start pressed during the query counts now, with the lists of the final text; a close asked
  // for meanwhile wins.
  const bool start = startAsked_ && !closeAsked_;
  startAsked_ = false;
  CloseIfAsked();
  if (start) OnCommand4();
}

void Form1::RunQueries() {
  queryRunning_ = true;
  do {
    queryPending_ = false;
    if (const auto image = ResolveImage(ui_, sys_)) {
      GetWimInfo(ui_, sys_, state_, *image);
    } else {
      ui_.ListClear(Ctl::Combo0);
    }
  } while (queryPending_ && !closeAsked_);
  queryRunning_ = false;
}

void Form1::OnDrop(bool hasFileList, const std::vector<std::wstring>& files) {
  if (running()) return;
  if (const auto path = AcceptDrop(hasFileList, files)) ui_.SetText(Ctl::Text1, *path);
}

void Form1::OnComboClick() { ShowSelectedDisplayName(ui_); }

void Form1::OnCommand1() {
  const std::wstring path = ui_.PickImageFile();
  if (!path.empty() && !running()) ui_.SetText(Ctl::Text1, path);
}

void Form1::ChooseDrive(Ctl field) {
  const std::wstring folder = ui_.PickFolder(L"请选择文件夹");
  if (folder.empty() || running()) return;
  if (const auto drive = DriveOfFolder(folder)) ui_.SetText(field, *drive);
}

void Form1::OnCommand2() { ChooseDrive(Ctl::Text2); }
void Form1::OnCommand3() { ChooseDrive(Ctl::Text3); }

void Form1::OnCommand4() {
  if (running()) return;
  if (queryRunning_) {
    startAsked_ = true;
    return;
  }
  StartInstall(Context());
}

void Form1::OnTimer() { WatchTimerTick(Context()); }
void Form1::OnWatchedEnded() { WatchRunToEnd(Context()); }

void Form1::OnStatusClick() {
  const std::wstring status = ui_.Text(Ctl::Status);
  if (status == kStatusIdle) return;
  ui_.Message(L"当前进度：" + Decimal(ui_.BarValue()) + L" %", L"", MsgIcon::None, MsgButtons::Ok);
}

}  // namespace morvane
