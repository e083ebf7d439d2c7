#include "shell/icon_win.h"

#include <string>

#include "shell/app_folder.h"
#include "shell/system_win.h"

namespace morvane {
namespace {

std::wstring ProgramIconPath() {
  const std::wstring file = ModulePath();
  const size_t slash = file.find_last_of(L'\\');
  std::wstring folder = slash == std::wstring::npos ? std::wstring() : file.substr(0, slash);
  if (folder.size() == 2) folder += L'\\';
  std::wstring name = file.substr(slash == std::wstring::npos ? 0 : slash + 1);
  const size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return ProgramFileForIcon(folder, name);
}

}  // namespace

UniqueIcon SetFormIcon(HWND window, int sizePx) {
  HICON icon = nullptr;
  if (::PrivateExtractIconsW(ProgramIconPath().c_str(), 0, sizePx, sizePx, &icon, nullptr, 1, 0) != 1) {
    icon = nullptr;
  }
  ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  return UniqueIcon(icon);
}

}  // namespace morvane
