// One watch tick on any output and any counters: no crash, a counter changes only to a percentage,
// at most one counter changes, and the bar only ever shows a percentage.
//
// Input: bytes 0-5 the three counters (16-bit, low byte first); byte 6: bit 0 the tool has ended,
// bit 1 its output could not be read, bits 2-4 the rereads so far; the rest the output, one
// character per byte as the code page maps ASCII.
#include <cstddef>
#include <cstdint>
#include <string>

#include "install/watch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace morvane;
  const auto check = [](bool ok) { if (!ok) __builtin_trap(); };
  if (size < 7) return 0;
  const auto counter = [&](int i) { return static_cast<int16_t>(data[2 * i] | (data[2 * i + 1] << 8)); };
  StageCounters counters{counter(0), counter(1), counter(2)};
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
    if (was[i] == now[i]) continue;
    ++changed;
    check(now[i] >= 0 && now[i] <= 100 && was[i] < 100);
  }
  check(changed <= 1);
  check(!tick.bar || (*tick.bar >= 0 && *tick.bar <= 100));
  check(!tick.interval || *tick.interval == 100 || *tick.interval == 1000 ||
        *tick.interval == kFinishedStageInterval);
  const bool quiet = changed == 0 && !tick.bar;  // nothing moves on a tick that ends or rereads
  using Kind = TickResult::Kind;
  if (tick.kind == Kind::Complete) check(quiet && was[0] >= 100 && was[1] >= 100 && was[2] >= 100);
  if (tick.kind == Kind::Failed) check(quiet && toolEnded && output.find(kDoneLine) == std::wstring::npos);
  if (tick.kind == Kind::Reread) {
    check(quiet && toolEnded && !outputRead && before.unread < kUnreadOutputRetries);
    check(counters.unread == before.unread + 1);
  }
  if (tick.kind == Kind::Stage) check(!tick.status.empty() && (changed == 0 || tick.bar.has_value()));
  return 0;
}
