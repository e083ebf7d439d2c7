#include "install/command_lines.h"

#include "shell/app_folder.h"
#include "shell/quoting.h"

namespace morvane {

std::wstring FormatCommandLine(const std::wstring& windir, const std::wstring& targetDrive) {
  return ArgQuote(windir + L"\\System32\\format.com") + L" " + targetDrive + L" /FS:NTFS /v:Win /q /x /y";
}

std::wstring ApplyBatchPath(const std::wstring& windir) { return windir + L"\\temp\\apply.bat"; }
std::wstring ApplyOutputPath(const std::wstring& windir) { return windir + L"\\temp\\apply.xml"; }
std::wstring ApplyErrorPath(const std::wstring& windir) { return windir + L"\\temp\\apply.err"; }

std::optional<std::wstring> ApplyCommandLine(const std::wstring& programFolderShort, const std::wstring& binDir,
                                             const std::wstring& imageShort, int imageNumber,
                                             const std::wstring& targetDrive, const std::wstring& windir) {
  const auto tool = BatchQuote(FolderPlus(programFolderShort, binDir) + L"\\wimlib-imagex.exe");
  const auto image = BatchQuote(imageShort);
  const auto output = BatchQuote(ApplyOutputPath(windir));
  const auto errors = BatchQuote(ApplyErrorPath(windir));
  // The target is a checked drive name ("C:"): it stays unquoted, since a quote after its
  // backslash would be read by the tool's argument parser as an escaped quote.
  if (!tool || !image || !output || !errors) return std::nullopt;
  return *tool + L" apply " + *image + L" " + std::to_wstring(imageNumber) + L" " + targetDrive + L"\\ >" +
         *output + L" 2>" + *errors;
}

std::wstring BcdbootLine(const std::wstring& programFolder, const std::wstring& windowsDir,
                         const std::wstring& bootDrive, bool uefi) {
  return ArgQuote(FolderPlus(programFolder, L"\\Bin\\bcdboot.exe")) + L" " + windowsDir + L" /s " + bootDrive +
         (uefi ? L" /f uefi /l zh-cn" : L" /l zh-cn");
}

std::wstring BootsectLine(const std::wstring& programFolder, const std::wstring& bootDrive, bool nt60) {
  return ArgQuote(FolderPlus(programFolder, L"\\Bin\\bootsect.exe")) + (nt60 ? L" /nt60 " : L" /nt52 ") +
         bootDrive + L" /mbr";
}

}  // namespace morvane
