#pragma once

#include <optional>
#include <string>

namespace morvane {

// What the drive fields are checked against before anything is formatted.
struct DriveFacts {
  bool targetExists = false;
  std::wstring windowsDrive;  // the drive of the running Windows (of windir)
  std::wstring imageDrive;    // the drive that holds the chosen image file
  std::wstring programDrive;  // the drive that holds the program itself
  bool bootExists = false;
};

// The reason, in the user's words, why the fields must not be used; nothing when they may.
std::optional<std::wstring> CheckDriveFields(const std::wstring& target, const std::wstring& boot,
                                             const DriveFacts& facts);

}  // namespace morvane
