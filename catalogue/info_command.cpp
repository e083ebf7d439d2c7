#include "catalogue/info_command.h"

#include "shell/app_folder.h"
#include "shell/quoting.h"

namespace morvane {

std::wstring InfoBatchPath(const std::wstring& windir) { return windir + L"\\temp\\WIMInfo.bat"; }
std::wstring InfoOutputPath(const std::wstring& windir) { return windir + L"\\temp\\WIMInfo.xml"; }

std::optional<std::wstring> InfoCommandLine(const std::wstring& programFolderShort, const std::wstring& binDir,
                                            const std::wstring& imageShort, const std::wstring& windir) {
  const auto tool = BatchQuote(FolderPlus(programFolderShort, binDir) + L"\\wimlib-imagex.exe");
  const auto image = BatchQuote(imageShort);
  const auto output = BatchQuote(InfoOutputPath(windir));
  if (!tool || !image || !output) return std::nullopt;
  // The tool writes the file itself, in binary: its standard output is in text mode on Windows,
  // where every 0x0A byte of the UTF-16 text would gain a 0x0D in front of it.
  return *tool + L" info " + *image + L" --extract-xml " + *output + L" >nul";
}

}  // namespace morvane
