#pragma once

#include <string>

namespace morvane {

// The application folder with exactly one trailing backslash: a drive root ("C:\") already has it.
std::wstring AppFolder(const std::wstring& folder);

// A folder followed by a tail that begins with a backslash, never doubling it at a drive root.
std::wstring FolderPlus(const std::wstring& folder, const std::wstring& tail);

// The program file as the icon is read from it: the application folder, the name without its
// extension, and ".exe".
std::wstring ProgramFileForIcon(const std::wstring& folder, const std::wstring& nameWithoutExtension);

}  // namespace morvane
