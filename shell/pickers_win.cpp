#include "shell/pickers_win.h"

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "shell/controls.h"
#include "shell/handles_win.h"

namespace morvane {
namespace {

constexpr size_t kNameBuffer = 255;

bool IsOpenMode(const std::wstring& mode) {
  if (mode.size() != 4) return false;
  const wchar_t* open = L"OPEN";
  for (size_t i = 0; i < 4; ++i) {
    const wchar_t upper = mode[i] >= L'a' && mode[i] <= L'z' ? static_cast<wchar_t>(mode[i] - 32) : mode[i];
    if (upper != open[i]) return false;
  }
  return true;
}

}  // namespace

std::wstring ShowFileDialog(const std::wstring& mode, const std::wstring& title, const std::wstring& fileName) {
  if (fileName.size() >= kNameBuffer) {
    // No room for the name and its NUL: the dialog is not shown at all.
    ::MessageBoxW(nullptr, L"未知原因导致操作失败！", kAppTitle, MB_OK | MB_ICONERROR);
    return std::wstring();
  }
  std::vector<wchar_t> name(kNameBuffer, L'\0');
  fileName.copy(name.data(), fileName.size());
  std::vector<wchar_t> nameTitle(kNameBuffer, L'\0');
  static const wchar_t kFilter[] = L"映像文件(*.wim;*.esd)\0*.wim;*.esd\0";

  OPENFILENAMEW ofn = {};
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  ofn.hwndOwner = nullptr;
  ofn.hInstance = ::GetModuleHandleW(nullptr);
  ofn.lpstrFilter = kFilter;
  ofn.nFilterIndex = 0;
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = static_cast<DWORD>(name.size());
  ofn.lpstrFileTitle = nameTitle.data();
  ofn.nMaxFileTitle = static_cast<DWORD>(nameTitle.size());
  ofn.lpstrInitialDir = L"";
  ofn.lpstrTitle = title.c_str();

  BOOL chosen;
  if (IsOpenMode(mode)) {
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    chosen = ::GetOpenFileNameW(&ofn);
  } else {
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    ofn.lpstrDefExt = L"exe";
    chosen = ::GetSaveFileNameW(&ofn);
  }
  if (!chosen) return std::wstring();
  const auto end = std::find(name.begin(), name.end(), L'\0');
  if (end == name.end()) return std::wstring();
  return std::wstring(name.begin(), end);
}

std::wstring BrowseFolder(const std::wstring& title) {
  BROWSEINFOW info = {};
  info.hwndOwner = nullptr;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  UniqueCoTaskMem list(::SHBrowseForFolderW(&info));
  if (!list) return std::wstring();
  std::vector<wchar_t> path(MAX_PATH, L'\0');
  ::SHGetPathFromIDListW(static_cast<PCIDLIST_ABSOLUTE>(list.get()), path.data());
  return std::wstring(path.data());
}

}  // namespace morvane
