// Test-only stand-in for the platform's half-width mapping (LCMapString with LCMAP_HALFWIDTH),
// which the Windows build applies to the image tool's output before it is cut into lists. The
// native build has no such call, so this maps only what the image lists rely on: the full-width
// ASCII forms U+FF01..U+FF5E to U+0021..U+007E and the ideographic space U+3000 to a blank.
// Everything else, Chinese characters included, passes unchanged. It is NOT the real mapping
// (no half-width katakana, no full-width currency signs): use it only where a test needs the
// effect of the mapping on Latin letters, digits and punctuation.
#pragma once

#include <string>

namespace morvane {
namespace testing_only {

inline std::wstring HalfWidthForTests(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& ch : out) {
    if (ch >= 0xFF01 && ch <= 0xFF5E) {
      ch = static_cast<wchar_t>(ch - 0xFF01 + 0x21);
    } else if (ch == 0x3000) {
      ch = L' ';
    }
  }
  return out;
}

}  // namespace testing_only
}  // namespace morvane
