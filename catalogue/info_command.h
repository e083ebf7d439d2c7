#pragma once

#include <optional>
#include <string>

namespace morvane {

// The one line of WIMInfo.bat: the tool's "info --xml" for the image, its standard output
// redirected into WIMInfo.xml. No line when a path holds a character no batch line can carry.
std::optional<std::wstring> InfoCommandLine(const std::wstring& programFolderShort, const std::wstring& binDir,
                                            const std::wstring& imageShort, const std::wstring& windir);

std::wstring InfoBatchPath(const std::wstring& windir);
std::wstring InfoOutputPath(const std::wstring& windir);

}  // namespace morvane
