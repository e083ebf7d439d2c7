// The Windows installations on the fixed drives, for the boot repair.
#pragma once

#include <string>
#include <vector>

#include "shell/ports.h"

namespace morvane {

// The drive names ("C:") in a drive-root list ("C:\<NUL>D:\<NUL><NUL>"), in list order.
std::vector<std::wstring> SplitDriveRoots(const std::wstring& roots);

// Empties RDriver and refills it with one "<drive>\Windows" per fixed drive that holds a visible
// "Windows" entry, the preinstallation drive X: excluded. Tells the user when no fixed drive exists.
void FindWindowsDirs(WindowPort& ui, const SystemPort& sys);

}  // namespace morvane
