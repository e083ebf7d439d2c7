#pragma once

#include <string>

namespace morvane {

class Form1;

// The steps after the image is applied: the Windows folders are listed, the boot files rebuilt
// where needed, the boot code written, the user told, the computer restarted when asked, and the
// window given back. A boot tool that fails is named to the user and no restart is started.
void RunCompletion(Form1& form);

// The image's major version decides between the newer and the older boot tools. A text that is
// empty or not a number counts as newer: only the newer tools serve images without a version.
bool MajorAbove5(const std::wstring& major);

}  // namespace morvane
