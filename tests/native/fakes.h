// Fakes of the two platform ports: a window whose controls are plain values and a system whose
// files, drives and processes are maps. Every call that reaches outside is written to `log`, so
// a test can check what a flow did and in which order.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/form1.h"
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

// The log of one fake; `journal`, when set, receives every line as well.
struct FakeLog {
  std::vector<std::wstring> log;
  std::vector<std::wstring>* journal = nullptr;
  void Note(const std::wstring& line) {
    log.push_back(line);
    if (journal) journal->push_back(line);
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
  std::function<void(const Box&)> onBox;

  std::deque<std::wstring> pickedFiles, pickedFolders;

  std::map<Ctl, std::wstring> texts{
      {Ctl::Text2, L"C:"}, {Ctl::Text3, L"C:"}, {Ctl::Command4, L"开始安装"}, {Ctl::Status, L"状态"}};
  std::map<Ctl, bool> enabled;
  std::map<Ctl, bool> checked{{Ctl::Check1, true}, {Ctl::Check2, true}};
  std::map<Ctl, std::vector<std::wstring>> lists;
  std::map<Ctl, int> selected;
  std::map<Ctl, std::wstring> tooltips;
  std::vector<Ctl> disabledOrder, enabledOrder;

  bool timerEnabled = false;
  int timerInterval = 100;
  int32_t bar = 0;
  std::vector<std::wstring> taskbarCalls;
  int iconSize = 0;
  std::optional<Ctl> focus;
  std::wstring sessionBlock;  // the reason given while the session must not end

  WindowState state = WindowState::Normal;
  int32_t frameHeight = 450;  // window height minus client height, in twips
  int32_t width = 8085, height = 450 + 3360;
  bool closed = false;

  std::wstring Text(Ctl c) const override { return Find(texts, c, std::wstring()); }
  void SetText(Ctl c, const std::wstring& text) override;
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
  std::wstring ListItem(Ctl c, int index) const override;
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
  bool CreateTaskbarList() override {
    taskbarCalls.push_back(L"create");
    return true;
  }
  void SetTaskbarState(TaskbarState s) override {
    taskbarCalls.push_back(L"state " + std::to_wstring(static_cast<int>(s)));
    Note(L"taskbar state " + std::to_wstring(static_cast<int>(s)));
  }
  void SetTaskbarValue(uint64_t completed, uint64_t total) override {
    taskbarCalls.push_back(L"value " + std::to_wstring(completed) + L"/" + std::to_wstring(total));
  }
  void SetIcon(int sizePx) override { iconSize = sizePx; }
  MsgAnswer Message(const std::wstring& text, const std::wstring& caption, MsgIcon icon,
                    MsgButtons buttons) override;
  std::optional<Ctl> Focus() const override { return focus; }
  void SetFocus(std::optional<Ctl> c) override { focus = c; }
  void BlockSessionEnd(const std::wstring& reason) override { sessionBlock = reason; }
  std::wstring PickImageFile() override { return Take(pickedFiles); }
  std::wstring PickFolder(const std::wstring&) override { return Take(pickedFolders); }
  WindowState State() const override { return state; }
  void SetStateNormal() override { SetState(WindowState::Normal); }
  void SetSize(int32_t widthTwips, int32_t heightTwips) override {
    width = widthTwips;
    height = heightTwips;
    if (form) form->OnResize();
  }
  int32_t WindowHeight() const override { return height; }
  int32_t ClientHeight() const override { return height - frameHeight; }
  void Close() override { closed = true; }

  // Test helpers: the user's own actions.
  void Type(const std::wstring& text) { SetText(Ctl::Text1, text); }
  void SetState(WindowState s) {  // maximise, minimise or restore
    state = s;
    if (form) form->OnResize();
  }

 private:
  static std::wstring Take(std::deque<std::wstring>& picks);
};

class FakeSystem : public SystemPort, public FakeLog {
 public:
  FakeSystem();

  std::map<std::wstring, std::wstring> env{{L"windir", L"C:\\Windows"}};
  // Paths are compared in any letter case. The program's own writes (batch files, the output it
  // creates) fail unless their folder is in `entries` or `hiddenFolders`, or is a drive's root.
  PathMap<Entry> entries;                          // what the look-up sees (hidden entries: leave out)
  std::set<std::wstring, FoldLess> hiddenFolders;  // folders that only FolderExists sees
  std::map<std::wstring, std::wstring> fullPaths;  // FullPath's answers; other paths are full already
  PathMap<int> failingReads;                       // reads of a file that fail before one succeeds
  PathMap<std::string> files;                      // file contents; a batch file is stored as UTF-8
  // An English system: batch files in OEM 437, where "é" is 0x82 (in the ANSI 1252 it is 0xE9)
  // and "õ", which 1252 has, has no form at all; other letters outside ASCII neither.
  bool englishCodePages = false;
  std::map<std::wstring, std::wstring> shortPaths;
  bool folderCreationFails = false;
  std::set<std::wstring, FoldLess> unwritable;  // paths whose writing fails

  // Runs of RunAndWait; the default finds nothing to do and ends with exit code 0.
  std::function<RunResult(const std::wstring&)> onRun;
  bool waitCancelled = false;  // CancelWait came during the running RunAndWait
  bool startWatchedFails = false;
  bool watchedEnded = false;
  bool watching = false;

  int16_t sysVer = 10;
  std::wstring programFolder = L"D:\\Tools";
  std::wstring programFile = L"D:\\Tools\\MorvaneSetup.exe";
  std::wstring driveRoots;  // built by SetDrives
  std::map<std::wstring, DriveType> driveTypes;

  void SetDrives(const std::vector<std::pair<std::wstring, DriveType>>& drives);
  void AddFile(const std::wstring& path, const std::string& bytes = std::string()) {
    files[path] = bytes;
    entries[path] = Entry::File;
  }
  void AddFolder(const std::wstring& path) { entries[path] = Entry::Folder; }
  bool HasFile(const std::wstring& path) const { return files.count(path) != 0; }
  bool CanWriteIn(const std::wstring& path) const;  // the folder of `path` exists
  // A file's bytes one by one as characters: the batch lines the tests read back are ASCII.
  std::wstring FileText(const std::wstring& path) const { return FromAnsi(Find(files, path, std::string())); }

  std::wstring Env(const std::wstring& name) const override { return Find(env, name, std::wstring()); }
  Entry Lookup(const std::wstring& path) const override { return Find(entries, path, Entry::None); }
  bool FolderExists(const std::wstring& path) const override {
    return Lookup(path) == Entry::Folder || hiddenFolders.count(path) != 0;
  }
  std::wstring FullPath(const std::wstring& path) const override { return Find(fullPaths, path, path); }
  bool CreateFolder(const std::wstring& path) override {
    Note(L"mkdir " + path);
    if (!folderCreationFails) AddFolder(path);
    return !folderCreationFails;
  }
  WriteResult WriteBatchText(const std::wstring& path, const std::wstring& text) override;
  std::optional<std::string> ReadFile(const std::wstring& path, bool createIfMissing) override;
  bool DeleteFile(const std::wstring& path) override;
  RunResult RunAndWait(const std::wstring& commandLine) override;
  void CancelWait() override {
    Note(L"cancel wait");
    waitCancelled = true;
  }
  bool StartWatched(const std::wstring& commandLine) override;
  bool WatchedEnded() override { return !watching || watchedEnded; }
  void ForgetWatched() override { watching = false; }
  bool StartHidden(const std::wstring& commandLine) override {
    Note(L"spawn " + commandLine);
    return true;
  }
  std::wstring ShortPath(const std::wstring& path) override { return Find(shortPaths, path, path); }
  bool BatchCanCarry(const std::wstring& text) const override;  // the Thai block stands for "cannot"
  std::wstring FromAnsi(const std::string& bytes) const override {  // the outputs of the tests are ASCII
    const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
    return std::wstring(begin, begin + bytes.size());
  }
  std::wstring HalfWidth(const std::wstring& text) const override;  // U+FF01..U+FF5E, U+3000
  int16_t SysVer() const override { return sysVer; }
  std::wstring ProgramFolder() const override { return programFolder; }
  std::wstring ProgramFile() const override { return programFile; }
  std::wstring CommandInterpreter() const override { return L"C:\\Windows\\System32\\cmd.exe"; }
  std::wstring DriveRoots() const override { return driveRoots; }
  DriveType TypeOfDrive(const std::wstring& drive) const override;
  std::wstring BusType(const std::wstring&) const override { return std::wstring(); }
};

void PrintTo(const FakeWindow::Box& box, std::ostream* os);  // for failure messages

// A form wired to the two fakes, loaded as the program loads it.
struct Rig {
  std::vector<std::wstring> journal;  // the log lines of both fakes, in the order they were written
  FakeWindow ui;
  FakeSystem sys;
  Form1 form{ui, sys};
  std::vector<std::wstring> toolFolders{L"\\Bin", L"\\Bin64"};  // where the program ships its image tool
  Rig();
  // Puts wimlib-imagex.exe into `toolFolders` under the program's folder, then loads the form.
  void Load();
  void PlaceTools();

  // Names an existing image file the way a user types it; the tool answers the query with `xml`.
  void ChooseImage(const std::wstring& path, const std::wstring& xml);
  // An image file on E: whose images carry these major versions, the image at `index` chosen,
  // target T:, boot drive C:; the logs start empty.
  void Prepare(const Lines& majors = {L"10"}, int index = 0);
  // To a running apply: the form loaded if it is not yet, Prepare, then Start pressed and confirmed.
  void StartApply(const Lines& majors = {L"10"}, int index = 0);
  // The running apply's output says it is done and the watch has seen every stage finish: the
  // next tick is the completion.
  void FinishStages();
  // FinishStages, logs and boxes emptied, then that tick.
  void Complete();
  void ClearLogs();
  Lines Runs() const;    // the RunAndWait lines of the system's log
  Lines Spawns() const;  // the StartHidden lines
  // The window at rest: the idle captions, bar 0, no timer, inputs enabled, closable without a box.
  void ExpectIdle();
  // There is exactly `count` boxes, and the last one is an error that mentions `text`.
  void ExpectError(size_t count, const std::wstring& text);

 private:
  bool loaded_ = false;
};

// The log line of setting the caption of `c` (Status, Command4) to `text`.
std::wstring Shown(Ctl c, const std::wstring& text);
// The lines of a log that begin with `prefix` ("run ", "spawn "), in their order.
std::vector<std::wstring> Starting(const std::vector<std::wstring>& log, const std::wstring& prefix);

// The tool's XML description of images named "Image 1", "Image 2", ... with these major versions;
// an empty version leaves the MAJOR element out.
std::wstring WimXml(const std::vector<std::wstring>& majors);

// UTF-16LE with a byte-order mark, as the image tool writes its XML.
std::string Utf16Le(const std::wstring& text);

}  // namespace morvane::testing
