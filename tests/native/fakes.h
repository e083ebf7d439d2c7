// Fakes of the two platform ports: a window whose controls are plain values and a system whose
// files, drives and processes are maps. Every call that reaches outside is written to one log, so
// a test can check what a flow did and in which order.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/form1.h"
#include "catalogue/image_tool.h"
#include "install/command_lines.h"
#include "shell/drive_names.h"
#include "shell/ports.h"

namespace morvane::testing {

using Lines = std::vector<std::wstring>;

std::string Narrow(const std::wstring& text);  // UTF-8, for messages and the log

// The value stored under `key`, or `fallback`.
template <typename Map, typename Key, typename Value>
Value Find(const Map& map, const Key& key, Value fallback) {
  const auto it = map.find(key);
  return it == map.end() ? fallback : it->second;
}

// Orders paths as Windows compares them: "\Temp" and "\temp" are one name.
struct FoldLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](wchar_t x, wchar_t y) { return AsciiLower(x) < AsciiLower(y); });
  }
};
template <typename T>
using PathMap = std::map<std::wstring, T, FoldLess>;

// The files of a running apply and of an image query, under the fakes' Windows folder.
inline const std::wstring kApplyXml = L"C:\\Windows\\temp\\apply.xml";
inline const std::wstring kApplyBat = L"C:\\Windows\\temp\\apply.bat";
inline const std::wstring kApplyErr = L"C:\\Windows\\temp\\apply.err";
inline const std::wstring kInfoXml = L"C:\\Windows\\temp\\WIMInfo.xml";
inline const std::wstring kInfoBat = L"C:\\Windows\\temp\\WIMInfo.bat";

// The log line of setting the caption of `c` (Status, Command4) to `text`.
inline std::wstring Shown(Ctl c, const std::wstring& text) {
  return L"ctl" + std::to_wstring(static_cast<int>(c)) + L"=" + text;
}

// The log of a fake; a rig points both fakes at one.
struct FakeLog {
  Lines own;
  Lines* log = &own;
  bool Note(const std::wstring& line) {  // true: the noted call succeeds
    log->push_back(line);
    return true;
  }
};

class FakeWindow : public WindowPort, public FakeLog {
 public:
  Form1* form = nullptr;  // receives the events that setting a control raises

  struct Box {
    std::wstring text, caption;
    MsgIcon icon;
    MsgButtons buttons;
    bool operator==(const Box& o) const {
      return std::tie(text, caption, icon, buttons) == std::tie(o.text, o.caption, o.icon, o.buttons);
    }
  };
  std::vector<Box> boxes;
  std::deque<MsgAnswer> answers;  // answers for OK/Cancel boxes; OK when empty
  std::deque<std::wstring> pickedFiles, pickedFolders;  // empty: the picker is cancelled

  std::map<Ctl, std::wstring> texts{
      {Ctl::Text2, L"C:"}, {Ctl::Text3, L"C:"}, {Ctl::Command4, L"开始安装"}, {Ctl::Status, L"状态"}};
  std::map<Ctl, bool> enabled;
  std::map<Ctl, bool> checked{{Ctl::Check1, true}, {Ctl::Check2, true}};
  std::map<Ctl, Lines> lists;
  std::map<Ctl, int> selected;
  std::map<Ctl, std::wstring> tooltips;
  std::vector<Ctl> disabledOrder, enabledOrder;
  bool timerEnabled = false;
  int timerInterval = 100;
  int32_t bar = 0;
  std::optional<Ctl> focus;
  std::wstring sessionBlock;  // the reason given while the session must not end
  WindowState state = WindowState::Normal;
  int32_t frame = 450, height = 450 + 3360;  // in twips
  bool closed = false;

  std::wstring Text(Ctl c) const override { return Find(texts, c, std::wstring()); }
  void SetText(Ctl c, const std::wstring& text) override {
    const bool changed = Text(c) != text;
    texts[c] = text;
    if (c == Ctl::Status || c == Ctl::Command4) Note(Shown(c, text));
    if (c == Ctl::Text1 && changed && form) form->OnText1Change();
  }
  void Enable(Ctl c, bool on) override {
    enabled[c] = on;
    (on ? enabledOrder : disabledOrder).push_back(c);
  }
  bool IsEnabled(Ctl c) const override { return Find(enabled, c, true); }
  bool IsChecked(Ctl c) const override { return Find(checked, c, false); }
  void ListClear(Ctl c) override {
    lists[c].clear();
    selected[c] = -1;
  }
  void ListAdd(Ctl c, const std::wstring& item) override { lists[c].push_back(item); }
  int ListCount(Ctl c) const override { return static_cast<int>(Find(lists, c, Lines()).size()); }
  std::wstring ListItem(Ctl c, int index) const override {
    return index >= 0 && index < ListCount(c) ? lists.at(c)[static_cast<size_t>(index)] : L"";
  }
  int ListIndex(Ctl c) const override { return Find(selected, c, -1); }
  void SetListIndex(Ctl c, int index) override { selected[c] = index < ListCount(c) ? index : -1; }
  void SetTooltip(Ctl c, const std::wstring& text) override { tooltips[c] = text; }
  void SetTimerEnabled(bool on) override {
    timerEnabled = on;
    Note(on ? L"timer on" : L"timer off");
  }
  bool TimerEnabled() const override { return timerEnabled; }
  void SetTimerInterval(int ms) override { timerInterval = ms; }
  int TimerInterval() const override { return timerInterval; }
  void SetBarValue(int32_t value) override { bar = value; }
  int32_t BarValue() const override { return bar; }
  bool CreateTaskbarList() override { return Note(L"taskbar create"); }
  void SetTaskbarState(TaskbarState s) override {
    Note(L"taskbar state " + std::to_wstring(static_cast<int>(s)));
  }
  void SetTaskbarValue(uint64_t done, uint64_t total) override {
    Note(L"taskbar value " + std::to_wstring(done) + L"/" + std::to_wstring(total));
  }
  void SetIcon(int) override {}
  MsgAnswer Message(const std::wstring& text, const std::wstring& caption, MsgIcon icon,
                    MsgButtons buttons) override {
    boxes.push_back(Box{text, caption, icon, buttons});
    Note(L"box " + caption + L" " + text);
    return buttons == MsgButtons::Ok ? MsgAnswer::Ok : Take(answers, MsgAnswer::Ok);
  }
  std::optional<Ctl> Focus() const override { return focus; }
  void SetFocus(std::optional<Ctl> c) override { focus = c; }
  void BlockSessionEnd(const std::wstring& reason) override { sessionBlock = reason; }
  std::wstring PickImageFile() override { return Take(pickedFiles, std::wstring()); }
  std::wstring PickFolder(const std::wstring&) override { return Take(pickedFolders, std::wstring()); }
  WindowState State() const override { return state; }
  void SetStateNormal() override { state = WindowState::Normal; }
  void SetSize(int32_t, int32_t heightTwips) override {  // a resize the window is told of, as WM_SIZE
    height = heightTwips;
    if (form) form->OnResize();
  }
  int32_t WindowHeight() const override { return height; }
  int32_t ClientHeight() const override { return height - frame; }
  void SetState(WindowState s) {  // the user's maximise, minimise or restore
    state = s;
    if (form) form->OnResize();
  }
  void Close() override { closed = true; }

  void Type(const std::wstring& text) { SetText(Ctl::Text1, text); }

 private:
  template <typename T>
  static T Take(std::deque<T>& queue, const T& fallback) {  // the next answer, or `fallback`
    const T next = queue.empty() ? fallback : queue.front();
    if (!queue.empty()) queue.pop_front();
    return next;
  }
};

class FakeSystem : public SystemPort, public FakeLog {
 public:
  // Paths are compared in any letter case. The program's own writes (batch files, the output it
  // creates) fail unless their folder is in `entries` or `hiddenFolders`, or is a drive's root.
  // What the look-up sees (hidden entries: leave out).
  PathMap<Entry> entries{{L"C:\\Windows", Entry::Folder}, {L"C:\\Windows\\Temp", Entry::Folder}};
  std::set<std::wstring, FoldLess> hiddenFolders;  // folders that only FolderExists sees
  // The answers of FullPath and ShortPath; any other path is its own.
  std::map<std::wstring, std::wstring> fullPaths, shortPaths;
  PathMap<int> failingReads;                       // reads of a file that fail before one succeeds
  PathMap<std::string> files;                      // file contents; a batch file is stored as UTF-8
  std::set<std::wstring, FoldLess> unwritable;  // files and folders whose writing or creation fails
  // The running Windows on C:, the program on D:, images on E:, the target T:, the preinstallation X:.
  std::map<std::wstring, DriveType> drives{{L"C:", DriveType::Fixed}, {L"D:", DriveType::Fixed},
                                          {L"E:", DriveType::Fixed}, {L"T:", DriveType::Fixed},
                                          {L"X:", DriveType::Fixed}};

  // Runs of RunAndWait; the default finds nothing to do and ends with exit code 0.
  std::function<RunResult(const std::wstring&)> onRun;
  bool waitCancelled = false;  // CancelWait came during the running RunAndWait
  bool startWatchedFails = false;
  bool watchedEnded = true;  // also when nothing is watched

  int16_t sysVer = 10;
  std::wstring programFolder = L"D:\\Tools";
  Machines machines{0x8664, true};
  // Where files really lie. What a letter stands for ("\??\T:\images"); a device otherwise. The
  // volume of a path: the longest mount folder in `mounts` it lies under ("C:\mnt\" or a second
  // letter's "S:\"), else its own letter's; none at all without `volumeQueries`. The files behind a
  // virtual disk's volume.
  std::map<std::wstring, std::wstring> dosDevices;
  PathMap<std::wstring> mounts;
  bool volumeQueries = true;
  std::map<std::wstring, Lines> backingFiles;

  void AddFile(const std::wstring& path, const std::string& bytes = std::string()) {
    files[path] = bytes;
    entries[path] = Entry::File;
  }
  void AddFolder(const std::wstring& path) { entries[path] = Entry::Folder; }
  bool HasFile(const std::wstring& path) const { return files.count(path) != 0; }
  // A file's bytes one by one as characters: the batch lines the tests read back are ASCII.
  std::wstring FileText(const std::wstring& path) const { return FromAnsi(Find(files, path, std::string())); }

  std::wstring Env(const std::wstring& n) const override { return n == L"windir" ? L"C:\\Windows" : L""; }
  Entry Lookup(const std::wstring& path) const override { return Find(entries, path, Entry::None); }
  bool FolderExists(const std::wstring& path) const override {
    return Lookup(path) == Entry::Folder || hiddenFolders.count(path) != 0;
  }
  bool FileExists(const std::wstring& path) const override { return HasFile(path) || Lookup(path) == Entry::File; }
  std::wstring FullPath(const std::wstring& path) const override { return Find(fullPaths, path, path); }
  bool CreateFolder(const std::wstring& path) override {
    Note(L"mkdir " + path);
    if (unwritable.count(path) == 0) AddFolder(path);
    return unwritable.count(path) == 0;
  }
  WriteResult WriteBatchText(const std::wstring& path, const std::wstring& text) override {
    if (!BatchCanCarry(text)) return WriteResult::NotAnsi;
    if (!CanWriteIn(path) || unwritable.count(path) != 0) return WriteResult::Failed;
    Note(L"write " + path + L" " + text);
    AddFile(path, Narrow(text));
    return WriteResult::Ok;
  }
  std::optional<std::string> ReadFile(const std::wstring& path, bool createIfMissing) override {
    if (failingReads[path] > 0) {
      --failingReads[path];
      return std::nullopt;
    }
    if (!HasFile(path) && createIfMissing && CanWriteIn(path)) AddFile(path);
    return HasFile(path) ? std::optional(files[path]) : std::nullopt;
  }
  bool DeleteFile(const std::wstring& path) override {
    if (files.erase(path) == 0) return false;
    entries.erase(path);
    return Note(L"delete " + path);
  }
  // As the real one, bcdboot fails for a Windows folder that is not there.
  RunResult RunAndWait(const std::wstring& commandLine) override {
    Note(L"run " + commandLine);
    waitCancelled = false;
    RunResult result = onRun ? onRun(commandLine) : RunResult{true, 0};
    const size_t bcdboot = commandLine.find(L"bcdboot.exe");
    if (bcdboot != std::wstring::npos && result.started) {
      const size_t from = commandLine.find(L' ', bcdboot) + 1;
      if (Lookup(commandLine.substr(from, commandLine.find(L" /s ") - from)) == Entry::None) result.exitCode = 1;
    }
    return waitCancelled ? RunResult{true, 1223} : result;
  }
  void CancelWait() override {
    Note(L"cancel wait");
    waitCancelled = true;
  }
  bool StartWatched(const std::wstring& commandLine) override {
    Note(L"start " + commandLine);
    watchedEnded = startWatchedFails;
    return !startWatchedFails;
  }
  bool WatchedEnded() override { return watchedEnded; }
  void ForgetWatched() override { watchedEnded = true; }
  bool StartHidden(const std::wstring& commandLine) override { return Note(L"spawn " + commandLine); }
  std::wstring ShortPath(const std::wstring& path) override { return Find(shortPaths, path, path); }
  bool BatchCanCarry(const std::wstring& text) const override {  // the Thai block stands for "cannot"
    return std::none_of(text.begin(), text.end(), [](wchar_t ch) { return ch >= 0x0E00 && ch <= 0x0E7F; });
  }
  std::wstring FromAnsi(const std::string& bytes) const override {  // byte by byte: the tests' are ASCII
    const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
    return std::wstring(begin, begin + bytes.size());
  }
  std::wstring HalfWidth(const std::wstring& text) const override {  // U+FF01..U+FF5E, U+3000
    std::wstring out = text;
    for (wchar_t& ch : out) {
      ch = static_cast<wchar_t>(ch == 0x3000 ? L' ' : ch >= 0xFF01 && ch <= 0xFF5E ? ch - 0xFEE0 : ch);
    }
    return out;
  }
  int16_t SysVer() const override { return sysVer; }
  std::wstring ProgramFolder() const override { return programFolder; }
  std::wstring ProgramFile() const override { return programFolder + L"\\MorvaneSetup.exe"; }
  std::wstring CommandInterpreter() const override { return L"C:\\Windows\\System32\\cmd.exe"; }
  std::wstring DriveRoots() const override {
    std::wstring roots;
    for (const auto& drive : drives) roots += drive.first + L"\\" + L'\0';
    return roots + L'\0';
  }
  DriveType TypeOfDrive(const std::wstring& drive) const override {  // "C:" or "C:\"
    return drive.size() > 3 ? DriveType::NoRootDir : Find(drives, drive.substr(0, 2), DriveType::NoRootDir);
  }
  std::wstring BusType(const std::wstring&) const override { return std::wstring(); }
  std::wstring DosDeviceOf(const std::wstring& drive) const override {
    return Find(dosDevices, drive, L"\\Device\\Volume" + drive.substr(0, 1));
  }
  VolumeAt VolumeOf(const std::wstring& path) const override {
    VolumeAt at;
    for (const auto& [mount, name] : mounts) {
      const std::wstring head = path.substr(0, mount.size());
      const bool under = !FoldLess()(head, mount) && !FoldLess()(mount, head);
      if (under && mount.size() > at.mount.size()) at = {mount, name};
    }
    if (at.mount.empty() && IsDriveName(DriveOfPath(path))) {
      at = {DriveOfPath(path) + L"\\", L"\\\\?\\Volume{" + std::wstring(1, AsciiUpper(path[0])) + L"}\\"};
    }
    return volumeQueries ? at : VolumeAt{};
  }
  std::vector<std::wstring> BackingFiles(const std::wstring& volume) const override {
    return Find(backingFiles, volume, Lines());
  }
  Machines SystemMachines() const override { return machines; }

 private:
  bool CanWriteIn(const std::wstring& path) const {  // the folder of `path` exists
    const std::wstring folder = path.substr(0, std::min(path.size(), path.find_last_of(L'\\')));
    return IsDriveName(folder) ? TypeOfDrive(folder) != DriveType::NoRootDir : FolderExists(folder);
  }
};

// The tool's XML description of images named "Image 1", "Image 2", ... with these major versions;
// an empty version leaves the MAJOR element out.
std::wstring WimXml(const Lines& majors);

// UTF-16LE with a byte-order mark, as the image tool writes its XML.
std::string Utf16Le(const std::wstring& text);

// A program file's first bytes as far as its machine: "MZ", the offset of the PE header, "PE\0\0".
std::string PeFile(uint16_t machine);

// A form wired to the two fakes.
struct Rig {
  Lines journal;  // the log lines of both fakes, in the order they were written
  FakeWindow ui;
  FakeSystem sys;
  Form1 form{ui, sys};
  Rig() {
    ui.form = &form;
    ui.log = sys.log = &journal;
  }
  // Puts x64 programs into the program's folder, wimlib-imagex.exe into Bin and Bin64, bcdboot.exe
  // and bootsect.exe into Bin, then loads the form.
  void Load() {
    AddTools();
    form.OnLoad();
    loaded_ = true;
  }
  void AddTools() {
    for (auto* tool : {L"\\Bin\\wimlib-imagex.exe", L"\\Bin64\\wimlib-imagex.exe", L"\\Bin\\bcdboot.exe",
                       L"\\Bin\\bootsect.exe"}) {
      sys.AddFile(sys.programFolder + tool, PeFile(0x8664));
    }
  }
  // Names an existing image file the way a user types it (loaded first, if the form is not yet); the
  // tool answers the query with `xml`.
  void ChooseImage(const std::wstring& path, const std::wstring& xml) {
    if (!loaded_) Load();
    if (sys.Lookup(path) == Entry::None) sys.AddFile(path);
    const auto saved = sys.onRun;
    sys.onRun = [this, xml](const std::wstring&) {
      sys.AddFile(kInfoXml, Utf16Le(xml));
      return RunResult{true, 0};
    };
    ui.Type(path);
    sys.onRun = saved;
  }
  // Loaded, an image file on E: whose images carry these major versions, the image at `index`
  // chosen, target T:, boot drive C: (as it starts), the log empty; then Start pressed and confirmed.
  // The image's Windows folder is on T: already (the fakes apply nothing).
  void StartApply(const Lines& majors = {L"10"}, int index = 0, bool press = true) {
    sys.AddFolder(L"T:\\Windows");
    ChooseImage(L"E:\\sources\\install.wim", WimXml(majors));
    ui.SetListIndex(Ctl::Combo0, index);
    ui.SetText(Ctl::Text3, L"T:");
    journal.clear();
    if (press) form.OnCommand4();
  }
  // The running apply's output says it is done and the watch has seen every stage finish; with
  // `tick`, the log and the boxes emptied and the next tick, the completion, given.
  void FinishStages(bool tick = false) {
    sys.AddFile(ApplyOutputPath(sys.Env(L"windir")), "Done applying WIM image.\r\n");
    for (int stage = 0; stage < 3; ++stage) form.OnTimer();
    if (!tick) return;
    journal.clear();
    ui.boxes.clear();
    form.OnTimer();
  }
  Lines Logged(const std::wstring& prefix) const {  // the log lines that begin with `prefix`
    Lines lines;
    std::copy_if(journal.begin(), journal.end(), std::back_inserter(lines),
                 [&](const std::wstring& line) { return line.rfind(prefix, 0) == 0; });
    return lines;
  }
  // The window at rest: the idle captions, bar 0, no timer, inputs enabled, closable and the session
  // free to end without a box.
  void ExpectIdle();
  // There is exactly `count` boxes, and the last one (if any) is an error that mentions `text`.
  void ExpectError(size_t count, const std::wstring& text);

 private:
  bool loaded_ = false;
};

}  // namespace morvane::testing
