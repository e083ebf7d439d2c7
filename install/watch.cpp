#include "install/watch.h"

#include <cwchar>

#include "catalogue/midstr.h"

namespace morvane {
namespace {

struct Stage {
  int16_t StageCounters::*counter;
  const wchar_t* marker;
  const wchar_t* status;
  std::optional<int> interval;
};

const Stage kStages[] = {
    {&StageCounters::creating, kCreatingMarker, L"正在创建文件", std::nullopt},
    {&StageCounters::extracting, kExtractingMarker, L"正在提取文件", 1000},
    {&StageCounters::metadata, kMetadataMarker, L"正在应用文件", 100},
};
constexpr int kStageCount = 3;

bool Contains(const std::wstring& text, const wchar_t* marker) { return text.find(marker) != std::wstring::npos; }

// A stage is over when a later stage has begun or the tool has said it is done: the tool skips
// the first and last stages for small images.
bool StageFinished(const std::wstring& text, int stage) {
  for (int later = stage + 1; later < kStageCount; ++later) {
    if (Contains(text, kStages[later].marker)) return true;
  }
  return Contains(text, kDoneLine);
}

}  // namespace

std::optional<int16_t> ReportPercent(const std::wstring& report) {
  const std::wstring digits = MidStr(report, L"(", L"%)", 0);
  if (digits.empty() || digits.size() > 3) return std::nullopt;
  int value = 0;
  for (wchar_t ch : digits) {
    if (ch < L'0' || ch > L'9') return std::nullopt;
    value = value * 10 + (ch - L'0');
  }
  if (value > 100) return std::nullopt;
  return static_cast<int16_t>(value);
}

TickResult WatchTick(StageCounters& counters, const std::wstring& output, bool toolEnded, bool outputRead) {
  TickResult result;
  int stage = 0;
  while (stage < kStageCount && counters.*kStages[stage].counter >= 100) ++stage;
  if (stage == kStageCount) {
    result.kind = TickResult::Kind::Complete;
    return result;
  }
  if (!outputRead && toolEnded && counters.unread < kUnreadOutputRetries) {
    ++counters.unread;
    result.kind = TickResult::Kind::Reread;
    result.interval = kFinishedStageInterval;
    return result;
  }
  if (outputRead) counters.unread = 0;
  if (toolEnded && !Contains(output, kDoneLine)) {
    result.kind = TickResult::Kind::Failed;
    return result;
  }
  const Stage& s = kStages[stage];
  result.status = s.status;
  result.interval = s.interval;

  if (StageFinished(output, stage)) {
    counters.*s.counter = 100;
    result.bar = 100;
    // The next stage starts on the next tick: come back soon rather than a second later, or a
    // short last stage is over before it is ever shown.
    result.interval = kFinishedStageInterval;
    return result;
  }
  const std::wstring marker = s.marker;
  const size_t last = output.rfind(marker);
  if (last == std::wstring::npos || last == 0) return result;
  const size_t previous = output.rfind(marker, last - 1);
  if (previous == std::wstring::npos) return result;
  const size_t begin = previous + marker.size();
  if (begin > last) return result;  // overlapping occurrences: no report between them
  const auto percent = ReportPercent(output.substr(begin, last - begin));
  if (!percent) return result;
  counters.*s.counter = *percent;
  result.bar = *percent;
  return result;
}

}  // namespace morvane
