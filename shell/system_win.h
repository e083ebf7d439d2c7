#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "shell/ports.h"
#include "shell/handles_win.h"
#include "shell/shell_wait_win.h"

namespace morvane {

class WinSystem : public SystemPort {
 public:
  std::wstring Env(const std::wstring& name) const override;
  Entry Lookup(const std::wstring& path) const override;
  bool FolderExists(const std::wstring& path) const override;
  bool FileExists(const std::wstring& path) const override;
  std::wstring FullPath(const std::wstring& path) const override;
  bool CreateFolder(const std::wstring& path) override;
  WriteResult WriteBatchText(const std::wstring& path, const std::wstring& text) override;
  std::optional<std::string> ReadFile(const std::wstring& path, bool createIfMissing) override;
  bool DeleteFile(const std::wstring& path) override;

  RunResult RunAndWait(const std::wstring& commandLine) override;
  void CancelWait() override;
  bool StartWatched(const std::wstring& commandLine) override;
  bool WatchedEnded() override;
  void ForgetWatched() override;
  bool StartHidden(const std::wstring& commandLine) override;

  std::wstring ShortPath(const std::wstring& path) override;
  bool BatchCanCarry(const std::wstring& text) const override;
  std::wstring FromAnsi(const std::string& bytes) const override;
  std::wstring HalfWidth(const std::wstring& text) const override;
  int16_t SysVer() const override;

  std::wstring ProgramFolder() const override;
  std::wstring ProgramFile() const override;
  std::wstring CommandInterpreter() const override;

  std::wstring DriveRoots() const override;
  DriveType TypeOfDrive(const std::wstring& drive) const override;
  std::wstring BusType(const std::wstring& drive) const override;
  std::wstring DosDeviceOf(const std::wstring& drive) const override;
  VolumeAt VolumeOf(const std::wstring& path) const override;
  std::vector<std::wstring> BackingFiles(const std::wstring& volumeName) const override;
  Machines SystemMachines() const override;

  // For the message loop: the watched process while its end has not been reported yet.
  HANDLE WatchedHandleToWaitOn() const;
  void MarkWatchedReported() { watchedReported_ = true; }

 private:
  UniqueProcess watched_;
  WaitCancel* runningWait_ = nullptr;  // the innermost RunAndWait's, while it waits
  bool watchedReported_ = false;
};

// The text a Windows call writes into a buffer of the caller's: `fill(buffer, size)` answers the
// characters written (less than `size`), the size it needs (at least `size`), or 0 on failure. The
// buffer grows until the text fits; empty on failure.
template <typename Fill>
std::wstring FilledText(Fill fill) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD n = fill(&buffer[0], static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::wstring();
    if (n < buffer.size()) return buffer.substr(0, n);
    buffer.assign(std::max<size_t>(n + 1, buffer.size() * 2), L'\0');
  }
  return std::wstring();
}

// The full path of the running program.
std::wstring ModulePath();

// The text in the OEM code page, exact: nothing when a character has no form there.
std::optional<std::string> ToOemExact(const std::wstring& text);

}  // namespace morvane
