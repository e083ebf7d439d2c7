#include "catalogue/selection.h"

#include "shell/drive_names.h"

namespace morvane {
std::optional<std::wstring> AcceptDrop(bool hasFileList, const std::vector<std::wstring>& files) {
  if (!hasFileList || files.size() != 1) return std::nullopt;
  const std::wstring& path = files.front();
  if (path.size() < 4) return std::nullopt;
  std::wstring ext = path.substr(path.size() - 4);
  for (wchar_t& ch : ext) ch = AsciiLower(ch);
  if (ext != L".wim" && ext != L".esd") return std::nullopt;
  return path;
}

bool NamesDevice(const std::wstring& path) {
  size_t begin = path.find_last_of(L"\\/");
  begin = begin == std::wstring::npos ? (path.size() >= 2 && path[1] == L':' ? 2 : 0) : begin + 1;
  // The name is what comes before the first dot or colon, without its trailing blanks.
  std::wstring name = path.substr(begin, path.find_first_of(L".:", begin) - begin);
  name.erase(name.find_last_not_of(L' ') + 1);
  for (wchar_t& ch : name) ch = AsciiLower(ch);
  for (const wchar_t* device : {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"}) {
    if (name == device) return true;
  }
  return name.size() == 4 && (name.rfind(L"com", 0) == 0 || name.rfind(L"lpt", 0) == 0) && name[3] >= L'1' &&
         name[3] <= L'9';
}

std::optional<std::wstring> DriveOfFolder(const std::wstring& folder) {
  if (folder.size() < 2) return std::nullopt;
  const std::wstring drive = folder.substr(0, 2);
  if (!IsDriveName(drive)) return std::nullopt;
  return drive;
}

}  // namespace morvane
