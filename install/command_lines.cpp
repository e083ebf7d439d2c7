#include "install/command_lines.h"

#include "shell/app_folder.h"
#include "shell/quoting.h"

namespace morvane {

std::wstring FormatCommandLine(const std::wstring& windir, const std::wstring& targetDrive) {
  return ArgQuote(windir + L"\\System32\\format.com") + L" " + targetDrive + L" /FS:NTFS /v:Win /q /x /y";
}

std::wstring BootToolPath(const std::wstring& programFolder, const std::wstring& tool) {
  return FolderPlus(programFolder, L"\\Bin\\" + tool);
}

std::wstring BcdbootLine(const std::wstring& programFolder, const std::wstring& windowsDir,
                         const std::wstring& bootDrive, bool uefi) {
  return ArgQuote(BootToolPath(programFolder, L"bcdboot.exe")) + L" " + windowsDir + L" /s " + bootDrive +
         (uefi ? L" /f uefi /l zh-cn" : L" /l zh-cn");
}

std::wstring BootsectLine(const std::wstring& programFolder, const std::wstring& bootDrive, bool nt60) {
  return ArgQuote(BootToolPath(programFolder, L"bootsect.exe")) + (nt60 ? L" /nt60 " : L" /nt52 ") +
         bootDrive + L" /mbr";
}

}  // namespace morvane
