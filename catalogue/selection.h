// The rules of the source and drive fields.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace morvane {

// A drop is taken only as a file list of exactly one file whose name ends in ".wim" or ".esd"
// (any letter case); the path is kept exactly as dropped.
std::optional<std::wstring> AcceptDrop(bool hasFileList, const std::vector<std::wstring>& files);

// True when the last part of a path names a device rather than a file: CON, PRN, AUX, NUL,
// COM1-COM9, LPT1-LPT9, CONIN$, CONOUT$, in any letter case, also with an extension, trailing
// blanks or a folder in front ("NUL.wim", "D:\x\com1.txt"). Such a path is never an image file.
bool NamesDevice(const std::wstring& path);

// The drive of a folder chosen in the browser; nothing for a folder without a drive letter
// (a network share), which no later step could use.
std::optional<std::wstring> DriveOfFolder(const std::wstring& folder);

}  // namespace morvane
