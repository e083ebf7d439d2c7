// The command lines of an installation run: the format, the apply batch line, the boot tools and
// the restart. Built here, as text, so that each can be checked against hostile input.
#pragma once

#include <optional>
#include <string>

namespace morvane {

std::wstring FormatCommandLine(const std::wstring& windir, const std::wstring& targetDrive);

std::wstring ApplyBatchPath(const std::wstring& windir);
std::wstring ApplyOutputPath(const std::wstring& windir);
std::wstring ApplyErrorPath(const std::wstring& windir);

// The one line of apply.bat: the tool applies image `imageNumber` to the target's root folder, its
// standard output into apply.xml and its error output into the file beside it.
std::optional<std::wstring> ApplyCommandLine(const std::wstring& programFolderShort, const std::wstring& binDir,
                                             const std::wstring& imageShort, int imageNumber,
                                             const std::wstring& targetDrive, const std::wstring& windir);

std::wstring BcdbootLine(const std::wstring& programFolder, const std::wstring& windowsDir,
                         const std::wstring& bootDrive, bool uefi);
std::wstring BootsectLine(const std::wstring& programFolder, const std::wstring& bootDrive, bool nt60);

constexpr const wchar_t* kRestartLine = L"shutdown.exe -r -f -t 5";
constexpr const wchar_t* kCancelRestartLine = L"shutdown.exe -a";

}  // namespace morvane
