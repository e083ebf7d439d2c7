// One tick of the apply progress watch, as text in and result out. The tool's output is read whole
// on every tick; only the piece between the last two reports of the running stage is parsed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace morvane {

struct StageCounters {
  int16_t creating = 0;
  int16_t extracting = 0;
  int16_t metadata = 0;
};

constexpr const wchar_t* kCreatingMarker = L"Creating files:";
constexpr const wchar_t* kExtractingMarker = L"Extracting file data:";
constexpr const wchar_t* kMetadataMarker = L"Applying metadata to files:";
constexpr const wchar_t* kDoneLine = L"Done applying WIM image.";

constexpr int kFinishedStageInterval = 100;

struct TickResult {
  enum class Kind {
    Stage,     // a stage is running: show its text; the bar moves when `bar` is set
    Complete,  // every stage finished: the completion steps run now
    Failed,    // the tool has ended without its done line
  };
  Kind kind = Kind::Stage;
  std::wstring status;
  std::optional<int> interval;  // the timer interval the stage asks for
  std::optional<int16_t> bar;   // the bar's new value; unset when the tick leaves it alone
};

// `toolEnded` must be taken before `output` was read, so that the output is known to be final.
TickResult WatchTick(StageCounters& counters, const std::wstring& output, bool toolEnded);

// The percentage of a report ("... (37%) done"): a whole number from 0 to 100, or nothing.
std::optional<int16_t> ReportPercent(const std::wstring& report);

}  // namespace morvane
