// The window and the system as fakes of the two ports, with a Form1 on them. As strict as Windows
// where the program depends on it: paths compare in any letter case, the program's writes into a
// folder that does not exist fail, a tool exists only at its exact path, and bcdboot fails for a
// Windows folder that is not there. Runs, writes, boxes and taskbar calls go to one journal.
#pragma once

#include <gmock/gmock.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "app/form1.h"
#include "shell/drive_names.h"

namespace morvane {

using std::wstring;
using Lines = std::vector<wstring>;
using ::testing::HasSubstr;
constexpr auto npos = wstring::npos;
inline const wstring kApplyXml = L"C:\\Windows\\temp\\apply.xml", kApplyErr = L"C:\\Windows\\temp\\apply.err";

struct FoldLess {  // "\Temp" and "\temp" are one name
  bool operator()(const wstring& a, const wstring& b) const { return Folded(a) < Folded(b); }
  static wstring Folded(wstring text) { return std::transform(text.begin(), text.end(), text.begin(), AsciiLower), text; }
};
template <typename T>
using PathMap = std::map<wstring, T, FoldLess>;

template <typename Map, typename Key, typename Value>
Value Find(const Map& map, const Key& key, Value fallback) { return map.count(key) ? map.at(key) : fallback; }

// UTF-16LE behind a byte-order mark, as the image tool writes its XML.
inline std::string Utf16Le(const wstring& text) {
  std::string out = "\xFF\xFE";
  for (wchar_t ch : text) out += {static_cast<char>(ch & 0xFF), static_cast<char>((ch >> 8) & 0xFF)};
  return out;
}

// The tool's description of images named "Image", of these major versions.
inline wstring WimXml(const Lines& majors) {
  wstring xml;
  for (const wstring& major : majors) xml += L"<IMAGE INDEX><NAME>Image</NAME><MAJOR>" + major + L"</MAJOR></IMAGE>";
  return L"<WIM>" + xml + L"</WIM>";
}

// A program file as far as its machine: "MZ", the PE header's offset (0x80) at 0x3C, "PE\0\0".
inline std::string PeFile(uint16_t machine) {
  return "MZ" + std::string(0x3A, '\0') + "\x80" + std::string(0x43, '\0') + std::string("PE\0\0", 4) +
         static_cast<char>(machine & 0xFF) + static_cast<char>(machine >> 8);
}

struct Rig : WindowPort, SystemPort {
  Form1 form{*this, *this};
  Lines journal;

  // The window.
  std::map<Ctl, wstring> texts{
      {Ctl::Text2, L"C:"}, {Ctl::Text3, L"T:"}, {Ctl::Command4, kStartCaption}, {Ctl::Status, kStatusIdle}};
  std::map<Ctl, bool> enabled, checked{{Ctl::Check1, true}, {Ctl::Check2, true}};
  std::map<Ctl, Lines> lists;
  std::map<Ctl, int> selected;
  std::vector<MsgAnswer> answers;  // of the OK/Cancel boxes in turn; OK when none is left
  size_t answered = 0;
  Lines boxes;  // "caption text"
  std::optional<Ctl> focus;
  wstring sessionBlock;
  bool timer = false, closed = false;
  int32_t interval = 100, bar = 0, frame = 450, height = 0;
  WindowState state = WindowState::Normal;

  // The system: the running Windows on C:, the program on D:, images on E:, the target T:, and X:,
  // the preinstallation drive. A hidden file is in `files` only, a hidden folder in `hidden` only.
  PathMap<Entry> entries{{L"C:\\Windows", Entry::Folder}, {L"C:\\Windows\\Temp", Entry::Folder}};  // look-ups
  PathMap<std::string> files;
  std::set<wstring, FoldLess> hidden, unwritable;  // unwritable: writing or making it fails
  std::map<wstring, wstring> fullPaths, shortPaths;  // any other path is its own
  PathMap<DriveType> drives{{L"C:", DriveType::Fixed}, {L"D:", DriveType::Fixed},
      {L"E:", DriveType::Fixed}, {L"T:", DriveType::Fixed}, {L"X:", DriveType::Fixed}};
  wstring toolXml = WimXml({L"10", L"10"});  // what the image tool answers every query with
  std::function<RunResult(const wstring&)> onRun;  // every run; none: exit code 0
  bool cancelled = false, watchedEnded = true, volumeQueries = true;
  int16_t sysVer = 10;
  wstring programFolder = L"D:\\Tools";
  Machines machines{0x8664, true};
  // What a letter stands for ("\??\T:\images"; a device otherwise); the volume of a letter (its
  // own, named by it, unless given here; none without volume queries); a virtual disk's files.
  PathMap<wstring> dosDevices, volumes;
  std::map<wstring, Lines> backingFiles;

  Rig() { AddTools(); }
  void AddTools() {  // x64 ones: the image tool in Bin and Bin64, bcdboot and bootsect in Bin
    for (auto* tool : {L"Bin\\wimlib-imagex.exe", L"Bin64\\wimlib-imagex.exe", L"Bin\\bcdboot.exe", L"Bin\\bootsect.exe"})
      AddFile(programFolder + L"\\" + tool, PeFile(0x8664));
  }
  // Loaded; E:\install.wim typed, its images of these major versions listed and the one at `index`
  // chosen; the image's Windows folder on T: already (the fakes apply nothing); the journal empty.
  void Choose(const Lines& majors = {L"10"}, int index = 0) {
    form.OnLoad();
    AddFile(L"E:\\install.wim");
    toolXml = WimXml(majors);
    SetText(Ctl::Text1, L"E:\\install.wim");
    SetListIndex(Ctl::Combo0, index);
    entries[L"T:\\Windows"] = Entry::Folder;
    journal.clear();
  }
  // The apply's output is final (with the done line, or without it): the watch runs to the end.
  void Finish(bool done = true) {
    files[kApplyXml] += done ? "\r\nDone applying WIM image.\r\n" : "";
    watchedEnded = true;
    form.OnWatchedEnded();
  }
  Lines Logged(const wstring& prefix) const {
    Lines lines;
    for (const wstring& line : journal) if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    return lines;
  }
  // At rest: the idle captions, no timer, bar 0, every input enabled, free to close and to end the session.
  bool Idle() {
    const bool inputs = std::all_of(std::begin(kRunInputs), std::end(kRunInputs), [&](Ctl c) { return IsEnabled(c); });
    return inputs && !form.running() && !timer && !bar && Text(Ctl::Status) == kStatusIdle && sessionBlock.empty() &&
           Text(Ctl::Command4) == kStartCaption && form.OnQueryClose() && form.OnQueryEndSession();
  }
  void AddFile(const wstring& path, const std::string& bytes = "") { files[path] = bytes, entries[path] = Entry::File; }
  bool CanWriteIn(const wstring& path) const {  // the folder of `path` exists
    const wstring folder = path.substr(0, std::min(path.size(), path.find_last_of(L'\\')));
    return folder.size() == 2 ? drives.count(folder) != 0 : FolderExists(folder);
  }

  wstring Text(Ctl c) const override { return Find(texts, c, wstring()); }
  void SetText(Ctl c, const wstring& text) override {  // a change of Text1 raises its event, as EN_CHANGE does
    if (std::exchange(texts[c], text) != text && c == Ctl::Text1) form.OnText1Change();
  }
  void Enable(Ctl c, bool on) override { enabled[c] = on; }
  bool IsEnabled(Ctl c) const override { return Find(enabled, c, true); }
  bool IsChecked(Ctl c) const override { return Find(checked, c, false); }
  void ListClear(Ctl c) override { lists[c].clear(), selected[c] = -1; }
  void ListAdd(Ctl c, const wstring& item) override { lists[c].push_back(item); }
  int ListCount(Ctl c) const override { return static_cast<int>(Find(lists, c, Lines()).size()); }
  wstring ListItem(Ctl c, int i) const override { return i >= 0 && i < ListCount(c) ? lists.at(c)[i] : L""; }
  int ListIndex(Ctl c) const override { return Find(selected, c, -1); }
  void SetListIndex(Ctl c, int i) override { selected[c] = i < ListCount(c) ? i : -1; }
  void SetTimerEnabled(bool on) override { timer = on; }  bool TimerEnabled() const override { return timer; }
  void SetTimerInterval(int ms) override { interval = ms; }  int TimerInterval() const override { return interval; }
  void SetBarValue(int32_t value) override { bar = value; }  int32_t BarValue() const override { return bar; }
  bool CreateTaskbarList() override { return journal.push_back(L"taskbar create"), true; }
  void SetTaskbarState(TaskbarState) override { journal.push_back(L"taskbar state"); }
  void SetTaskbarValue(uint64_t, uint64_t) override { journal.push_back(L"taskbar value"); }
  MsgAnswer Message(const wstring& text, const wstring& caption, MsgIcon, MsgButtons buttons) override {
    journal.push_back(L"box " + boxes.emplace_back(caption + L" " + text));
    return buttons == MsgButtons::Ok || answered == answers.size() ? MsgAnswer::Ok : answers[answered++];
  }
  std::optional<Ctl> Focus() const override { return focus; }
  void SetFocus(std::optional<Ctl> c) override { focus = c; }
  void BlockSessionEnd(const wstring& reason) override { sessionBlock = reason; }
  WindowState State() const override { return state; }  void SetStateNormal() override { state = WindowState::Normal; }
  void SetSize(int32_t, int32_t h) override { height = h, form.OnResize(); }  // WM_SIZE follows
  int32_t WindowHeight() const override { return height; }
  int32_t ClientHeight() const override { return height - frame; }
  void Close() override { closed = true; }
  void SetTooltip(Ctl, const wstring&) override {}  void SetIcon(int) override {}
  wstring PickImageFile() override { return L""; }  // cancelled
  wstring PickFolder(const wstring&) override { return L""; }

  wstring Env(const wstring& name) const override { return name == L"windir" ? L"C:\\Windows" : L""; }
  Entry Lookup(const wstring& path) const override { return Find(entries, path, Entry::None); }
  bool FolderExists(const wstring& path) const override { return Lookup(path) == Entry::Folder || hidden.count(path); }
  bool FileExists(const wstring& path) const override { return files.count(path) || Lookup(path) == Entry::File; }
  wstring FullPath(const wstring& path) const override { return Find(fullPaths, path, path); }
  bool CreateFolder(const wstring& path) override {
    return !unwritable.count(path) && (entries[path] = Entry::Folder) == Entry::Folder;
  }
  WriteResult WriteBatchText(const wstring& path, const wstring& text) override {
    if (!BatchCanCarry(text)) return WriteResult::NotAnsi;
    if (!CanWriteIn(path) || unwritable.count(path)) return WriteResult::Failed;
    journal.push_back(L"write " + path + L" " + text);
    return AddFile(path, std::string(text.begin(), text.end())), WriteResult::Ok;  // the tests' lines are ASCII
  }
  std::optional<std::string> ReadFile(const wstring& path, bool createIfMissing) override {
    if (!files.count(path) && createIfMissing && CanWriteIn(path)) AddFile(path);
    return files.count(path) ? std::optional(files[path]) : std::nullopt;
  }
  bool DeleteFile(const wstring& path) override { return entries.erase(path), files.erase(path) != 0; }
  RunResult RunAndWait(const wstring& line) override {
    journal.push_back(L"run " + line);
    cancelled = false;
    if (line.find(L"WIMInfo.bat") != npos) AddFile(L"C:\\Windows\\temp\\WIMInfo.xml", Utf16Le(toolXml));
    RunResult result = onRun ? onRun(line) : RunResult{true, 0};
    const size_t at = line.find(L"bcdboot.exe "), from = at + 12;  // the Windows folder, up to " /s "
    if (at != npos && Lookup(line.substr(from, line.find(L" /s ") - from)) == Entry::None) result.exitCode = 1;
    return cancelled ? RunResult{true, 1223} : result;
  }
  void CancelWait() override { journal.push_back(L"cancel wait"), cancelled = true; }
  bool StartWatched(const wstring&) override { return watchedEnded = false, true; }
  bool WatchedEnded() override { return watchedEnded; }  void ForgetWatched() override { watchedEnded = true; }
  bool StartHidden(const wstring& line) override { return journal.push_back(L"spawn " + line), true; }
  wstring ShortPath(const wstring& path) override { return Find(shortPaths, path, path); }
  bool BatchCanCarry(const wstring& text) const override {  // the Thai block stands for "cannot"
    return std::none_of(text.begin(), text.end(), [](wchar_t ch) { return ch >= 0x0E00 && ch <= 0x0E7F; });
  }
  wstring FromAnsi(const std::string& bytes) const override { return wstring(bytes.begin(), bytes.end()); }
  wstring HalfWidth(const wstring& text) const override { return text; }
  int16_t SysVer() const override { return sysVer; } wstring ProgramFolder() const override { return programFolder; }
  wstring ProgramFile() const override { return programFolder + L"\\MorvaneSetup.exe"; }
  wstring CommandInterpreter() const override { return L"C:\\Windows\\System32\\cmd.exe"; }
  wstring DriveRoots() const override {
    wstring roots;
    for (const auto& drive : drives) roots += drive.first + L"\\" + L'\0';
    return roots + L'\0';
  }
  DriveType TypeOfDrive(const wstring& drive) const override {  // "C:" or "C:\"
    return drive.size() > 3 ? DriveType::NoRootDir : Find(drives, drive.substr(0, 2), DriveType::NoRootDir);
  }
  wstring BusType(const wstring&) const override { return L""; }
  wstring DosDeviceOf(const wstring& drive) const override { return Find(dosDevices, drive, L"\\Device\\" + drive); }
  VolumeAt VolumeOf(const wstring& path) const override {
    const wstring drive = path.size() > 1 && path[1] == L':' && volumeQueries ? path.substr(0, 2) : L"";
    return drive.empty() ? VolumeAt{} : VolumeAt{drive + L"\\", Find(volumes, drive, L"\\\\?\\Volume{" + drive + L"}\\")};
  }
  Lines BackingFiles(const wstring& volume) const override { return Find(backingFiles, volume, Lines()); }
  Machines SystemMachines() const override { return machines; }
};

}  // namespace morvane
