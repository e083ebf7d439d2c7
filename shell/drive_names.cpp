#include "shell/drive_names.h"

namespace morvane {

bool IsDriveName(const std::wstring& text) {
  if (text.size() != 2 || text[1] != L':') return false;
  const wchar_t letter = AsciiLower(text[0]);
  return letter >= L'a' && letter <= L'z';
}

bool SameDrive(const std::wstring& a, const std::wstring& b) {
  return IsDriveName(a) && IsDriveName(b) && AsciiLower(a[0]) == AsciiLower(b[0]);
}

std::wstring DriveOfPath(const std::wstring& path) {
  std::wstring rest = path;
  if (rest.rfind(L"\\\\?\\", 0) == 0 || rest.rfind(L"\\\\.\\", 0) == 0) rest.erase(0, 4);
  if (rest.size() < 2 || (rest.size() > 2 && rest[2] != L'\\' && rest[2] != L'/')) return std::wstring();
  const std::wstring drive = rest.substr(0, 2);
  return IsDriveName(drive) ? drive : std::wstring();
}

}  // namespace morvane
