// The fault and bad-input matrix, through the real program under Wine: hostile image paths, files
// that are no image, a missing or misbehaving image tool, a missing or failing format.com, missing
// or failing boot tools, bad drive fields, an unwritable temporary folder, and a close request in
// every state. Each row is one program run; every row ends with the same checks: the program is
// idle (or has closed when it was asked to), closes at once when idle, has formatted nothing but
// the confirmed target, has run exactly the tools the row allows, has shown a success box only for
// a run that succeeded, and has left no batch file behind.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app_driver.h"
#include "run_support.h"

namespace morvane::wine {
namespace {

const wchar_t kCloseRefused[] = L"正在安装系统，无法关闭！";
const wchar_t kBadSource[] = L"Windows源无效！";
const wchar_t kBadTarget[] = L"“安装到...”一栏必须是一个盘符加冒号";
const wchar_t kBadBoot[] = L"“主引导：”一栏必须是一个盘符加冒号";
const char kEarlierQuery[] = "left by an earlier query";

enum class Prog { Main, NoTool, NoBoot, Spare, OnDriveP, Probe };
// Query: the image path is typed, the lists are checked. Start: then the fields and Start, which
// must be refused before anything runs. Cancel: the confirmation comes and is cancelled. Install:
// the confirmation is accepted and the run followed to its last box.
enum class Flow { Query, Start, Cancel, Install };
// Where the close request is made: nowhere, when idle after the query, while a query whose tool
// never ends waits, while
// the target is formatted, while the image is applied, while the last box is open, after the run.
enum class CloseAt { Never, Idle, Query, Format, Apply, EndBox, AfterRun };
// The small image, the image whose names hold 0x0A bytes in UTF-16 (names.wim), the three images
// with full-width names, the small image as version 5 (xp.wim, whose run writes the older boot
// code and no boot files), or nothing.
enum class Lists { Small, Names, Three, Version5, Empty };
// The run's last box: a refusal or error under "错误", the completion under "提示：" (a note on the
// boot files, the plain completion text, or the restart box, answered OK).
enum class End { None, Error, BootNote, Done, Restart };
// What the stand-ins log: nothing, the format alone, the whole run (format, boot tools), or the
// whole run and the restart.
enum class Calls { None, Format, Whole, WholeAndRestart };
enum class Tamper { None, TakeToolAway, TempBecomesFile, HideTemp };

struct Row {
  const char* name;
  Flow flow;
  std::wstring image = L"";  // under the matrix folder unless it names a drive; empty: the rig's small image
  bool asTyped = false;      // the image text is typed as it stands (relative to the program's folder)
  bool noQuery = false;      // no image query may run: a WIMInfo.xml left before stays as it was
  bool afterImage = false;   // typed after the small image was listed: its lists must go
  Lists lists = Lists::Small;
  End end = End::None;
  std::vector<std::wstring> endText = {};  // pieces the last box must hold
  Calls calls = Calls::None;
  std::map<std::wstring, std::wstring> env = {};
  Prog prog = Prog::Main;
  const wchar_t* windirVar = nullptr;  // a rig variable naming the Windows folder to run with
  std::wstring target = L"T:";
  std::wstring boot = L"B:";
  bool restart = true;  // the "restart" box stays ticked
  int answer = IDOK;    // the answer to the last box; IDCANCEL to the restart box cancels the restart
  CloseAt close = CloseAt::Never;
  bool sessionEnd = false;  // the close request is the session-end query of a log-off or shut-down
  Tamper tamper = Tamper::None;
  const wchar_t* earlyBox = nullptr;  // a warning expected before the main window
  const wchar_t* queryBox = nullptr;  // an error expected when the path is typed
  bool formatFails = false;  // the last box comes while the button still reads "开始安装"
  bool english = false;  // runs in the pass under an English locale (code pages 1252 and 437)

  // Setters for the rows below, each returning the row.
  Row& Image(std::wstring i) { return image = std::move(i), *this; }
  Row& Shows(Lists l) { return lists = l, *this; }
  Row& Ends(End e, std::vector<std::wstring> text = {}) { return end = e, endText = std::move(text), *this; }
  Row& Logs(Calls c) { return calls = c, *this; }
  Row& With(std::map<std::wstring, std::wstring> e) { return env = std::move(e), *this; }
  Row& From(Prog p) { return prog = p, *this; }
  Row& Windir(const wchar_t* var) { return windirVar = var, *this; }
  Row& Drives(std::wstring t, std::wstring b) { return target = std::move(t), boot = std::move(b), *this; }
  Row& Tampered(Tamper t) { return tamper = t, *this; }
  Row& Set(bool Row::*flag) { return this->*flag = true, *this; }
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

std::wstring DeepImage(const wchar_t* top = L"deep", int folders = 14,
                       const wchar_t* file = L"the image file with a long name.wim") {
  std::wstring path = top;
  for (int i = 1; i <= folders; ++i) path += L"\\folder number " + std::to_wstring(i) + L" with a long name";
  return path + L"\\" + file;
}

std::wstring ForwardSlashes(std::wstring path) {
  std::replace(path.begin(), path.end(), L'\\', L'/');
  return path;
}

Row PathRow(const char* name, const std::wstring& image) { return Row{name, Flow::Query}.Image(image); }

// A whole installation without the restart.
Row InstallRow(const char* name, const std::wstring& image = L"") {
  Row r = Row{name, Flow::Install}.Image(image).Ends(End::Done).Logs(Calls::Whole);
  r.restart = false;
  return r;
}

// Typed as it stands; a path that is no file is not queried.
Row TypedRow(const char* name, const std::wstring& image, Lists lists) {
  Row r = PathRow(name, image).Shows(lists).Set(&Row::asTyped);
  r.noQuery = lists == Lists::Empty;
  return r;
}

// Typed after the small image was listed: the lists empty, Start refuses the source.
Row BadFileRow(const char* name, const std::wstring& image) {
  return Row{name, Flow::Start}.Image(image).Shows(Lists::Empty).Ends(End::Error, {kBadSource}).Set(&Row::afterImage);
}

Row ApplyFailsRow(const char* name, std::map<std::wstring, std::wstring> env, const wchar_t* report = nullptr) {
  std::vector<std::wstring> text = {L"映像应用失败，安装没有完成！"};
  if (report) text.push_back(report);
  return Row{name, Flow::Install}.Ends(End::Error, text).Logs(Calls::Format).With(std::move(env));
}

Row BootRow(const char* name, std::map<std::wstring, std::wstring> env, Calls calls, std::vector<std::wstring> text) {
  text.insert(text.begin(), L"引导文件没有写好");
  return Row{name, Flow::Install}.Ends(End::BootNote, text).Logs(calls).With(std::move(env));
}

Row DriveRow(const char* name, const std::wstring& target, const std::wstring& boot, const std::wstring& text) {
  return Row{name, Flow::Start}.Drives(target, boot).Ends(End::Error, {text});
}

Row CloseRow(const char* name, CloseAt at, std::map<std::wstring, std::wstring> env = {}) {
  Row r = at == CloseAt::Idle || at == CloseAt::Query ? Row{name, Flow::Query} : InstallRow(name);
  r.close = at;
  return r.With(std::move(env));
}

std::vector<Row> Rows() {
  const std::wstring imageDrive = L"不能安装到[S:]盘：所选的映像文件就在这个盘上";
  std::vector<Row> rows = {
      // Image paths: the characters with a meaning of their own in a batch file, letters in and
      // outside the ANSI code page (936), paths far over 260 characters, the ESD form.
      PathRow("Path_Blanks", L"my images\\my small image.wim"),
      PathRow("Path_Ampersand", L"a&b\\x&y.wim"),
      PathRow("Path_Percent", L"%OS%\\%PATH%.wim"),
      PathRow("Path_Caret", L"^^\\a^b.wim"),
      PathRow("Path_Parentheses", L"(x86)\\a(1).wim"),
      PathRow("Path_Exclamation", L"!x!\\a!b!.wim"),
      PathRow("Path_ChineseInCodePage", L"中文目录\\系统映像.wim"),
      PathRow("Path_ThaiOutsideCodePage", L"ภาพ\\ภาพระบบ.wim"),
      PathRow("Path_Over260", DeepImage()),
      // So deep that even its short form is longer than 260 characters.
      PathRow("Path_ShortFormOver260", DeepImage(L"deeper", 32, L"image.wim")),
      PathRow("Path_ForwardSlashes", L"S:/matrix/a&b/x&y.wim"),
      PathRow("Path_ForwardSlashesOver260", ForwardSlashes(L"S:\\matrix\\" + DeepImage())),
      PathRow("Path_DriveRelativeWithDotDot", L"S:matrix\\a&b\\..\\(x86)\\a(1).wim"),
      TypedRow("Path_Relative", L"..\\Morvane Tools\\images\\small.wim", Lists::Small),
      // Device names are no files, nor is a wildcard: nothing is queried.
      TypedRow("Device_Con", L"CON", Lists::Empty),
      TypedRow("Device_NulWim", L"NUL.wim", Lists::Empty),
      TypedRow("Path_Wildcard", L"S:\\*.wim", Lists::Empty),
      PathRow("Path_ThreeImagesWithFullWidthNames", L"S:\\img & dir\\three.wim").Shows(Lists::Three),
      PathRow("Path_SolidEsd", L"small.esd"),
      InstallRow("Path_Percent_Install", L"%OS%\\%PATH%.wim"),
      InstallRow("Path_AllTogether_Install", L"all & %OS% ^ (x) !\\映像 ภาพ 100%.wim"),
      InstallRow("Path_Over260_Install", DeepImage()),

      // The image tool's standard output is in text mode on Windows (the wrapper does the same):
      // names whose UTF-16 code units hold a 0x0A byte, a description with a line feed and the
      // line feed wimlib 1.13 ends its XML with. The description is read from the file the tool
      // writes itself.
      PathRow("TextMode_NamesWithLineFeedBytes", L"names.wim").Shows(Lists::Names),
      InstallRow("TextMode_NamesWithLineFeedBytes_Install", L"names.wim").Shows(Lists::Names),

      // Files that are no usable image.
      BadFileRow("File_Empty", L"bad\\empty.wim"),
      BadFileRow("File_Truncated", L"bad\\truncated.wim"),
      BadFileRow("File_Text", L"bad\\text.wim"),
      BadFileRow("File_NoImages", L"bad\\no-images.wim"),
      BadFileRow("File_Folder", L"bad\\folder.wim"),
      BadFileRow("File_Hidden", L"S:\\.hidden.wim"),
      BadFileRow("File_Missing", L"S:\\none.wim"),

      // The image tool: absent, failing at once, dying half-way, writing garbage.
      Row{"Tool_Missing_Query", Flow::Query}.Shows(Lists::Empty).From(Prog::NoTool),
      Row{"Tool_Fails_Query", Flow::Query}.Shows(Lists::Empty).With({{L"MORVANE_TOOL_MODE", L"fail"}}),
      Row{"Tool_Dies_Query", Flow::Query}.Shows(Lists::Empty).With(
          {{L"MORVANE_TOOL_MODE", L"die"}, {L"MORVANE_TOOL_MODE_FOR", L"info"}}),
      Row{"Tool_Garbage_Query", Flow::Query}.Shows(Lists::Empty).With({{L"MORVANE_TOOL_MODE", L"garbage"}}),
      // The tools folder is Bin64 where the Windows folder has a SysWOW64 folder: the probe program has
      // the tool in Bin only.
      Row{"ToolsFolder_Bin", Flow::Query}.From(Prog::Probe).Windir(L"MORVANE_WINDIR_PLAIN"),
      Row{"ToolsFolder_Bin64WithSysWow64", Flow::Query}.From(Prog::Probe).Windir(L"MORVANE_WINDIR_WOW").Shows(
          Lists::Empty),
      ApplyFailsRow("Tool_Fails_Install", {{L"MORVANE_TOOL_MODE", L"fail"}, {L"MORVANE_TOOL_MODE_FOR", L"apply"}},
                    L"wimlib-imagex 报告：[ERROR] Can't open"),
      ApplyFailsRow("Tool_Dies_Install", {{L"MORVANE_TOOL_MODE", L"die"}}),
      ApplyFailsRow("Tool_Garbage_Install", {{L"MORVANE_TOOL_MODE", L"garbage"}, {L"MORVANE_TOOL_MODE_FOR", L"apply"}}),
      // The tool taken away between the query and Start: refused before the target is touched.
      Row{"Tool_GoneBeforeStart", Flow::Start}
          .Ends(End::Error, {L"找不到映像工具“C:\\Morvane Spare\\Bin64\\wimlib-imagex.exe”，无法安装。"})
          .From(Prog::Spare)
          .Tampered(Tamper::TakeToolAway),
      Row{"Format_Missing", Flow::Install}
          .Windir(L"MORVANE_WINDIR_NOFORMAT")
          .Ends(End::Error, {L"无法启动格式化程序“C:\\fakewin-noformat\\System32\\format.com”，磁盘[T:]没有被格式化"})
          .Set(&Row::formatFails),
      Row{"Format_Fails", Flow::Install}
          .With({{L"MORVANE_STANDIN_FAIL", L"format.com"}})
          .Ends(End::Error, {L"格式化磁盘[T:]失败（format.com 退出代码 1），安装已停止。"})
          .Logs(Calls::Format)
          .Set(&Row::formatFails),

      // The boot tools: absent from the program folder, or failing for the installed system. The
      // image is on the target by then: the last box says what failed, and no restart is started
      // though it is ticked.
      BootRow("BootTools_Missing", {}, Calls::Format,
              {L"无法启动 bcdboot.exe（T:\\Windows）", L"无法启动 bcdboot.exe（C:\\Windows，UEFI）",
               L"无法启动 bootsect.exe（/nt60 B:）"})
          .From(Prog::NoBoot),
      BootRow("Bcdboot_Fails", {{L"MORVANE_STANDIN_FAIL", L"bcdboot.exe"}}, Calls::Whole,
              {L"bcdboot.exe（T:\\Windows） 失败（退出代码 1）", L"bcdboot.exe（T:\\Windows，UEFI） 失败（退出代码 1）"}),
      BootRow("Bcdboot_FailsForTheInstalledSystem", {{L"MORVANE_STANDIN_BCDBOOT", L"fail=T:\\Windows"}}, Calls::Whole,
              {L"bcdboot.exe（T:\\Windows） 失败（退出代码 1）"}),
      // Failures that leave the installed system its boot files: the Windows 7 bcdboot, which has
      // no "/f"; another Windows folder bcdboot cannot use; bootsect failing. The run completes and
      // restarts as ticked.
      Row{"Bcdboot_Windows7", Flow::Install}.Ends(End::Restart).Logs(Calls::WholeAndRestart).With(
          {{L"MORVANE_STANDIN_BCDBOOT", L"win7"}}),
      Row{"Bcdboot_FailsForAnotherFolder", Flow::Install}.Ends(End::Restart).Logs(Calls::WholeAndRestart).With(
          {{L"MORVANE_STANDIN_BCDBOOT", L"fail=C:\\Windows"}}),
      Row{"Bootsect_Fails", Flow::Install}.Ends(End::Restart).Logs(Calls::WholeAndRestart).With(
          {{L"MORVANE_STANDIN_FAIL", L"bootsect.exe"}}),
      // An English system: batch files are read in OEM 437, not ANSI 1252; a Windows folder whose
      // name has "é" (0x82 in 437, 0xE9 in 1252) still gets its query and its installation.
      InstallRow("CodePage_English_WindowsFolderWithAccent").Windir(L"MORVANE_WINDIR_ACCENT").Set(&Row::english),

      // Drive fields.
      DriveRow("Target_Missing", L"Q:", L"B:", L"磁盘[Q:]不存在"),
      DriveRow("Target_PreinstallDrive", L"X:", L"B:", L"不能安装到[X:]盘：它是预安装环境的系统盘。"),
      DriveRow("Target_ImageDrive", L"S:", L"B:", imageDrive),
      // The same drive, named by the image path in other spellings; no backslash after the drive in
      // the relative one: the image is on S: all the same.
      DriveRow("Target_ImageDriveLowerCase", L"S:", L"B:", imageDrive).Image(L"s:\\small.wim"),
      DriveRow("Target_ImageDriveRelative", L"S:", L"B:", imageDrive).Image(L"S:small.wim"),
      DriveRow("Target_ImageDriveDevicePath", L"S:", L"B:", imageDrive).Image(L"\\\\.\\S:\\small.wim"),
      // A path with "?" is never looked up (wildcards): the lists stay empty and Start refuses.
      BadFileRow("Target_ImageDriveLongPathPrefix", L"\\\\?\\S:\\small.wim").Drives(L"S:", L"B:"),
      DriveRow("Target_WindowsDrive", L"C:", L"B:", L"不能安装到[C:]盘：当前正在运行的 Windows 就在这个盘上"),
      DriveRow("Target_ProgramDrive", L"P:", L"B:", L"不能安装到[P:]盘：本程序就在这个盘上").From(Prog::OnDriveP),
      DriveRow("Boot_Missing", L"T:", L"Q:", L"[Q:]"),

      // The temporary folder: a plain file stands where it belongs from the start, or takes its
      // place between the query and Start (refused before the format); a hidden and system Temp is
      // the program's Temp all the same: no warning, a whole run.
      [] {
        Row r = Row{"Temp_IsAFile", Flow::Start}.Windir(L"MORVANE_WINDIR_FILETEMP").Shows(Lists::Empty);
        r.earlyBox = L"无法创建临时文件夹“C:\\fakewin-filetemp\\Temp”";
        r.queryBox = L"无法写入文件“C:\\fakewin-filetemp\\temp\\WIMInfo.bat”，无法读取映像信息。";
        return r.Ends(End::Error, {kBadSource});
      }(),
      Row{"Temp_GoneBeforeStart", Flow::Start}
          .Windir(L"MORVANE_WINDIR_VANISH")
          .Tampered(Tamper::TempBecomesFile)
          .Ends(End::Error, {L"临时文件夹“C:\\fakewin-vanish\\Temp”不存在，无法安装。"}),
      InstallRow("Temp_HiddenAndSystem").Windir(L"MORVANE_WINDIR_HIDDENTEMP").Tampered(Tamper::HideTemp),

      Row{"Confirmation_Cancelled", Flow::Cancel},

      // A close request in every state.
      CloseRow("Close_Idle", CloseAt::Idle),
      CloseRow("Close_DuringANeverEndingQuery", CloseAt::Query, {{L"MORVANE_TOOL_DELAY_MS", L"info=3600000"}}),
      CloseRow("Close_DuringFormat", CloseAt::Format, {{L"MORVANE_STANDIN_DELAY_MS", L"format.com=2500"}}),
      CloseRow("Close_DuringApply", CloseAt::Apply, {{L"MORVANE_TOOL_DELAY_MS", L"apply=2500"}}),
      CloseRow("Close_WhileLastBoxOpen", CloseAt::EndBox),
      CloseRow("Close_AfterTheRun", CloseAt::AfterRun),
      CloseRow("SessionEnd_Idle", CloseAt::Idle).Set(&Row::sessionEnd),
      CloseRow("SessionEnd_DuringApply", CloseAt::Apply, {{L"MORVANE_TOOL_DELAY_MS", L"apply=2500"}})
          .Set(&Row::sessionEnd),
  };
  // Fields that are no drive: each refused before anything runs.
  for (const auto& [name, text] : std::vector<std::pair<const char*, std::wstring>>{
           {"Target_Empty", L""}, {"Target_LetterOnly", L"C"}, {"Target_TwoLetters", L"CC:"},
           {"Target_WithBackslash", L"C:\\"}, {"Target_CommandAppended", L"T: & echo x"}}) {
    rows.push_back(DriveRow(name, text, L"B:", kBadTarget));
  }
  for (const auto& [name, text] : std::vector<std::pair<const char*, std::wstring>>{
           {"Boot_Empty", L""}, {"Boot_LetterOnly", L"C"}, {"Boot_TwoLetters", L"CC:"},
           {"Boot_WithBackslash", L"C:\\"}, {"Boot_CommandAppended", L"T: & echo x"}}) {
    rows.push_back(DriveRow(name, L"T:", text, kBadBoot));
  }
  return rows;
}

// Whole installations whose restart box is answered OK or Cancel, and one of a version 5 image.
std::vector<Row> EndToEndRows() {
  std::vector<Row> rows(3, Row{"Ok", Flow::Install});
  rows[1].name = "Cancel";
  rows[1].answer = IDCANCEL;
  rows[2].name = "Version5";
  rows[2].image = L"S:\\xp.wim";
  rows[2].lists = Lists::Version5;
  for (Row& r : rows) {
    r.end = End::Restart;
    r.calls = Calls::WholeAndRestart;
  }
  return rows;
}

// ---- the run of one row ----

// How many processes of the prefix run the program file `name`.
int ProcessesNamed(const wchar_t* name) {
  UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return -1;
  int count = 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (lstrcmpiW(entry.szExeFile, name) == 0) ++count;
  }
  return count;
}

bool MoveAside(const std::wstring& path) { return ::MoveFileExW(path.c_str(), (path + L".away").c_str(), 0) != 0; }
void MoveBack(const std::wstring& path) { ::MoveFileExW((path + L".away").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING); }

void EmptyFolder(const std::wstring& dir) {
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileW((dir + L"\\" + data.cFileName).c_str());
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
}

std::wstring FolderOf(const std::wstring& file) { return file.substr(0, file.find_last_of(L'\\')); }

// Sets Text1 from a second thread: the program's change handler may take its time (a slow query, a
// modal error box) while the test acts.
class SideTyping {
 public:
  SideTyping(App& app, const std::wstring& text)
      : thread_([this, &app, text] {
          app.SetText(Ctl::Text1, text, 60000);
          done_ = true;
        }) {}
  ~SideTyping() { thread_.join(); }
  bool Wait(DWORD timeoutMs) const { return App::WaitFor([&] { return done_.load(); }, timeoutMs); }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// Launches the program; a box it shows before its main window (the start-up warning) is recorded in
// `early` and answered with OK, from a second thread, since the launch waits for the main window.
bool LaunchAnsweringEarlyBoxes(App& app, const std::wstring& exe, const std::map<std::wstring, std::wstring>& env,
                               std::vector<Box>* early) {
  std::atomic<bool> stop{false};
  std::thread watch([&] {
    for (; !stop; ::Sleep(20)) {
      const Box box = app.pid() ? app.WaitBox(0) : Box();
      if (!box) continue;
      early->push_back(box);
      app.Answer(box, IDOK);
      app.WaitGone(box, 5000);
    }
  });
  const bool launched = app.Launch(exe, env);
  stop = true;
  watch.join();
  return launched;
}

class Matrix : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    log_ = EnvOr(L"MORVANE_STANDIN_LOG");
    matrix_ = EnvOr(L"MORVANE_MATRIX");
    ASSERT_FALSE(log_.empty() || matrix_.empty() || EnvOr(L"MORVANE_EXE").empty())
        << "the rig's environment is not set: run the suite through tests/wine/run.sh";
    const Row& row = GetParam();
    // Wine takes a program's code pages from the Unix locale it was started under, which a child
    // inherits: run.sh runs these rows in a pass of their own under LANG=en_US.UTF-8.
    ASSERT_TRUE(!row.english || ::GetOEMCP() == 437) << "an English-locale row: run it under LANG=en_US.UTF-8";
    ::DeleteFileW(log_.c_str());
    windir_ = row.windirVar ? EnvOr(row.windirVar) : EnvOr(L"windir");
    ASSERT_FALSE(windir_.empty());
    for (const wchar_t* name : {L"apply.bat", L"apply.xml", L"apply.err", L"WIMInfo.bat"}) {
      ::DeleteFileW((windir_ + L"\\temp\\" + name).c_str());
    }
    if (row.noQuery) { ASSERT_TRUE(WriteAll(windir_ + L"\\temp\\WIMInfo.xml", kEarlierQuery)); }
    const wchar_t* exeVar[] = {L"MORVANE_EXE", L"MORVANE_NOTOOL_EXE", L"MORVANE_NOBOOT_EXE", L"MORVANE_SPARE_EXE",
                               L"MORVANE_DRIVE_P_EXE", L"MORVANE_PROBE_EXE"};
    exe_ = EnvOr(exeVar[static_cast<int>(row.prog)]);
    ASSERT_FALSE(exe_.empty());
    const bool absolute = row.asTyped || row.image.find(L':') != std::wstring::npos;
    image_ = row.image.empty() ? EnvOr(L"MORVANE_SMALL_IMAGE") : absolute ? row.image : matrix_ + L"\\" + row.image;
  }

  void TearDown() override {
    Undo();
    if (app_.Running()) {
      app_.RequestClose();
      if (!app_.WaitExit(5000)) app_.Kill();
    }
  }

  void Tamper() {
    const Row& row = GetParam();
    if (row.tamper == Tamper::TakeToolAway) {
      const std::wstring dir = FolderOf(exe_);
      for (const wchar_t* bin : {L"\\Bin\\wimlib-imagex.exe", L"\\Bin64\\wimlib-imagex.exe"}) {
        ASSERT_TRUE(MoveAside(dir + bin)) << ToUtf8(dir + bin);
        moved_.push_back(dir + bin);
      }
    } else if (row.tamper == Tamper::TempBecomesFile) {
      const std::wstring temp = windir_ + L"\\Temp";
      EmptyFolder(temp);
      ASSERT_TRUE(::RemoveDirectoryW(temp.c_str())) << ::GetLastError();
      ASSERT_TRUE(WriteAll(temp, "not a folder\r\n"));
      tempReplaced_ = true;
    }
  }

  // Before the launch: the Temp folder is made hidden and system.
  void HideTemp() {
    const std::wstring temp = windir_ + L"\\Temp";
    ASSERT_TRUE(::SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    const DWORD attributes = ::GetFileAttributesW(temp.c_str());
    ASSERT_EQ(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM});
    tempHidden_ = true;
  }

  void Undo() {
    if (tempHidden_) ::SetFileAttributesW((windir_ + L"\\Temp").c_str(), FILE_ATTRIBUTE_DIRECTORY);
    tempHidden_ = false;
    for (const std::wstring& path : moved_) MoveBack(path);
    moved_.clear();
    if (tempReplaced_) {
      const std::wstring temp = windir_ + L"\\Temp";
      ::DeleteFileW(temp.c_str());
      ::CreateDirectoryW(temp.c_str(), nullptr);
      tempReplaced_ = false;
    }
  }

  // Every box the row meets goes through here.
  Box Seen(const Box& box) {
    if (box) boxes_.push_back(box);
    return box;
  }

  void ExpectLists(Lists lists) {
    using Items = std::vector<std::wstring>;
    struct Want {
      Items labels, names, majors;
    };
    const std::map<Lists, Want> want = {
        {Lists::Small, {{L"Small:Small test system"}, {L"小型测试系统"}, {L"10"}}},
        {Lists::Version5, {{L"Small:Small test system"}, {L"小型测试系统"}, {L"5"}}},
        {Lists::Names,
         {{L"上海:《简介》", L"《专业》版:第一行\n第二行", L"Home"}, {L"上海版", L"《专业》版", L"Home"}, {L"10", L"", L""}}},
        {Lists::Three,
         {{L"Win10 Pro:专业版", L"Home", L"ABC123 企业版"}, {L"Windows 10 专业版", L"Home", L"ABC123 企业版"},
          {L"10", L"6", L""}}},
        {Lists::Empty, {}}};
    const Want& w = want.at(lists);
    EXPECT_EQ(app_.Items(Ctl::Combo0), w.labels);
    EXPECT_EQ(app_.Selected(Ctl::Combo0), w.labels.empty() ? -1 : 0);
    // A path that names no file empties the edition list only: the hidden lists wait for a query.
    if (lists == Lists::Empty && GetParam().afterImage) return;
    EXPECT_EQ(app_.Items(Ctl::Combo1), w.names);
    EXPECT_EQ(app_.Items(Ctl::Combo2), w.majors);
  }

  // A close request that must be refused while the run goes on.
  void CloseRefused(HWND openBox = nullptr) {
    std::unique_ptr<SessionEndQuery> query;
    if (GetParam().sessionEnd) {
      query = std::make_unique<SessionEndQuery>(app_.main());
    } else {
      app_.RequestClose();
    }
    const Box refused = Seen(app_.WaitBox(10000, openBox));
    ASSERT_TRUE(refused) << "no answer to the close request";
    EXPECT_EQ(refused.caption, L"警告！");
    EXPECT_EQ(refused.text, kCloseRefused);
    app_.Answer(refused, IDOK);
    EXPECT_TRUE(app_.WaitGone(refused));
    if (query) { EXPECT_EQ(query->Answer(app_, 10000), 0) << "the session end was not refused"; }
    EXPECT_TRUE(app_.Running());
  }

  // Types the path, whose query's tool never ends, and asks to close meanwhile: the query's
  // processes are ended and the window closes.
  void CloseDuringQuery() {
    SideTyping typing(app_, image_);
    const std::wstring batch = windir_ + L"\\temp\\WIMInfo.bat";
    EXPECT_TRUE(app_.WaitFor([&] { return FileExists(batch) && ProcessesNamed(L"wimlib-imagex.exe") > 0; }, 10000))
        << "the query's tool did not start";
    app_.RequestClose();
    EXPECT_TRUE(app_.WaitExit(20000)) << "the window did not close";
    EXPECT_EQ(ProcessesNamed(L"wimlib-imagex.exe"), 0) << "the query's tool still runs";
    EXPECT_TRUE(typing.Wait(10000));
  }

  void RunRow() {
    const Row& row = GetParam();
    std::map<std::wstring, std::wstring> env = row.env;
    if (row.windirVar) env[L"windir"] = windir_;
    if (row.tamper == Tamper::HideTemp) HideTemp();
    std::vector<Box> early;
    ASSERT_TRUE(LaunchAnsweringEarlyBoxes(app_, exe_, env, &early)) << "the main window did not appear";
    boxes_.insert(boxes_.end(), early.begin(), early.end());
    if (row.earlyBox) {
      ASSERT_EQ(early.size(), 1u);
      EXPECT_EQ(early[0].caption, L"警告！");
      EXPECT_NE(early[0].text.find(row.earlyBox), std::wstring::npos) << ToUtf8(early[0].text);
    } else {
      EXPECT_TRUE(early.empty()) << ToUtf8(early[0].text);
    }

    if (row.close == CloseAt::Query) {
      CloseDuringQuery();
      return;
    }
    if (row.queryBox) {
      // The query's error box is modal inside the change handler: type from the side.
      ASSERT_TRUE(SetTextAnsweringBox(row.queryBox));
    } else {
      if (row.afterImage) {
        ASSERT_TRUE(app_.SetText(Ctl::Text1, EnvOr(L"MORVANE_SMALL_IMAGE")));
        ExpectLists(Lists::Small);
      }
      ASSERT_TRUE(app_.SetText(Ctl::Text1, image_));
      EXPECT_TRUE(WindowsOf(app_.pid()).empty()) << "an unexpected box after the query";
    }
    ExpectLists(row.lists);
    if (row.flow == Flow::Query) {
      ExpectIdle(app_);
      if (row.close == CloseAt::Idle && row.sessionEnd) {
        EXPECT_EQ(SessionEndQuery(app_.main()).Answer(app_, 5000), 1) << "an idle window refused the session end";
      } else if (row.close == CloseAt::Idle) {
        app_.RequestClose();
        EXPECT_TRUE(app_.WaitExit(5000)) << "an idle window did not close at once";
      }
      return;
    }

    Tamper();
    Box box = Seen(PressStart(app_, row.boot, row.target, row.restart));
    ASSERT_TRUE(box) << "no box after Start";
    if (row.flow == Flow::Start) {
      if (box.caption == L"操作提示：") {
        // Refused too late: the confirmation to wipe the target is on the screen. Cancelled here.
        ADD_FAILURE() << "accepted, the confirmation came: " << ToUtf8(box.text);
        app_.Answer(box, IDCANCEL);
        EXPECT_TRUE(app_.WaitGone(box));
        ExpectIdle(app_);
        return;
      }
      ExpectEndBox(box);
      app_.Answer(box, IDOK);
      EXPECT_TRUE(app_.WaitGone(box));
      EXPECT_FALSE(Seen(app_.WaitBox(300))) << "a second box after the refusal";
      ExpectIdle(app_);
      return;
    }

    ASSERT_EQ(box.caption, L"操作提示：") << ToUtf8(box.text);
    EXPECT_EQ(box.text, L"警告：本操作将会删除[" + row.target + L"]盘上的所有数据，且不可恢复。\r\r"
                        L"若想继续，请单击“确定”。若想退出，请单击“取消”。");
    if (row.flow == Flow::Cancel) {
      app_.Answer(box, IDCANCEL);
      EXPECT_TRUE(app_.WaitGone(box));
      EXPECT_FALSE(Seen(app_.WaitBox(300))) << "a box after the cancel";
      ExpectIdle(app_);
      ExpectLists(row.lists);
      return;
    }
    app_.Answer(box, IDOK);
    ASSERT_TRUE(app_.WaitGone(box));
    if (row.close == CloseAt::Format) {
      ASSERT_TRUE(app_.WaitText(Ctl::Status, L"正在格式化磁盘 [" + row.target + L"]", 10000));
      CloseRefused();
    } else if (row.close == CloseAt::Apply) {
      ASSERT_TRUE(app_.WaitText(Ctl::Command4, L"正在安装", 20000));
      ASSERT_TRUE(app_.WaitFor([&] { return FileExists(windir_ + L"\\temp\\apply.bat"); }, 10000));
      CloseRefused();
      EXPECT_TRUE(FileExists(windir_ + L"\\temp\\apply.bat")) << "the apply should still be running";
    }
    box = Seen(app_.WaitBox(90000));
    ASSERT_TRUE(box) << "the run did not end";
    ExpectEndBox(box);
    if (!row.formatFails) {
      EXPECT_EQ(app_.Text(Ctl::Command4), L"正在安装") << "the guard must hold while the last box is open";
    }
    if (row.close == CloseAt::EndBox) CloseRefused(box.hwnd);
    app_.Answer(box, row.answer);
    EXPECT_TRUE(app_.WaitGone(box));
    ExpectIdle(app_);
    // Start had the focus when it was pressed: it has it again, though it was disabled in between.
    if (!row.formatFails) {
      EXPECT_TRUE(app_.WaitFor([&] { return app_.Focused() == app_.Control(Ctl::Command4); }, 5000));
    }
    ExpectLists(row.lists);
    if (row.end == End::Done || row.end == End::Restart) ExpectImageOnTarget();
    if (row.close == CloseAt::AfterRun) {
      app_.RequestClose();
      EXPECT_TRUE(app_.WaitExit(5000)) << "the window did not close after the run";
    }
  }

  // Types the path (the change handler shows a box and so does not return meanwhile) and answers
  // the box, which must hold `text`.
  bool SetTextAnsweringBox(const wchar_t* text) {
    SideTyping typing(app_, image_);
    const Box box = Seen(app_.WaitBox(20000));
    EXPECT_TRUE(box) << "no box from the query";
    if (box) {
      EXPECT_EQ(box.caption, L"错误");
      EXPECT_NE(box.text.find(text), std::wstring::npos) << ToUtf8(box.text);
      app_.Answer(box, IDOK);
    }
    return typing.Wait(20000);
  }

  void ExpectEndBox(const Box& box) {
    const Row& row = GetParam();
    switch (row.end) {
      case End::Error:
        EXPECT_EQ(box.caption, L"错误") << ToUtf8(box.text);
        break;
      case End::BootNote:
        EXPECT_EQ(box.caption, L"提示：") << ToUtf8(box.text);
        break;
      case End::Done:
        EXPECT_EQ(box.caption, L"提示：") << ToUtf8(box.text);
        EXPECT_EQ(box.text, kStageDone);
        break;
      case End::Restart:
        EXPECT_EQ(box.caption, L"提示：") << ToUtf8(box.text);
        EXPECT_EQ(box.text, std::wstring(kStageDone) +
                                L"\n您的电脑将在5秒后重新启动！若想取消自动重启任务，请单击“取消”。");
        break;
      case End::None:
        ADD_FAILURE() << "a row without a last box: " << ToUtf8(box.text);
        break;
    }
    for (const std::wstring& piece : row.endText) {
      EXPECT_NE(box.text.find(piece), std::wstring::npos) << "missing: " << ToUtf8(piece) << "\nin: " << ToUtf8(box.text);
    }
  }

  void ExpectImageOnTarget() {
    const std::wstring source = EnvOr(L"MORVANE_SOURCE_DIR");
    if (source.empty()) return;
    const std::wstring target = GetParam().target;
    for (const wchar_t* file : {L"\\Windows\\System32\\ntoskrnl.exe", L"\\Windows\\System32\\big.bin",
                                L"\\Users\\Public\\说明.txt"}) {
      EXPECT_EQ(ReadAll(source + file), ReadAll(target + file)) << ToUtf8(file);
    }
  }

  // The checks every row ends with.
  void ExpectAftermath() {
    const Row& row = GetParam();
    for (const wchar_t* name : {L"apply.bat", L"apply.xml", L"apply.err", L"WIMInfo.bat"}) {
      EXPECT_FALSE(FileExists(windir_ + L"\\temp\\" + name)) << "left behind: " << ToUtf8(name);
    }
    std::vector<std::string> want;
    if (row.calls == Calls::Format) want = {FormatCall(row.target)};
    if (row.calls == Calls::Whole || row.calls == Calls::WholeAndRestart) {
      want = WholeRunCalls(row.target, row.boot, row.lists == Lists::Version5);
    }
    if (row.calls == Calls::WholeAndRestart) {
      // The restart is started, not waited for: its line may come a moment after the box.
      want.push_back("shutdown.exe -r -f -t 5");
      if (row.answer == IDCANCEL) want.push_back("shutdown.exe -a");
      app_.WaitFor([&] { return ReadLines(log_).size() >= want.size(); }, 10000);
    }
    std::vector<std::string> calls = ReadLines(log_);
    EXPECT_EQ(calls, want);
    for (const std::string& call : calls) {
      if (call.rfind("format.com", 0) == 0) { EXPECT_EQ(call, FormatCall(L"T:")) << "formatted a drive it must not"; }
      if (row.end != End::Restart) { EXPECT_NE(call.rfind("shutdown.exe", 0), 0u) << call; }
    }
    if (row.noQuery) { EXPECT_EQ(ReadAll(windir_ + L"\\temp\\WIMInfo.xml"), kEarlierQuery) << "a query ran"; }
    for (const Box& box : boxes_) {
      if (row.end != End::Done && row.end != End::Restart) {
        EXPECT_EQ(box.text.find(kStageDone), std::wstring::npos) << "success reported: " << ToUtf8(box.text);
      }
    }
  }

  App app_;
  std::wstring log_, matrix_, windir_, exe_, image_;
  std::vector<Box> boxes_;
  std::vector<std::wstring> moved_;
  bool tempReplaced_ = false;
  bool tempHidden_ = false;

  void Whole() {
    RunRow();
    Undo();
    if (app_.Running()) {
      // Every row leaves the program idle: a close request must end it at once.
      EXPECT_TRUE(WindowsOf(app_.pid()).empty()) << "a box is still open";
      app_.RequestClose();
      EXPECT_TRUE(app_.WaitExit(5000)) << "the idle window did not close";
    }
    ExpectAftermath();
  }
};

TEST_P(Matrix, Row) { Whole(); }

// The whole installations also run on the prefixes of other systems (run.sh's focused runs).
class EndToEnd : public Matrix {};
TEST_P(EndToEnd, Run) { Whole(); }

std::string RowName(const ::testing::TestParamInfo<Row>& info) { return info.param.name; }
INSTANTIATE_TEST_SUITE_P(, Matrix, ::testing::ValuesIn(Rows()), RowName);
INSTANTIATE_TEST_SUITE_P(Restart, EndToEnd, ::testing::ValuesIn(EndToEndRows()), RowName);

}  // namespace
}  // namespace morvane::wine
