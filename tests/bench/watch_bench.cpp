// One watch tick over a grown apply output. The tick reads the whole output every time, so its cost
// grows with the output: this measures it at 10 KiB, 100 KiB and 1 MiB of output in the form the
// tool writes on Windows, with the extraction running. That is the slowest case: the stage is not
// finished, so both finishing markers are searched for through the whole text before the
// percentage is cut out.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "install/watch.h"

namespace {

using morvane::StageCounters;
using morvane::TickResult;
using morvane::WatchTick;

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The tool's output once it has written `size` bytes: the header, the file creation in full
// (about a fifth of the output) and then extraction reports, still below 100%.
std::wstring ExtractingOutput(size_t size) {
  std::string out =
      "Applying image 6 (\"Windows 10 Pro\") from \"D:\\sources\\install.wim\" to NTFS volume \"C:\\\"\r\n";
  const uint64_t files = 98765;
  for (uint64_t done = 0; out.size() < size / 5; done += 97) {
    const uint64_t n = done < files ? done : files;
    out += "\rCreating files: " + std::to_string(n) + " of " + std::to_string(files) + " (" +
           std::to_string(n * 100 / files) + "%) done";
  }
  out += "\r\n";
  const uint64_t total = 20480;  // MiB: a report per MiB, never reaching 100% below 1 MiB of output
  for (uint64_t mib = 0;; ++mib) {
    const std::string report = "\rExtracting file data: " + std::to_string(mib % total) + " MiB of " +
                               std::to_string(total) + " MiB (" + std::to_string((mib % total) * 100 / total) +
                               "%) done";
    if (out.size() + report.size() > size) break;
    out += report;
  }
  out.resize(size, ' ');  // a report still being written
  return Widen(out);
}

void BM_WatchTickExtracting(benchmark::State& state) {
  const std::wstring output = ExtractingOutput(static_cast<size_t>(state.range(0)));
  StageCounters counters;
  counters.creating = 100;
  for (auto _ : state) {
    TickResult tick = WatchTick(counters, output, false);
    benchmark::DoNotOptimize(tick);
  }
  if (counters.extracting >= 100) state.SkipWithError("the extraction finished: not the case measured");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_WatchTickExtracting)->Arg(10 << 10)->Arg(100 << 10)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

}  // namespace
