#include "shell/system_win.h"

#include <utility>
#include <vector>

#include "shell/bus_type_win.h"
#include "shell/late_calls_win.h"
#include "shell/shell_wait_win.h"

namespace morvane {
namespace {

// Paths of MAX_PATH or more need the "\\?\" form for the file calls.
std::wstring ForFileCall(const std::wstring& path) {
  if (path.size() < MAX_PATH || path.rfind(L"\\\\", 0) == 0) return path;
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  return path;
}

// The entries of a storage dependency answer (STORAGE_DEPENDENCY_INFO, version 2), declared here:
// the program is built against the Windows XP headers.
struct DependencyEntry {
  DWORD dependencyTypeFlags;
  ULONG providerSpecificFlags;
  ULONG deviceId;
  GUID vendorId;
  ULONG ancestorLevel;
  PWSTR dependencyDeviceName;
  PWSTR hostVolumeName;
  PWSTR dependentVolumeName;
  PWSTR dependentVolumeRelativePath;
};
struct DependencyInfo {
  DWORD version;
  ULONG numberEntries;
  DependencyEntry entries[1];
};
constexpr DWORD kHostVolumes = 1;  // GET_STORAGE_DEPENDENCY_FLAG_HOST_VOLUMES

// The first of the names a volume is mounted at ("T:\"), else its volume name.
std::wstring MountOf(const std::wstring& volumeName) {
  const std::wstring names = FilledText([&](wchar_t* buffer, DWORD size) -> DWORD {
    DWORD needed = 0;
    if (::GetVolumePathNamesForVolumeNameW(volumeName.c_str(), buffer, size, &needed)) return size - 1;
    return ::GetLastError() == ERROR_MORE_DATA ? needed : 0;
  });
  return names.c_str()[0] ? std::wstring(names.c_str()) : volumeName;
}

}  // namespace

std::wstring ModulePath() {
  return FilledText([](wchar_t* buffer, DWORD size) { return ::GetModuleFileNameW(nullptr, buffer, size); });
}

std::optional<std::string> ToOemExact(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  // cmd.exe reads a batch file in its console's code page, which for the hidden console of a batch
  // is the OEM one. The UTF-8 code page takes every character and refuses the "used default"
  // out-parameter. It is a system code page only from Windows 10 on, so the flag
  // (WC_ERR_INVALID_CHARS, Vista on) is never passed to a system that lacks it.
  constexpr DWORD kErrInvalidChars = 0x80;
  const UINT oemcp = ::GetOEMCP();
  const bool utf8 = oemcp == CP_UTF8;
  const DWORD flags = utf8 ? kErrInvalidChars : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  const int size = ::WideCharToMultiByte(oemcp, flags, text.data(), length, nullptr, 0, nullptr,
                                         utf8 ? nullptr : &usedDefault);
  if (size <= 0 || usedDefault) return std::nullopt;
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(oemcp, flags, text.data(), length, &out[0], size, nullptr, utf8 ? nullptr : &usedDefault);
  if (usedDefault) return std::nullopt;
  return out;
}

std::wstring WinSystem::Env(const std::wstring& name) const {
  return FilledText([&](wchar_t* buffer, DWORD size) { return ::GetEnvironmentVariableW(name.c_str(), buffer, size); });
}

Entry WinSystem::Lookup(const std::wstring& path) const {
  // Attributes, not a directory search: a search would take "*" and "?" as wildcards.
  if (path.empty() || path.find_first_of(L"*?") != std::wstring::npos) return Entry::None;
  const DWORD attributes = ::GetFileAttributesW(ForFileCall(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Entry::None;
  if (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) return Entry::None;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Entry::Folder : Entry::File;
}

bool WinSystem::FolderExists(const std::wstring& path) const {
  const DWORD attributes = ::GetFileAttributesW(ForFileCall(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WinSystem::FileExists(const std::wstring& path) const {
  const DWORD attributes = ::GetFileAttributesW(ForFileCall(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring WinSystem::FullPath(const std::wstring& path) const {
  if (path.empty()) return path;
  const std::wstring full = FilledText(
      [&](wchar_t* buffer, DWORD size) { return ::GetFullPathNameW(path.c_str(), size, buffer, nullptr); });
  return full.empty() ? path : full;
}

bool WinSystem::CreateFolder(const std::wstring& path) {
  return ::CreateDirectoryW(ForFileCall(path).c_str(), nullptr) != FALSE;
}

WriteResult WinSystem::WriteBatchText(const std::wstring& path, const std::wstring& text) {
  const auto bytes = ToOemExact(text);
  if (!bytes) return WriteResult::NotAnsi;
  UniqueFile file(::CreateFileW(ForFileCall(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return WriteResult::Failed;
  DWORD written = 0;
  if (!bytes->empty() && (!::WriteFile(file.get(), bytes->data(), static_cast<DWORD>(bytes->size()), &written,
                                       nullptr) ||
                          written != bytes->size())) {
    return WriteResult::Failed;
  }
  return WriteResult::Ok;
}

std::optional<std::string> WinSystem::ReadFile(const std::wstring& path, bool createIfMissing) {
  // Shared for writing and deleting: the apply tool still has the file open while it is read.
  UniqueFile file(::CreateFileW(ForFileCall(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                createIfMissing ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 || size.QuadPart > (256LL << 20)) {
    return std::nullopt;
  }
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), &bytes[done], static_cast<DWORD>(bytes.size() - done), &got, nullptr)) {
      return std::nullopt;
    }
    if (got == 0) break;  // the file shrank meanwhile
    done += got;
  }
  bytes.resize(done);
  return bytes;
}

bool WinSystem::DeleteFile(const std::wstring& path) { return ::DeleteFileW(ForFileCall(path).c_str()) != FALSE; }

RunResult WinSystem::RunAndWait(const std::wstring& commandLine) {
  WaitCancel cancel;
  WaitCancel* const outer = std::exchange(runningWait_, &cancel);
  const RunResult result = ShellWait(commandLine, &cancel);
  runningWait_ = outer;
  return result;
}

void WinSystem::CancelWait() {
  if (runningWait_) runningWait_->Cancel();
}

bool WinSystem::StartWatched(const std::wstring& commandLine) {
  UniqueProcess started = StartHiddenProcess(commandLine);
  if (!started.valid()) return false;
  watched_ = std::move(started);
  watchedReported_ = false;
  return true;
}

bool WinSystem::WatchedEnded() {
  return !watched_.valid() || ::WaitForSingleObject(watched_.process(), 0) == WAIT_OBJECT_0;
}

void WinSystem::ForgetWatched() {
  watched_.reset();
  watchedReported_ = false;
}

HANDLE WinSystem::WatchedHandleToWaitOn() const {
  return watched_.valid() && !watchedReported_ ? watched_.process() : nullptr;
}

bool WinSystem::StartHidden(const std::wstring& commandLine) {
  return StartHiddenProcess(commandLine).valid();
}

std::wstring WinSystem::ShortPath(const std::wstring& path) {
  // When no short form is produced (8.3 names switched off, a missing path) or it does not fit,
  // the long path itself is used: the batch lines quote it.
  const std::wstring full = ForFileCall(path);
  std::wstring shortPath = FilledText(
      [&](wchar_t* buffer, DWORD size) { return ::GetShortPathNameW(full.c_str(), buffer, size); });
  if (shortPath.empty()) return path;
  if (shortPath.rfind(L"\\\\?\\", 0) == 0 && full.rfind(L"\\\\?\\", 0) == 0 && path.rfind(L"\\\\?\\", 0) != 0) {
    shortPath.erase(0, 4);
  }
  return shortPath;
}

bool WinSystem::BatchCanCarry(const std::wstring& text) const { return ToOemExact(text).has_value(); }

std::wstring WinSystem::FromAnsi(const std::string& bytes) const {
  if (bytes.empty()) return std::wstring();
  const int length = static_cast<int>(bytes.size());
  const int size = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring text(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, &text[0], size);
  return text;
}

std::wstring WinSystem::HalfWidth(const std::wstring& text) const {
  if (text.empty()) return text;
  const int length = static_cast<int>(text.size());
  const int size = ::LCMapStringW(LOCALE_SYSTEM_DEFAULT, LCMAP_HALFWIDTH, text.data(), length, nullptr, 0);
  if (size <= 0) return text;
  std::wstring mapped(static_cast<size_t>(size), L'\0');
  if (::LCMapStringW(LOCALE_SYSTEM_DEFAULT, LCMAP_HALFWIDTH, text.data(), length, &mapped[0], size) <= 0) {
    return text;
  }
  return mapped;
}

int16_t WinSystem::SysVer() const {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)  // deprecated, but it is the call that reports the old numbering
#endif
  ::GetVersionExA(&info);
  return static_cast<int16_t>(info.dwMajorVersion);
}

std::wstring WinSystem::ProgramFile() const { return ModulePath(); }

std::wstring WinSystem::ProgramFolder() const {
  const std::wstring file = ModulePath();
  const size_t slash = file.find_last_of(L'\\');
  if (slash == std::wstring::npos) return std::wstring();
  std::wstring folder = file.substr(0, slash);
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';  // a drive root keeps its backslash
  return folder;
}

std::wstring WinSystem::CommandInterpreter() const {
  const std::wstring comspec = Env(L"ComSpec");
  if (!comspec.empty()) return comspec;
  return Env(L"windir") + L"\\System32\\cmd.exe";
}

std::wstring WinSystem::DriveRoots() const {
  const std::wstring roots = FilledText([](wchar_t* buffer, DWORD size) { return ::GetLogicalDriveStringsW(size, buffer); });
  return roots.empty() ? roots : roots + L'\0';  // the closing NUL
}

DriveType WinSystem::TypeOfDrive(const std::wstring& drive) const {
  std::wstring root = drive;
  if (root.empty() || root.back() != L'\\') root += L'\\';
  return static_cast<DriveType>(::GetDriveTypeW(root.c_str()));
}

std::wstring WinSystem::BusType(const std::wstring& drive) const { return GetBusType(drive); }

std::wstring WinSystem::DosDeviceOf(const std::wstring& drive) const {
  const std::wstring targets =
      FilledText([&](wchar_t* buffer, DWORD size) -> DWORD {
        const DWORD n = ::QueryDosDeviceW(drive.c_str(), buffer, size);
        return n != 0 ? n : ::GetLastError() == ERROR_INSUFFICIENT_BUFFER ? size * 2 : 0;
      });
  return targets.c_str();  // the first of the list: the current one
}

VolumeAt WinSystem::VolumeOf(const std::wstring& path) const {
  VolumeAt volume;
  const std::wstring full = ForFileCall(path);
  std::vector<wchar_t> mount(full.size() + 2);
  if (path.empty() || !::GetVolumePathNameW(full.c_str(), mount.data(), static_cast<DWORD>(mount.size()))) {
    return volume;
  }
  volume.mount = mount.data();
  wchar_t name[64];
  if (::GetVolumeNameForVolumeMountPointW(volume.mount.c_str(), name, 64)) volume.name = name;
  if (volume.mount.rfind(L"\\\\?\\", 0) == 0 && path.rfind(L"\\\\?\\", 0) != 0) volume.mount.erase(0, 4);
  return volume;
}

std::vector<std::wstring> WinSystem::BackingFiles(const std::wstring& volumeName) const {
  const auto query = Late().getStorageDependencyInformation;
  std::wstring device = volumeName;
  if (!device.empty() && device.back() == L'\\') device.pop_back();
  if (!query || device.empty()) return {};
  UniqueFile volume(::CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  if (!volume) return {};
  std::vector<DependencyInfo> answer(4);
  DWORD status = ERROR_INSUFFICIENT_BUFFER;
  for (int attempt = 0; attempt < 3 && status == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    answer[0].version = 2;
    ULONG used = 0;
    const ULONG size = static_cast<ULONG>(answer.size() * sizeof(DependencyInfo));
    status = query(volume.get(), kHostVolumes, size, answer.data(), &used);
    if (status == ERROR_INSUFFICIENT_BUFFER) answer.resize(used / sizeof(DependencyInfo) + 1);
  }
  std::vector<std::wstring> files;
  if (status != ERROR_SUCCESS || answer[0].version != 2) return files;
  for (ULONG i = 0; i < answer[0].numberEntries; ++i) {
    const DependencyEntry& entry = answer[0].entries[i];
    if (!entry.hostVolumeName || !entry.dependentVolumeRelativePath) continue;
    std::wstring file = MountOf(entry.hostVolumeName);
    const std::wstring relative = entry.dependentVolumeRelativePath;
    if (!file.empty() && file.back() == L'\\' && !relative.empty() && relative[0] == L'\\') file.pop_back();
    if (!file.empty() && file.back() != L'\\' && !relative.empty() && relative[0] != L'\\') file += L'\\';
    files.push_back(file + relative);
  }
  return files;
}

Machines WinSystem::SystemMachines() const {
  Machines machines;
  USHORT process = 0, native = 0;
  const auto isWow64Process2 = Late().isWow64Process2;
  if (isWow64Process2 && isWow64Process2(::GetCurrentProcess(), &process, &native)) {
    machines.native = native;
  } else {
    SYSTEM_INFO info = {};
    ::GetNativeSystemInfo(&info);
    switch (info.wProcessorArchitecture) {
      case PROCESSOR_ARCHITECTURE_INTEL: machines.native = 0x014C; break;
      case PROCESSOR_ARCHITECTURE_AMD64: machines.native = 0x8664; break;
      case PROCESSOR_ARCHITECTURE_IA64: machines.native = 0x0200; break;
      case 12: machines.native = 0xAA64; break;  // PROCESSOR_ARCHITECTURE_ARM64
      default: break;
    }
  }
#ifdef _WIN64
  // Where a 64-bit system runs 32-bit programs, its Windows folder has SysWOW64 (the same rule that
  // picks the image tool's folder); a 64-bit Windows PE usually has none.
  machines.x86 = machines.native == 0x014C || FolderExists(Env(L"windir") + L"\\SysWOW64");
#else
  machines.x86 = true;  // this program is one
#endif
  return machines;
}

}  // namespace morvane
