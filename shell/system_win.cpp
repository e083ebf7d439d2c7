#include "shell/system_win.h"

#include <utility>
#include <vector>

#include "shell/bus_type_win.h"
#include "shell/shell_wait_win.h"

namespace morvane {
namespace {

// Paths of MAX_PATH or more need the "\\?\" form for the file calls.
std::wstring ForFileCall(const std::wstring& path) {
  if (path.size() < MAX_PATH || path.rfind(L"\\\\", 0) == 0) return path;
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  return path;
}

std::wstring ModulePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::wstring();
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

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
  const DWORD size = ::GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (size == 0) return std::wstring();
  std::wstring value(size, L'\0');
  const DWORD n = ::GetEnvironmentVariableW(name.c_str(), &value[0], size);
  value.resize(n < size ? n : 0);
  return value;
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

std::wstring WinSystem::FullPath(const std::wstring& path) const {
  if (path.empty()) return path;
  std::vector<wchar_t> buffer(MAX_PATH);
  DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  }
  if (n == 0 || n >= buffer.size()) return path;
  return std::wstring(buffer.data(), n);
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
  std::vector<wchar_t> buffer(MAX_PATH);
  DWORD n = ::GetShortPathNameW(full.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = ::GetShortPathNameW(full.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  }
  if (n == 0 || n >= buffer.size()) return path;
  std::wstring shortPath(buffer.data(), n);
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
  // Asked for the size first: 26 roots take 105 characters.
  const DWORD size = ::GetLogicalDriveStringsW(0, nullptr);
  if (size == 0) return std::wstring();
  std::wstring roots(size + 1, L'\0');
  const DWORD n = ::GetLogicalDriveStringsW(size + 1, &roots[0]);
  if (n == 0 || n > size) return std::wstring();
  roots.resize(n + 1);  // keep the closing NUL
  return roots;
}

DriveType WinSystem::TypeOfDrive(const std::wstring& drive) const {
  std::wstring root = drive;
  if (root.empty() || root.back() != L'\\') root += L'\\';
  return static_cast<DriveType>(::GetDriveTypeW(root.c_str()));
}

std::wstring WinSystem::BusType(const std::wstring& drive) const { return GetBusType(drive); }

}  // namespace morvane
