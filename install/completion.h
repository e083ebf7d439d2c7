#pragma once

#include <string>

#include "shell/ports.h"

namespace morvane {

struct RunContext;

// The steps after the image is applied: the Windows folders are listed, the boot files rebuilt
// where needed, the boot code written, the user told, the computer restarted when asked, and the
// window given back. When the installed system got no boot files (every bcdboot run for its own
// Windows folder failed) or a boot tool could not be started at all, the user is told what failed
// and no restart is started; other failures of the boot tools change nothing.
void RunCompletion(const RunContext& run);

// The image's major version decides between the newer and the older boot tools. A text that is
// empty or not a number counts as newer: only the newer tools serve images without a version.
bool MajorAbove5(const std::wstring& major);

// The major version of the image chosen in the edition list (the text of its MAJOR element).
std::wstring SelectedMajor(const WindowPort& ui);

// Whether the boot files are rebuilt: the boot drive has no "\boot" the look-up sees, or the user
// asked for it.
bool RebuildsBootFiles(const WindowPort& ui, const SystemPort& sys, const std::wstring& bootDrive);

}  // namespace morvane
