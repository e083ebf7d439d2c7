// One tick of the apply progress watch, as text in and result out. The tool's output is read whole
// on every tick; only the piece between the last two reports of the running stage is parsed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "shell/run_state.h"

namespace morvane {

constexpr const wchar_t* kCreatingMarker = L"Creating files:";
constexpr const wchar_t* kExtractingMarker = L"Extracting file data:";
constexpr const wchar_t* kMetadataMarker = L"Applying metadata to files:";
constexpr const wchar_t* kDoneLine = L"Done applying WIM image.";

constexpr int kFinishedStageInterval = 100;
// The interval every run's watch starts with.
constexpr int kFirstStageInterval = 100;
// After the tool has ended, an output that cannot be read (a passing sharing violation) is read
// again on this many further ticks before the run is judged failed.
constexpr int kUnreadOutputRetries = 5;

struct TickResult {
  enum class Kind {
    Stage,     // a stage is running: show its text; the bar moves when `bar` is set
    Complete,  // every stage finished: the completion steps run now
    Failed,    // the tool has ended without its done line
    Reread,    // the ended tool's output could not be read: read it again on the next tick
  };
  Kind kind = Kind::Stage;
  std::wstring status;
  std::optional<int> interval;  // the timer interval the stage asks for
  std::optional<int16_t> bar;   // the bar's new value; unset when the tick leaves it alone
};

// `toolEnded` must be taken before `output` was read, so that the output is known to be final.
// `outputRead` is false when the output file could not be read; `output` is empty then.
TickResult WatchTick(StageCounters& counters, const std::wstring& output, bool toolEnded, bool outputRead = true);

// The percentage of a report ("... (37%) done"): a whole number from 0 to 100, or nothing.
std::optional<int16_t> ReportPercent(const std::wstring& report);

}  // namespace morvane
