#pragma once

#include <string>

namespace morvane {

struct RunContext;

// The Start button: validate, confirm, format the target, write and start the apply batch, arm
// the watch. Any failure before the apply runs is reported and leaves the window idle.
void StartInstall(const RunContext& run);

// The window given back to the user after a run, or after a launch that failed.
void ReturnToIdle(const RunContext& run);

std::wstring ConfirmationText(const std::wstring& targetDrive);

}  // namespace morvane
