#pragma once

#include <optional>
#include <string>

#include "shell/ports.h"
#include "shell/run_state.h"

namespace morvane {

// Asks the image tool for the XML description of the image named by Text1 and refills the three
// parallel image lists. A path that the batch file cannot carry is refused with a message, and the
// lists are left empty.
void GetWimInfo(WindowPort& ui, SystemPort& sys, const RunState& state);

// The image file that Text1 names, as a full path: drive-relative and relative paths, "..", and
// forward slashes are resolved before the path is looked up, shortened or compared with a drive.
// Nothing when the text is empty, names a device, or names no file the look-up sees.
std::optional<std::wstring> ExistingImagePath(const WindowPort& ui, const SystemPort& sys);

// Sets the edition list's tooltip to the display name of its selected entry.
void ShowSelectedDisplayName(WindowPort& ui);

// Empties the three lists together, so they keep the same length.
void ClearImageLists(WindowPort& ui);

}  // namespace morvane
