#include "catalogue/selection.h"

namespace morvane {
namespace {

wchar_t AsciiLower(wchar_t ch) { return ch >= L'A' && ch <= L'Z' ? static_cast<wchar_t>(ch - L'A' + L'a') : ch; }

}  // namespace

std::optional<std::wstring> AcceptDrop(bool hasFileList, const std::vector<std::wstring>& files) {
  if (!hasFileList || files.size() != 1) return std::nullopt;
  const std::wstring& path = files.front();
  if (path.size() < 4) return std::nullopt;
  std::wstring ext = path.substr(path.size() - 4);
  for (wchar_t& ch : ext) ch = AsciiLower(ch);
  if (ext != L".wim" && ext != L".esd") return std::nullopt;
  return path;
}

bool IsDriveName(const std::wstring& text) {
  if (text.size() != 2 || text[1] != L':') return false;
  const wchar_t letter = AsciiLower(text[0]);
  return letter >= L'a' && letter <= L'z';
}

std::optional<std::wstring> DriveOfFolder(const std::wstring& folder) {
  if (folder.size() < 2) return std::nullopt;
  const std::wstring drive = folder.substr(0, 2);
  if (!IsDriveName(drive)) return std::nullopt;
  return drive;
}

}  // namespace morvane
