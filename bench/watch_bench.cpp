// One watch tick over a grown apply output. The tick reads the whole output every time, so its cost
// grows with the output: this measures it at 10 KiB, 100 KiB and 1 MiB of output in the form the
// tool writes on Windows, with the extraction running. That is the slowest case: the stage is not
// finished, so both finishing markers are searched for through the whole text before the
// percentage is cut out.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "install/watch.h"

namespace {

// The tool's output once it has written `size` bytes: the header, the file creation in full
// (about a fifth of the output) and then extraction reports of 20480 MiB, still below 100%.
std::wstring ExtractingOutput(size_t size) {
  std::string out =
      "Applying image 6 (\"Windows 10 Pro\") from \"D:\\sources\\install.wim\" to NTFS volume \"C:\\\"\r\n";
  for (unsigned done = 0; out.size() < size / 5; done += 97) {
    const unsigned n = std::min(done, 98765u);
    out += "\rCreating files: " + std::to_string(n) + " of 98765 (" + std::to_string(n * 100 / 98765) +
           "%) done";
  }
  out += "\r\n";
  for (unsigned mib = 0;; ++mib) {
    const std::string report = "\rExtracting file data: " + std::to_string(mib) + " MiB of 20480 MiB (" +
                               std::to_string(mib * 100 / 20480) + "%) done";
    if (out.size() + report.size() > size) break;
    out += report;
  }
  out.resize(size, ' ');  // a report still being written
  return std::wstring(out.begin(), out.end());
}

void BM_WatchTickExtracting(benchmark::State& state) {
  const std::wstring output = ExtractingOutput(static_cast<size_t>(state.range(0)));
  morvane::StageCounters counters;
  counters.creating = 100;
  for (auto _ : state) {
    morvane::TickResult tick = morvane::WatchTick(counters, output, false);
    benchmark::DoNotOptimize(tick);
  }
  if (counters.extracting >= 100) state.SkipWithError("the extraction finished: not the case measured");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_WatchTickExtracting)->Arg(10 << 10)->Arg(100 << 10)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

}  // namespace
