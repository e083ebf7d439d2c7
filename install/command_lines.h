// The command lines of an installation run besides the image tool's: the format, the boot tools
// and the restart. Built here, as text, so that each can be checked against hostile input.
#pragma once

#include <string>

namespace morvane {

std::wstring FormatCommandLine(const std::wstring& windir, const std::wstring& targetDrive);

// A boot tool in the program's "\Bin" folder, whatever folder the image tool comes from.
std::wstring BootToolPath(const std::wstring& programFolder, const std::wstring& tool);

std::wstring BcdbootLine(const std::wstring& programFolder, const std::wstring& windowsDir,
                         const std::wstring& bootDrive, bool uefi);
std::wstring BootsectLine(const std::wstring& programFolder, const std::wstring& bootDrive, bool nt60);

constexpr const wchar_t* kRestartLine = L"shutdown.exe -r -f -t 5";
constexpr const wchar_t* kCancelRestartLine = L"shutdown.exe -a";

}  // namespace morvane
