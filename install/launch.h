#pragma once

#include <string>

namespace morvane {

class Form1;

// The Start button: validate, confirm, format the target, write and start the apply batch, arm
// the watch. Any failure before the apply runs is reported and leaves the window idle.
void StartInstall(Form1& form);

// The window given back to the user after a run, or after a launch that failed.
void ReturnToIdle(Form1& form);

std::wstring ConfirmationText(const std::wstring& targetDrive);

}  // namespace morvane
