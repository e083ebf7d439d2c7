// Drive names ("C:") and the drives of paths. Drive letters, file extensions and device names are
// compared with one ASCII case fold: the letters a file system folds are not the user's locale's.
#pragma once

#include <string>

namespace morvane {

// 'A'-'Z' as 'a'-'z'; every other character unchanged.
constexpr wchar_t AsciiLower(wchar_t ch) {
  return ch >= L'A' && ch <= L'Z' ? static_cast<wchar_t>(ch - L'A' + L'a') : ch;
}

constexpr wchar_t AsciiUpper(wchar_t ch) {
  return ch >= L'a' && ch <= L'z' ? static_cast<wchar_t>(ch - L'a' + L'A') : ch;
}

// True for exactly a drive letter and a colon ("C:", "d:").
bool IsDriveName(const std::wstring& text);

// True when both are drive names of the same drive, in any letter case.
bool SameDrive(const std::wstring& a, const std::wstring& b);

// The drive a path lies on ("C:"), also behind a "\\?\" or "\\.\" prefix; the empty string when
// the path names none (a network path).
std::wstring DriveOfPath(const std::wstring& path);

}  // namespace morvane
