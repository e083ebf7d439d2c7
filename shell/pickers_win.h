#pragma once

#include <windows.h>

#include <string>

namespace morvane {

// The open dialog ("open" in any letter case) or the save dialog, offering only image files; the
// chosen path, or the empty string on cancel and on failure.
std::wstring ShowFileDialog(const std::wstring& mode, const std::wstring& title, const std::wstring& fileName);

// The shell's folder browser; the chosen folder's path, or the empty string on cancel and for a
// folder without a file-system path.
std::wstring BrowseFolder(const std::wstring& title);

}  // namespace morvane
