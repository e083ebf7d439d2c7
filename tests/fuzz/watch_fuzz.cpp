// One watch tick on any output and any counters: at most one counter changes, only to a percentage,
// and the bar only ever shows one; a tick that completes, fails or rereads moves nothing, and only an
// ended tool fails, never with its done line.
//
// Input: bytes 0-5 the three counters (16-bit, low byte first); byte 6: bit 0 the tool has ended,
// bit 1 its output could not be read, bits 2-4 the rereads so far; the rest the output, a character
// per byte.
#include <cstddef>
#include <cstdint>
#include <string>

#include "install/watch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace morvane;
  if (size < 7) return 0;
  const auto counter = [&](int i) { return static_cast<int16_t>(data[2 * i] | (data[2 * i + 1] << 8)); };
  const int16_t was[] = {counter(0), counter(1), counter(2)};
  StageCounters now{was[0], was[1], was[2], static_cast<int16_t>((data[6] >> 2) & 7)};
  const bool ended = data[6] & 1, read = !(data[6] & 2);
  const std::wstring output = read ? std::wstring(data + 7, data + size) : L"";
  const TickResult tick = WatchTick(now, output, ended, read);
  const int16_t is[] = {now.creating, now.extracting, now.metadata};
  bool ok = !tick.bar || (*tick.bar >= 0 && *tick.bar <= 100);
  int changed = 0;
  for (int i = 0; i < 3; ++i) {
    changed += was[i] != is[i];
    ok &= was[i] == is[i] || (is[i] >= 0 && is[i] <= 100 && was[i] < 100);
  }
  ok &= changed <= 1 && (tick.kind == TickResult::Kind::Stage || (changed == 0 && !tick.bar));
  ok &= tick.kind != TickResult::Kind::Failed || (ended && output.find(kDoneLine) == std::wstring::npos);
  if (!ok) __builtin_trap();
  return 0;
}
