// Whole numbers as text, as std::to_wstring writes them, without the C runtime's formatted output:
// in the static Windows build that would bring its whole floating-point formatting along.
#pragma once

#include <string>

namespace morvane {

inline std::wstring Decimal(long long value) {
  wchar_t digits[24];
  wchar_t* end = digits + 24;
  wchar_t* p = end;
  unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value) : value;
  do {
    *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = L'-';
  return std::wstring(p, end);
}

}  // namespace morvane
