#pragma once

#include <string>

namespace morvane {

class Form1;

// One tick of Timer1 while an apply runs.
void WatchTimerTick(Form1& form);

// The apply batch has ended: its output is final, so the remaining ticks run at once instead of
// one timer interval apart.
void WatchRunToEnd(Form1& form);

// The line of the tool's error output worth showing: its last "[ERROR]" line, else its last
// non-blank line.
std::wstring LastErrorLine(const std::wstring& errors);

}  // namespace morvane
