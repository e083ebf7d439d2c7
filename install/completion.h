#pragma once

#include <string>

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

}  // namespace morvane
