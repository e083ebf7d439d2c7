#include "install/run_watch.h"

#include "app/form1.h"
#include "install/command_lines.h"
#include "install/completion.h"
#include "install/launch.h"

namespace morvane {
namespace {

// Over: the run has ended. Later: nothing more to do before the next timer tick.
enum class Step { Continue, Over, Later };

void ReportToTaskbar(Form1& form) {
  if (form.sys().SysVer() > 5) form.ui().SetTaskbarValue(static_cast<uint64_t>(form.ui().BarValue()), 100);
}

void ApplyFailed(Form1& form, const std::wstring& windir) {
  WindowPort& ui = form.ui();
  SystemPort& sys = form.sys();
  ui.SetTimerEnabled(false);
  const auto errorBytes = sys.ReadFile(ApplyErrorPath(windir), false);
  const std::wstring line = LastErrorLine(errorBytes ? sys.FromAnsi(*errorBytes) : std::wstring());
  sys.DeleteFile(ApplyOutputPath(windir));
  sys.DeleteFile(ApplyBatchPath(windir));
  sys.DeleteFile(ApplyErrorPath(windir));
  ui.SetText(Ctl::Status, kStatusIdle);
  ui.SetBarValue(0);
  std::wstring text = L"映像应用失败，安装没有完成！\r\n未执行引导修复，也不会重新启动。";
  if (!line.empty()) text += L"\r\n\r\nwimlib-imagex 报告：" + line;
  ui.Message(text, L"错误", MsgIcon::Stop, MsgButtons::Ok);
  ReturnToIdle(form);
  ReportToTaskbar(form);
}

Step Tick(Form1& form, bool toolEnded) {
  WindowPort& ui = form.ui();
  SystemPort& sys = form.sys();
  const std::wstring windir = sys.Env(L"windir");
  const auto bytes = sys.ReadFile(ApplyOutputPath(windir), true);
  const std::wstring output = bytes ? sys.FromAnsi(*bytes) : std::wstring();

  const TickResult tick = WatchTick(form.state().stages, output, toolEnded, bytes.has_value());
  switch (tick.kind) {
    case TickResult::Kind::Reread:
      ui.SetTimerInterval(*tick.interval);
      return Step::Later;
    case TickResult::Kind::Failed:
      ApplyFailed(form, windir);
      return Step::Over;
    case TickResult::Kind::Complete:
      RunCompletion(form);
      ReportToTaskbar(form);
      return Step::Over;
    case TickResult::Kind::Stage:
      break;
  }
  ui.SetText(Ctl::Status, tick.status);
  if (tick.interval) ui.SetTimerInterval(*tick.interval);
  if (tick.bar) {
    ui.SetBarValue(*tick.bar);
    ReportToTaskbar(form);
  }
  return Step::Continue;
}

}  // namespace

std::wstring LastErrorLine(const std::wstring& errors) {
  std::wstring lastError, lastLine;
  size_t pos = 0;
  while (pos <= errors.size()) {
    size_t end = errors.find_first_of(L"\r\n", pos);
    if (end == std::wstring::npos) end = errors.size();
    std::wstring line = errors.substr(pos, end - pos);
    const size_t first = line.find_first_not_of(L" \t");
    if (first != std::wstring::npos) {
      line = line.substr(first, line.find_last_not_of(L" \t") - first + 1);
      lastLine = line;
      if (line.rfind(L"[ERROR]", 0) == 0) lastError = line;
    }
    pos = end + 1;
  }
  return lastError.empty() ? lastLine : lastError;
}

void WatchTimerTick(Form1& form) {
  if (!form.ui().TimerEnabled()) return;
  if (form.sys().WatchedEnded()) {
    WatchRunToEnd(form);
    return;
  }
  Tick(form, false);
}

void WatchRunToEnd(Form1& form) {
  // Three stages and the completion: at most four ticks once the output is final.
  for (int i = 0; i < 4 && form.ui().TimerEnabled(); ++i) {
    if (Tick(form, true) != Step::Continue) return;
  }
}

}  // namespace morvane
