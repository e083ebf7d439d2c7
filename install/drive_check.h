#pragma once

#include <optional>
#include <string>
#include <vector>

#include "install/file_places.h"

namespace morvane {

// What the drive fields are checked against before anything is formatted.
struct DriveFacts {
  bool targetExists = false;
  std::wstring targetVolume;        // the target's volume name, empty when unknown
  std::wstring windowsDrive;        // the drive of the running Windows (of windir)
  std::vector<Place> imagePlaces;   // where the chosen image file really lies
  std::vector<Place> programPlaces; // where the program itself really lies
  bool bootExists = false;
};

// The reason, in the user's words, why the fields must not be used; nothing when they may.
std::optional<std::wstring> CheckDriveFields(const std::wstring& target, const std::wstring& boot,
                                             const DriveFacts& facts);

}  // namespace morvane
