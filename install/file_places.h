// Where a file really lies, for the drive checks: a letter can stand for a folder of another
// drive (subst), a volume can have two names (a second letter, a mount point), and a letter can be
// a virtual disk whose file is stored on another drive. Formatting any of those drives destroys
// the file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shell/ports.h"

namespace morvane {

// One drive or volume the file depends on, and how its path led there.
struct Place {
  enum class Via { Named, Alias, VirtualDisk };
  Via via = Via::Named;
  std::wstring drive;    // "T:"; empty for a volume reached by its name alone
  VolumeAt volume;       // where known
  std::wstring letter;   // the letter that led here: the one named, the alias, the virtual disk
  std::wstring through;  // Alias: the folder the letter stands for; VirtualDisk: its backing file
};

// Every place the file at `path` depends on: its own letter, the letters that one stands for
// (followed through a chain), the volume behind them, and for a virtual disk the places of its
// backing file in turn. Where a query is missing or answers nothing, the letter alone is known.
std::vector<Place> PlacesOf(const std::wstring& path, const SystemPort& sys);

// Why formatting `target` (on the volume `targetVolume`, empty when unknown) would destroy a file
// with these places; `what` names the file for the user. Nothing when it would not: two different
// volumes never refuse each other.
std::optional<std::wstring> TargetHolds(const std::wstring& target, const std::wstring& targetVolume,
                                        const std::vector<Place>& places, const std::wstring& what);

}  // namespace morvane
