#pragma once

#include <optional>
#include <string>

namespace morvane {

// The one line of WIMInfo.bat: the tool writes the image file's XML description into WIMInfo.xml
// ("info IMAGE --extract-xml FILE"); its standard output goes to "nul". No line when a path holds
// a character no batch line can carry.
std::optional<std::wstring> InfoCommandLine(const std::wstring& programFolderShort, const std::wstring& binDir,
                                            const std::wstring& imageShort, const std::wstring& windir);

std::wstring InfoBatchPath(const std::wstring& windir);
std::wstring InfoOutputPath(const std::wstring& windir);

}  // namespace morvane
