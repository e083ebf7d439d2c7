// The image tool (wimlib-imagex in the program's tools folder) as the program runs it: its path,
// the two batch lines that run it, and the files they use in the Windows folder's temp folder.
#pragma once

#include <optional>
#include <string>

namespace morvane {

// The image file the user named: its full path, for the look-ups and the drive checks, and the
// form a batch line hands to the tool (its short form, where it has one).
struct ImagePath {
  std::wstring full;
  std::wstring forBatch;
};

// "<folder><binDir>\wimlib-imagex.exe", never doubling the backslash of a drive root.
std::wstring ImageToolPath(const std::wstring& programFolder, const std::wstring& binDir);

std::wstring InfoBatchPath(const std::wstring& windir);
std::wstring InfoOutputPath(const std::wstring& windir);
std::wstring ApplyBatchPath(const std::wstring& windir);
std::wstring ApplyOutputPath(const std::wstring& windir);
std::wstring ApplyErrorPath(const std::wstring& windir);

// The one line of WIMInfo.bat: the tool writes the image file's XML description into WIMInfo.xml
// itself ("info IMAGE --extract-xml FILE"); its standard output goes to "nul". No line when a path
// holds a character no batch line can carry.
std::optional<std::wstring> InfoCommandLine(const std::wstring& tool, const std::wstring& image,
                                            const std::wstring& windir);

// The one line of apply.bat: the tool applies image `imageNumber` to the target's root folder, its
// standard output into apply.xml and its error output into the file beside it.
std::optional<std::wstring> ApplyCommandLine(const std::wstring& tool, const std::wstring& image, int imageNumber,
                                             const std::wstring& targetDrive, const std::wstring& windir);

}  // namespace morvane
