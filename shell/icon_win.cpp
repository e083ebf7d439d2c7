#include "shell/icon_win.h"

#include <string>
#include <vector>

#include "shell/app_folder.h"

namespace morvane {
namespace {

std::wstring ProgramIconPath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  DWORD n;
  while ((n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()))) >= buffer.size()) {
    buffer.resize(buffer.size() * 2);
  }
  const std::wstring file(buffer.data(), n);
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
  ::PrivateExtractIconsW(ProgramIconPath().c_str(), 0, sizePx, sizePx, &icon, nullptr, 1, 0);
  if (!icon) {
    // Some systems will not read the icon out of the running program's own file (Wine refuses
    // while the file is mapped): the same icon group is then taken from the loaded module.
    icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, sizePx,
                                           sizePx, LR_DEFAULTCOLOR));
  }
  ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  return UniqueIcon(icon);
}

UniqueIcon LoadSmallProgramIcon() {
  // Without LR_SHARED the icon is the caller's own, to be destroyed.
  return UniqueIcon(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                    ::GetSystemMetrics(SM_CXSMICON),
                                                    ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR)));
}

}  // namespace morvane
