#include "catalogue/image_tool.h"

#include "shell/app_folder.h"
#include "shell/quoting.h"
#include "shell/decimal.h"

namespace morvane {

std::wstring ImageToolPath(const std::wstring& programFolder, const std::wstring& binDir) {
  return FolderPlus(programFolder, binDir) + L"\\wimlib-imagex.exe";
}

std::wstring InfoBatchPath(const std::wstring& windir) { return windir + L"\\temp\\WIMInfo.bat"; }
std::wstring InfoOutputPath(const std::wstring& windir) { return windir + L"\\temp\\WIMInfo.xml"; }
std::wstring ApplyBatchPath(const std::wstring& windir) { return windir + L"\\temp\\apply.bat"; }
std::wstring ApplyOutputPath(const std::wstring& windir) { return windir + L"\\temp\\apply.xml"; }
std::wstring ApplyErrorPath(const std::wstring& windir) { return windir + L"\\temp\\apply.err"; }

std::optional<std::wstring> InfoCommandLine(const std::wstring& tool, const std::wstring& image,
                                            const std::wstring& windir) {
  const auto quotedTool = BatchQuote(tool), quotedImage = BatchQuote(image);
  const auto output = BatchQuote(InfoOutputPath(windir));
  if (!quotedTool || !quotedImage || !output) return std::nullopt;
  // The tool writes the file itself, in binary: its standard output is in text mode on Windows,
  // where every 0x0A byte of the UTF-16 text would gain a 0x0D in front of it.
  return *quotedTool + L" info " + *quotedImage + L" --extract-xml " + *output + L" >nul";
}

std::optional<std::wstring> ApplyCommandLine(const std::wstring& tool, const std::wstring& image, int imageNumber,
                                             const std::wstring& targetDrive, const std::wstring& windir) {
  const auto quotedTool = BatchQuote(tool), quotedImage = BatchQuote(image);
  const auto output = BatchQuote(ApplyOutputPath(windir)), errors = BatchQuote(ApplyErrorPath(windir));
  if (!quotedTool || !quotedImage || !output || !errors) return std::nullopt;
  // The target is a checked drive name ("C:"): it stays unquoted, since a quote after its
  // backslash would be read by the tool's argument parser as an escaped quote.
  return *quotedTool + L" apply " + *quotedImage + L" " + Decimal(imageNumber) + L" " + targetDrive +
         L"\\ >" + *output + L" 2>" + *errors;
}

}  // namespace morvane
