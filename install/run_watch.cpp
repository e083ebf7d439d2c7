#include "install/run_watch.h"

#include "catalogue/image_tool.h"
#include "install/command_lines.h"
#include "install/completion.h"
#include "install/launch.h"
#include "install/watch.h"
#include "shell/run_context.h"

namespace morvane {
namespace {

// Over: the run has ended. Later: nothing more to do before the next timer tick.
enum class Step { Continue, Over, Later };

void ReportToTaskbar(const RunContext& run) {
  if (run.sys.SysVer() > 5) run.ui.SetTaskbarValue(static_cast<uint64_t>(run.ui.BarValue()), 100);
}

void ApplyFailed(const RunContext& run, const std::wstring& windir) {
  WindowPort& ui = run.ui;
  SystemPort& sys = run.sys;
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
  ReturnToIdle(run);
  ReportToTaskbar(run);
}

Step Tick(const RunContext& run, bool toolEnded) {
  WindowPort& ui = run.ui;
  SystemPort& sys = run.sys;
  const std::wstring windir = sys.Env(L"windir");
  const auto bytes = sys.ReadFile(ApplyOutputPath(windir), true);
  const std::wstring output = bytes ? sys.FromAnsi(*bytes) : std::wstring();

  const TickResult tick = WatchTick(run.state.stages, output, toolEnded, bytes.has_value());
  switch (tick.kind) {
    case TickResult::Kind::Reread:
      ui.SetTimerInterval(*tick.interval);
      return Step::Later;
    case TickResult::Kind::Failed:
      ApplyFailed(run, windir);
      return Step::Over;
    case TickResult::Kind::Complete:
      RunCompletion(run);
      ReportToTaskbar(run);
      return Step::Over;
    case TickResult::Kind::Stage:
      break;
  }
  ui.SetText(Ctl::Status, tick.status);
  if (tick.interval) ui.SetTimerInterval(*tick.interval);
  if (tick.bar) {
    ui.SetBarValue(*tick.bar);
    ReportToTaskbar(run);
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

void WatchTimerTick(const RunContext& run) {
  if (!run.ui.TimerEnabled()) return;
  if (run.sys.WatchedEnded()) {
    WatchRunToEnd(run);
    return;
  }
  Tick(run, false);
}

void WatchRunToEnd(const RunContext& run) {
  // Three stages and the completion: at most four ticks once the output is final.
  for (int i = 0; i < 4 && run.ui.TimerEnabled(); ++i) {
    if (Tick(run, true) != Step::Continue) return;
  }
}

}  // namespace morvane
