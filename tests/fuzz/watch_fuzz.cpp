// One watch tick on any output and any counters: no crash, a counter changes only to a percentage,
// at most one counter changes, and the bar only ever shows a percentage.
//
// Input: bytes 0-5 the three counters (16-bit, low byte first), byte 6 bit 0 whether the tool has
// ended, the rest the output, one character per byte as the code page maps ASCII.
#include <cstddef>
#include <cstdint>
#include <string>

#include "install/watch.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

int16_t Counter(const uint8_t* at) { return static_cast<int16_t>(at[0] | (at[1] << 8)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace morvane;
  if (size < 7) return 0;
  StageCounters counters{Counter(data), Counter(data + 2), Counter(data + 4)};
  const bool toolEnded = (data[6] & 1) != 0;
  const bool outputRead = (data[6] & 2) == 0;  // an unread output reaches the watch empty
  counters.unread = static_cast<int16_t>((data[6] >> 2) & 7);
  const std::wstring output = outputRead ? std::wstring(data + 7, data + size) : std::wstring();

  const StageCounters before = counters;
  const TickResult tick = WatchTick(counters, output, toolEnded, outputRead);

  const int16_t was[] = {before.creating, before.extracting, before.metadata};
  const int16_t now[] = {counters.creating, counters.extracting, counters.metadata};
  int changed = 0;
  for (int i = 0; i < 3; ++i) {
    if (was[i] != now[i]) {
      ++changed;
      Check(now[i] >= 0 && now[i] <= 100);
      Check(was[i] < 100);
    }
  }
  Check(changed <= 1);
  if (tick.bar) Check(*tick.bar >= 0 && *tick.bar <= 100);
  if (tick.interval) {
    Check(*tick.interval == 100 || *tick.interval == 1000 || *tick.interval == kFinishedStageInterval);
  }
  switch (tick.kind) {
    case TickResult::Kind::Complete:
      Check(was[0] >= 100 && was[1] >= 100 && was[2] >= 100);
      Check(changed == 0 && !tick.bar);
      break;
    case TickResult::Kind::Failed:
      Check(toolEnded && output.find(kDoneLine) == std::wstring::npos);
      Check(changed == 0 && !tick.bar);
      break;
    case TickResult::Kind::Reread:
      Check(toolEnded && !outputRead && before.unread < kUnreadOutputRetries && counters.unread == before.unread + 1);
      Check(changed == 0 && !tick.bar);
      break;
    case TickResult::Kind::Stage:
      Check(!tick.status.empty());
      if (changed == 1) Check(tick.bar.has_value());
      break;
  }
  return 0;
}
