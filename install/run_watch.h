#pragma once

#include <string>

namespace morvane {

struct RunContext;

// One tick of Timer1 while an apply runs.
void WatchTimerTick(const RunContext& run);

// The apply batch has ended: its output is final, so the remaining ticks run at once instead of
// one timer interval apart.
void WatchRunToEnd(const RunContext& run);

// The line of the tool's error output worth showing: its last "[ERROR]" line, else its last
// non-blank line.
std::wstring LastErrorLine(const std::wstring& errors);

}  // namespace morvane
