#pragma once

#include <string>

namespace morvane {

// The text between the first StartStr and the next EndStr (order 0) or the last EndStr anywhere
// (order != 0). Exact, case-sensitive; the empty string when either marker is missing or the end
// marker lies before the start. Never fails.
std::wstring MidStr(const std::wstring& source, const std::wstring& startStr, const std::wstring& endStr,
                    int order);

}  // namespace morvane
