// Any text as the platform's drive-root list: every drive name taken from it is a non-empty piece
// of one root, without its backslash, and holds no NUL.
//
// Input: the list as UTF-16 code units, low byte first.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "drives/find_windows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto check = [](bool ok) { if (!ok) __builtin_trap(); };
  std::wstring roots;
  for (size_t i = 0; i + 1 < size; i += 2) roots += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));

  const std::vector<std::wstring> drives = morvane::SplitDriveRoots(roots);
  check(drives.size() <= static_cast<size_t>(std::count(roots.begin(), roots.end(), L'\0')));
  size_t at = 0;
  for (const std::wstring& drive : drives) {
    check(!drive.empty() && drive.find(L'\0') == std::wstring::npos);
    // In list order: each name is followed by one more character of its root and the root's NUL.
    size_t found = roots.find(drive, at);
    while (found != std::wstring::npos &&
           !(found + drive.size() + 1 < roots.size() && roots[found + drive.size() + 1] == L'\0')) {
      found = roots.find(drive, found + 1);
    }
    check(found != std::wstring::npos);
    at = found + drive.size() + 2;
  }
  return 0;
}
