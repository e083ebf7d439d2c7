#pragma once

#include <optional>
#include <string>

#include "catalogue/image_tool.h"
#include "shell/ports.h"
#include "shell/run_state.h"

namespace morvane {

// Asks the image tool for the XML description of the image and refills the three parallel image
// lists. A path that the batch file cannot carry is refused with a message, and the lists are left
// empty.
void GetWimInfo(WindowPort& ui, SystemPort& sys, const RunState& state, const ImagePath& image);

// The image file that Text1 names, resolved once for the query, Start and both batch lines: the
// full path (drive-relative and relative paths, "..", forward slashes resolved) and its short form.
// Nothing when the text is empty, names a device, or names no file the look-up sees.
std::optional<ImagePath> ResolveImage(const WindowPort& ui, SystemPort& sys);

// Sets the edition list's tooltip to the display name of its selected entry.
void ShowSelectedDisplayName(WindowPort& ui);

// Empties the three lists together, so they keep the same length.
void ClearImageLists(WindowPort& ui);

}  // namespace morvane
