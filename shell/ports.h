// The narrow interfaces through which the window's handlers reach the platform: the window's own
// controls (WindowPort) and the operating system (SystemPort). The Windows build binds them to real
// controls and Win32 calls; the tests bind them to fakes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shell/controls.h"

namespace morvane {

enum class MsgIcon { None, Stop, Exclamation, Information };
enum class MsgButtons { Ok, OkCancel };
enum class MsgAnswer { Ok, Cancel };

// Window states as the resize event reports them.
enum class WindowState : int { Normal = 0, Minimised = 1, Maximised = 2 };

enum class TaskbarState : int { NoProgress = 0, Indeterminate = 1 };

class WindowPort {
 public:
  virtual ~WindowPort() = default;

  // Setting the text of Text1 raises its change event (synchronously, when the text changes).
  virtual std::wstring Text(Ctl c) const = 0;
  virtual void SetText(Ctl c, const std::wstring& text) = 0;
  virtual void Enable(Ctl c, bool enabled) = 0;
  virtual bool IsEnabled(Ctl c) const = 0;
  virtual bool IsChecked(Ctl c) const = 0;

  // The combo boxes, used as ordered string lists.
  virtual void ListClear(Ctl c) = 0;
  virtual void ListAdd(Ctl c, const std::wstring& item) = 0;
  virtual int ListCount(Ctl c) const = 0;
  virtual std::wstring ListItem(Ctl c, int index) const = 0;
  virtual int ListIndex(Ctl c) const = 0;  // -1 when nothing is selected
  virtual void SetListIndex(Ctl c, int index) = 0;
  virtual void SetTooltip(Ctl c, const std::wstring& text) = 0;

  virtual void SetTimerEnabled(bool enabled) = 0;
  virtual bool TimerEnabled() const = 0;
  virtual void SetTimerInterval(int ms) = 0;
  virtual int TimerInterval() const = 0;

  virtual void SetBarValue(int32_t value) = 0;
  virtual int32_t BarValue() const = 0;

  // Taskbar button progress; harmless no-ops when there is no taskbar object.
  virtual bool CreateTaskbarList() = 0;
  virtual void SetTaskbarState(TaskbarState state) = 0;
  virtual void SetTaskbarValue(uint64_t completed, uint64_t total) = 0;

  virtual void SetIcon(int sizePx) = 0;

  virtual MsgAnswer Message(const std::wstring& text, const std::wstring& caption, MsgIcon icon,
                            MsgButtons buttons) = 0;

  // The keyboard focus: the control that holds it (none when the window itself or nothing does);
  // giving it to a control, or with none to the window itself, while the window is the active one.
  virtual std::optional<Ctl> Focus() const = 0;
  virtual void SetFocus(std::optional<Ctl> c) = 0;

  // While `reason` is not empty, the system is told that the session must not end now, and why.
  virtual void BlockSessionEnd(const std::wstring& reason) = 0;

  // The pickers; the empty string on cancel.
  virtual std::wstring PickImageFile() = 0;
  virtual std::wstring PickFolder(const std::wstring& prompt) = 0;

  // Window geometry in twips. Setting the state or the size raises nested resize events.
  virtual WindowState State() const = 0;
  virtual void SetStateNormal() = 0;
  virtual void SetSize(int32_t widthTwips, int32_t heightTwips) = 0;
  virtual int32_t WindowHeight() const = 0;
  virtual int32_t ClientHeight() const = 0;

  // Closes the window once the handler running now has returned (used when a close request had to
  // wait for a running command).
  virtual void Close() = 0;
};

// What a directory look-up that does not see hidden or system entries finds.
enum class Entry { None, File, Folder };

enum class WriteResult { Ok, NotAnsi, Failed };

struct RunResult {
  bool started = false;    // false: the command line could not be started at all
  uint32_t exitCode = 0;   // valid when started
};

// The volume a path lies on: the folder it is mounted at, as the path reaches it ("S:\",
// "C:\mnt\data\"), and its volume name ("\\?\Volume{...}\"); empty where unknown.
struct VolumeAt {
  std::wstring mount;
  std::wstring name;
};

// The machines (PE file header codes) whose programs the system starts: its own, and x86 where
// 32-bit programs run. A native machine of 0 is one the program does not know.
struct Machines {
  uint16_t native = 0;
  bool x86 = false;
};

enum class DriveType : int { Unknown = 0, NoRootDir = 1, Removable = 2, Fixed = 3, Remote = 4, CdRom = 5, RamDisk = 6 };

class SystemPort {
 public:
  virtual ~SystemPort() = default;

  virtual std::wstring Env(const std::wstring& name) const = 0;
  virtual Entry Lookup(const std::wstring& path) const = 0;
  // A folder of the program's own (the Windows folder's Temp): hidden and system folders count.
  virtual bool FolderExists(const std::wstring& path) const = 0;
  // A file of the program's own (its tools): hidden and system files count, a folder does not.
  virtual bool FileExists(const std::wstring& path) const = 0;
  // The full path of a path as typed (drive-relative, relative, "..", "/"); unchanged on failure.
  virtual std::wstring FullPath(const std::wstring& path) const = 0;
  virtual bool CreateFolder(const std::wstring& path) = 0;
  // Writes the text in the code page the command interpreter reads batch files with (the OEM code
  // page: on an English system 437, not the ANSI 1252); NotAnsi when a character has no form there.
  virtual WriteResult WriteBatchText(const std::wstring& path, const std::wstring& text) = 0;
  // Reads a whole file, shared with a writer; created empty when missing if createIfMissing.
  virtual std::optional<std::string> ReadFile(const std::wstring& path, bool createIfMissing) = 0;
  virtual bool DeleteFile(const std::wstring& path) = 0;

  // Runs a command line hidden and waits for it while the window keeps handling its messages.
  virtual RunResult RunAndWait(const std::wstring& commandLine) = 0;
  // Ends the processes of the running RunAndWait (the command and all it started), so that the
  // wait returns at once with a non-zero exit code. Nothing happens when no command is awaited.
  virtual void CancelWait() = 0;
  // Starts the apply batch hidden without waiting; the process is kept so its end can be seen.
  virtual bool StartWatched(const std::wstring& commandLine) = 0;
  virtual bool WatchedEnded() = 0;  // also true when nothing is watched
  virtual void ForgetWatched() = 0;
  virtual bool StartHidden(const std::wstring& commandLine) = 0;

  virtual std::wstring ShortPath(const std::wstring& path) = 0;
  // Whether a batch file can carry the text (see WriteBatchText).
  virtual bool BatchCanCarry(const std::wstring& text) const = 0;
  virtual std::wstring FromAnsi(const std::string& bytes) const = 0;
  virtual std::wstring HalfWidth(const std::wstring& text) const = 0;
  virtual int16_t SysVer() const = 0;

  virtual std::wstring ProgramFolder() const = 0;  // as the platform reports it, no trailing "\"
  virtual std::wstring ProgramFile() const = 0;    // full path of the running program
  virtual std::wstring CommandInterpreter() const = 0;

  // The drive-root list ("C:\<NUL>D:\<NUL>...<NUL>"), read whole whatever its length.
  virtual std::wstring DriveRoots() const = 0;
  virtual DriveType TypeOfDrive(const std::wstring& drive) const = 0;
  virtual std::wstring BusType(const std::wstring& drive) const = 0;

  // Where a file really lies. What a drive name stands for: "\??\T:\images" for a letter made
  // for a folder (subst, DefineDosDevice), a device name for a volume; empty when unknown.
  virtual std::wstring DosDeviceOf(const std::wstring& drive) const = 0;
  virtual VolumeAt VolumeOf(const std::wstring& path) const = 0;
  // The files that back a virtual disk's volume (a VHD, VHDX or ISO that Windows attached), by
  // their paths; none for any other volume, or where the system cannot tell.
  virtual std::vector<std::wstring> BackingFiles(const std::wstring& volumeName) const = 0;
  virtual Machines SystemMachines() const = 0;
};

}  // namespace morvane
