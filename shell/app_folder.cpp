#include "shell/app_folder.h"

namespace morvane {

std::wstring AppFolder(const std::wstring& folder) {
  if (folder.size() < 4) return folder;
  return folder + L"\\";
}

std::wstring FolderPlus(const std::wstring& folder, const std::wstring& tail) {
  if (!folder.empty() && folder.back() == L'\\' && !tail.empty() && tail.front() == L'\\') {
    return folder + tail.substr(1);
  }
  return folder + tail;
}

std::wstring ProgramFileForIcon(const std::wstring& folder, const std::wstring& nameWithoutExtension) {
  return AppFolder(folder) + nameWithoutExtension + L".exe";
}

}  // namespace morvane
