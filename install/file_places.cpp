#include "install/file_places.h"

#include "shell/drive_names.h"

namespace morvane {
namespace {

// A chain of letters is short; a letter standing for a folder of itself must still end.
constexpr int kMostHops = 26;
constexpr int kMostVirtualDisks = 4;

// The path without a "\\?\" or "\\.\" prefix.
std::wstring Unprefixed(const std::wstring& path) {
  return path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0 ? path.substr(4) : path;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

void Visit(const std::wstring& path, Place::Via via, const std::wstring& letter, const std::wstring& through,
           int disks, const SystemPort& sys, std::vector<Place>& places) {
  std::wstring current = Unprefixed(path);
  std::wstring drive = DriveOfPath(current);
  Place place{via, drive, {}, letter.empty() ? drive : letter, through};
  for (int hop = 0; hop < kMostHops && !drive.empty(); ++hop) {
    places.push_back(place);
    // "\??\T:\images": the letter stands for that folder, and the path continues inside it.
    const std::wstring target = sys.DosDeviceOf(drive);
    if (target.rfind(L"\\??\\", 0) != 0 || DriveOfPath(target.substr(4)).empty()) break;
    std::wstring folder = target.substr(4);
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    // A virtual disk's file behind a letter of a folder is still named as the disk's file.
    if (place.via == Place::Via::Named) {
      place.via = Place::Via::Alias;
      place.through = folder;
    } else if (place.via == Place::Via::Alias) {
      place.through = folder + place.through.substr(2);
    }
    current = folder + current.substr(2);
    drive = place.drive = DriveOfPath(current);
  }
  const VolumeAt volume = sys.VolumeOf(current);
  if (drive.empty()) {
    if (volume.name.empty()) return;
    places.push_back(place);  // a volume reached by its name alone
  }
  places.back().volume = volume;
  if (volume.name.empty() || disks >= kMostVirtualDisks) return;
  const std::wstring disk = drive.empty() ? volume.mount : drive;
  for (const std::wstring& file : sys.BackingFiles(volume.name)) {
    Visit(file, Place::Via::VirtualDisk, disk, file, disks + 1, sys, places);
  }
}

}  // namespace

std::vector<Place> PlacesOf(const std::wstring& path, const SystemPort& sys) {
  std::vector<Place> places;
  Visit(path, Place::Via::Named, L"", L"", 0, sys, places);
  return places;
}

std::optional<std::wstring> TargetHolds(const std::wstring& target, const std::wstring& targetVolume,
                                        const std::vector<Place>& places, const std::wstring& what) {
  const std::wstring refused = L"不能安装到[" + target + L"]盘：" + what;
  const std::wstring lost = L"，格式化会把它删除。";
  for (const Place& place : places) {
    const bool sameVolume = !place.volume.name.empty() && SameName(place.volume.name, targetVolume);
    if (!SameDrive(place.drive, target) && !sameVolume) continue;
    switch (place.via) {
      case Place::Via::VirtualDisk:
        return refused + L"所在的[" + place.letter + L"]盘是一个虚拟磁盘，它的文件“" + place.through +
               L"”就在这个盘上" + lost;
      case Place::Via::Alias:
        if (!sameVolume || SameDrive(place.drive, target)) {
          return refused + L"所在的[" + place.letter + L"]盘是这个盘上的文件夹“" + place.through + L"”" + lost;
        }
        break;
      case Place::Via::Named:
        if (SameDrive(place.drive, target)) return refused + L"就在这个盘上" + lost;
        break;
    }
    const std::wstring mount = place.volume.mount.empty() ? place.drive + L"\\" : place.volume.mount;
    return refused + L"所在的“" + mount + L"”与这个盘是同一个分区" + lost;
  }
  return std::nullopt;
}

}  // namespace morvane
