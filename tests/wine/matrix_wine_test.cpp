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
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app_driver.h"
#include "run_support.h"

namespace morvane::wine {
namespace {

const wchar_t kStageDone[] = L"这个阶段的安装完成，重新启动后，Sysprep部署阶段将开始！";
const wchar_t kCloseRefused[] = L"正在安装系统，无法关闭！";
const wchar_t kBadSource[] = L"Windows源无效！";
const wchar_t kBadTarget[] = L"“安装到...”一栏必须是一个盘符加冒号";
const wchar_t kBadBoot[] = L"“主引导：”一栏必须是一个盘符加冒号";
const char kEarlierQuery[] = "left by an earlier query";

enum class Prog { Main, NoTool, NoBoot, Spare, OnDriveP };
// Query: the image path is typed, the lists are checked. Start: then the fields and Start, which
// must be refused before anything runs. Cancel: the confirmation comes and is cancelled. Install:
// the confirmation is accepted and the run followed to its last box.
enum class Flow { Query, Start, Cancel, Install };
// Where the close request is made: nowhere, when idle after the query, while a query whose tool
// never ends waits, while
// the target is formatted, while the image is applied, while the last box is open, after the run.
enum class CloseAt { Never, Idle, Query, Format, Apply, EndBox, AfterRun };
// The small image, the image whose names hold 0x0A bytes in UTF-16 (names.wim), or nothing.
enum class Lists { Small, Names, Empty };
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
  CloseAt close = CloseAt::Never;
  bool sessionEnd = false;  // the close request is the session-end query of a log-off or shut-down
  Tamper tamper = Tamper::None;
  const wchar_t* earlyBox = nullptr;  // a warning expected before the main window
  const wchar_t* queryBox = nullptr;  // an error expected when the path is typed
  bool formatFails = false;  // the last box comes while the button still reads "开始安装"
  bool english = false;  // runs in the pass under an English locale (code pages 1252 and 437)
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

std::wstring DeepImage() {
  std::wstring path = L"deep";
  for (int i = 1; i <= 14; ++i) path += L"\\folder number " + std::to_wstring(i) + L" with a long name";
  return path + L"\\the image file with a long name.wim";
}

// So deep that even its short form is longer than 260 characters.
std::wstring DeeperImage() {
  std::wstring path = L"deeper";
  for (int i = 1; i <= 32; ++i) path += L"\\folder number " + std::to_wstring(i) + L" with a long name";
  return path + L"\\image.wim";
}

std::wstring ForwardSlashes(std::wstring path) {
  for (wchar_t& ch : path) ch = ch == L'\\' ? L'/' : ch;
  return path;
}

Row PathRow(const char* name, const std::wstring& image) {
  Row r{name, Flow::Query};
  r.image = image;
  return r;
}

Row PathInstallRow(const char* name, const std::wstring& image) {
  Row r{name, Flow::Install};
  r.image = image;
  r.end = End::Done;
  r.calls = Calls::Whole;
  r.restart = false;
  return r;
}

Row TypedRow(const char* name, const std::wstring& image, Lists lists) {
  Row r{name, Flow::Query};
  r.image = image;
  r.asTyped = true;
  r.lists = lists;
  r.noQuery = lists == Lists::Empty;
  return r;
}

Row BadFileRow(const char* name, const std::wstring& image) {
  Row r{name, Flow::Start};
  r.image = image;
  r.lists = Lists::Empty;
  r.end = End::Error;
  r.endText = {kBadSource};
  return r;
}

Row ToolQueryRow(const char* name, Prog prog, std::map<std::wstring, std::wstring> env) {
  Row r{name, Flow::Query};
  r.lists = Lists::Empty;
  r.prog = prog;
  r.env = std::move(env);
  return r;
}

Row ApplyFailsRow(const char* name, std::map<std::wstring, std::wstring> env, std::vector<std::wstring> text) {
  Row r{name, Flow::Install};
  r.end = End::Error;
  r.endText = std::move(text);
  r.endText.insert(r.endText.begin(), L"映像应用失败，安装没有完成！");
  r.calls = Calls::Format;
  r.env = std::move(env);
  return r;
}

Row BootRow(const char* name, Prog prog, std::map<std::wstring, std::wstring> env, Calls calls,
            std::vector<std::wstring> text) {
  Row r{name, Flow::Install};
  r.end = End::BootNote;
  r.endText = std::move(text);
  r.endText.insert(r.endText.begin(), L"引导文件没有写好");
  r.calls = calls;
  r.prog = prog;
  r.env = std::move(env);
  return r;
}

// A run whose boot tools fail where the installed system does not depend on them: it completes and
// restarts as ticked.
Row RestartRow(const char* name, std::map<std::wstring, std::wstring> env) {
  Row r{name, Flow::Install};
  r.end = End::Restart;
  r.calls = Calls::WholeAndRestart;
  r.env = std::move(env);
  return r;
}

Row DriveRow(const char* name, const std::wstring& target, const std::wstring& boot, const std::wstring& text,
             Prog prog = Prog::Main) {
  Row r{name, Flow::Start};
  r.target = target;
  r.boot = boot;
  r.end = End::Error;
  r.endText = {text};
  r.prog = prog;
  return r;
}

Row CloseRow(const char* name, Flow flow, CloseAt at, std::map<std::wstring, std::wstring> env = {}) {
  Row r{name, flow};
  r.close = at;
  r.env = std::move(env);
  if (flow == Flow::Install) {
    r.end = End::Done;
    r.calls = Calls::Whole;
    r.restart = false;
  }
  return r;
}

std::vector<Row> Rows() {
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
      PathRow("Path_ShortFormOver260", DeeperImage()),
      PathRow("Path_ForwardSlashes", L"S:/matrix/a&b/x&y.wim"),
      PathRow("Path_ForwardSlashesOver260", ForwardSlashes(L"S:\\matrix\\" + DeepImage())),
      PathRow("Path_DriveRelativeWithDotDot", L"S:matrix\\a&b\\..\\(x86)\\a(1).wim"),
      TypedRow("Path_Relative", L"..\\Morvane Tools\\images\\small.wim", Lists::Small),
      // Device names are no files: nothing is queried.
      TypedRow("Device_Con", L"CON", Lists::Empty),
      TypedRow("Device_NulWim", L"NUL.wim", Lists::Empty),
      PathRow("Path_SolidEsd", L"small.esd"),
      PathInstallRow("Path_Percent_Install", L"%OS%\\%PATH%.wim"),
      PathInstallRow("Path_AllTogether_Install", L"all & %OS% ^ (x) !\\映像 ภาพ 100%.wim"),
      PathInstallRow("Path_Over260_Install", DeepImage()),

      // The image tool's standard output is in text mode on Windows (the wrapper does the same):
      // names whose UTF-16 code units hold a 0x0A byte, a description with a line feed and the
      // line feed wimlib 1.13 ends its XML with. The description is read from the file the tool
      // writes itself.
      [] {
        Row r = PathRow("TextMode_NamesWithLineFeedBytes", L"names.wim");
        r.lists = Lists::Names;
        return r;
      }(),
      [] {
        Row r = PathInstallRow("TextMode_NamesWithLineFeedBytes_Install", L"names.wim");
        r.lists = Lists::Names;
        return r;
      }(),

      // Files that are no usable image.
      BadFileRow("File_Empty", L"bad\\empty.wim"),
      BadFileRow("File_Truncated", L"bad\\truncated.wim"),
      BadFileRow("File_Text", L"bad\\text.wim"),
      BadFileRow("File_NoImages", L"bad\\no-images.wim"),
      BadFileRow("File_Folder", L"bad\\folder.wim"),

      // The image tool: absent, failing at once, dying half-way, writing garbage.
      ToolQueryRow("Tool_Missing_Query", Prog::NoTool, {}),
      ToolQueryRow("Tool_Fails_Query", Prog::Main, {{L"MORVANE_TOOL_MODE", L"fail"}}),
      ToolQueryRow("Tool_Dies_Query", Prog::Main, {{L"MORVANE_TOOL_MODE", L"die"}, {L"MORVANE_TOOL_MODE_FOR", L"info"}}),
      ToolQueryRow("Tool_Garbage_Query", Prog::Main, {{L"MORVANE_TOOL_MODE", L"garbage"}}),
      ApplyFailsRow("Tool_Fails_Install", {{L"MORVANE_TOOL_MODE", L"fail"}, {L"MORVANE_TOOL_MODE_FOR", L"apply"}},
                    {L"wimlib-imagex 报告：[ERROR] Can't open"}),
      ApplyFailsRow("Tool_Dies_Install", {{L"MORVANE_TOOL_MODE", L"die"}}, {}),
      ApplyFailsRow("Tool_Garbage_Install", {{L"MORVANE_TOOL_MODE", L"garbage"}, {L"MORVANE_TOOL_MODE_FOR", L"apply"}},
                    {}),
  };
  {
    // The tool taken away between the query and Start: refused before the target is touched.
    Row r{"Tool_GoneBeforeStart", Flow::Start};
    r.end = End::Error;
    r.endText = {L"找不到映像工具“C:\\Morvane Spare\\Bin64\\wimlib-imagex.exe”，无法安装。"};
    r.prog = Prog::Spare;
    r.tamper = Tamper::TakeToolAway;
    rows.push_back(r);
  }
  {
    Row r{"Format_Missing", Flow::Install};
    r.windirVar = L"MORVANE_WINDIR_NOFORMAT";
    r.end = End::Error;
    r.endText = {L"无法启动格式化程序“C:\\fakewin-noformat\\System32\\format.com”，磁盘[T:]没有被格式化"};
    r.formatFails = true;
    rows.push_back(r);
  }
  {
    Row r{"Format_Fails", Flow::Install};
    r.env = {{L"MORVANE_STANDIN_FAIL", L"format.com"}};
    r.end = End::Error;
    r.endText = {L"格式化磁盘[T:]失败（format.com 退出代码 1），安装已停止。"};
    r.formatFails = true;
    r.calls = Calls::Format;
    rows.push_back(r);
  }
  // The boot tools: absent from the program folder, or failing for the installed system. The image
  // is on the target by then: the last box says what failed, and no restart is started though it
  // is ticked.
  rows.push_back(BootRow("BootTools_Missing", Prog::NoBoot, {}, Calls::Format,
                         {L"无法启动 bcdboot.exe（T:\\Windows）", L"无法启动 bcdboot.exe（C:\\Windows，UEFI）",
                          L"无法启动 bootsect.exe（/nt60 B:）"}));
  rows.push_back(BootRow("Bcdboot_Fails", Prog::Main, {{L"MORVANE_STANDIN_FAIL", L"bcdboot.exe"}}, Calls::Whole,
                         {L"bcdboot.exe（T:\\Windows） 失败（退出代码 1）", L"bcdboot.exe（T:\\Windows，UEFI） 失败（退出代码 1）"}));
  rows.push_back(BootRow("Bcdboot_FailsForTheInstalledSystem", Prog::Main,
                         {{L"MORVANE_STANDIN_BCDBOOT", L"fail=T:\\Windows"}}, Calls::Whole,
                         {L"bcdboot.exe（T:\\Windows） 失败（退出代码 1）"}));
  // Failures that leave the installed system its boot files: the Windows 7 bcdboot, which has no
  // "/f"; another Windows folder bcdboot cannot use; bootsect failing. The run completes.
  rows.push_back(RestartRow("Bcdboot_Windows7", {{L"MORVANE_STANDIN_BCDBOOT", L"win7"}}));
  rows.push_back(RestartRow("Bcdboot_FailsForAnotherFolder", {{L"MORVANE_STANDIN_BCDBOOT", L"fail=C:\\Windows"}}));
  rows.push_back(RestartRow("Bootsect_Fails", {{L"MORVANE_STANDIN_FAIL", L"bootsect.exe"}}));
  {
    // An English system: batch files are read in OEM 437, not ANSI 1252; a Windows folder whose
    // name has "é" (0x82 in 437, 0xE9 in 1252) still gets its query and its installation.
    Row r = PathInstallRow("CodePage_English_WindowsFolderWithAccent", L"");
    r.windirVar = L"MORVANE_WINDIR_ACCENT";
    r.english = true;
    rows.push_back(r);
  }

  // Drive fields.
  for (const auto& [name, text] : std::vector<std::pair<const char*, std::wstring>>{
           {"Target_Empty", L""}, {"Target_LetterOnly", L"C"}, {"Target_TwoLetters", L"CC:"},
           {"Target_WithBackslash", L"C:\\"}, {"Target_CommandAppended", L"T: & echo x"}}) {
    rows.push_back(DriveRow(name, text, L"B:", kBadTarget));
  }
  rows.push_back(DriveRow("Target_Missing", L"Q:", L"B:", L"磁盘[Q:]不存在"));
  rows.push_back(DriveRow("Target_PreinstallDrive", L"X:", L"B:", L"不能安装到[X:]盘：它是预安装环境的系统盘。"));
  rows.push_back(DriveRow("Target_ImageDrive", L"S:", L"B:", L"不能安装到[S:]盘：所选的映像文件就在这个盘上"));
  {
    // The same drive, named by the image path in other spellings.
    Row r = DriveRow("Target_ImageDriveLowerCase", L"S:", L"B:", L"不能安装到[S:]盘：所选的映像文件就在这个盘上");
    r.image = L"s:\\small.wim";
    rows.push_back(r);
    r.name = "Target_ImageDriveRelative";  // no backslash after the drive: the image is on S: all the same
    r.image = L"S:small.wim";
    rows.push_back(r);
    r.name = "Target_ImageDriveDevicePath";
    r.image = L"\\\\.\\S:\\small.wim";
    rows.push_back(r);
    // A path with "?" is never looked up (wildcards): the lists stay empty and Start refuses.
    r = BadFileRow("Target_ImageDriveLongPathPrefix", L"\\\\?\\S:\\small.wim");
    r.target = L"S:";
    rows.push_back(r);
  }
  rows.push_back(DriveRow("Target_WindowsDrive", L"C:", L"B:", L"不能安装到[C:]盘：当前正在运行的 Windows 就在这个盘上"));
  rows.push_back(DriveRow("Target_ProgramDrive", L"P:", L"B:", L"不能安装到[P:]盘：本程序就在这个盘上", Prog::OnDriveP));
  for (const auto& [name, text] : std::vector<std::pair<const char*, std::wstring>>{
           {"Boot_Empty", L""}, {"Boot_LetterOnly", L"C"}, {"Boot_TwoLetters", L"CC:"},
           {"Boot_WithBackslash", L"C:\\"}, {"Boot_CommandAppended", L"T: & echo x"}}) {
    rows.push_back(DriveRow(name, L"T:", text, kBadBoot));
  }
  rows.push_back(DriveRow("Boot_Missing", L"T:", L"Q:", L"[Q:]"));

  // The temporary folder: a plain file stands where it belongs from the start, or takes its place
  // between the query and the start.
  {
    Row r{"Temp_IsAFile", Flow::Start};
    r.windirVar = L"MORVANE_WINDIR_FILETEMP";
    r.earlyBox = L"无法创建临时文件夹“C:\\fakewin-filetemp\\Temp”";
    r.queryBox = L"无法写入文件“C:\\fakewin-filetemp\\temp\\WIMInfo.bat”，无法读取映像信息。";
    r.lists = Lists::Empty;
    r.end = End::Error;
    r.endText = {kBadSource};
    rows.push_back(r);
  }
  {
    // The temp folder replaced by a file between the query and Start: refused before the format.
    Row r{"Temp_GoneBeforeStart", Flow::Start};
    r.windirVar = L"MORVANE_WINDIR_VANISH";
    r.tamper = Tamper::TempBecomesFile;
    r.end = End::Error;
    r.endText = {L"临时文件夹“C:\\fakewin-vanish\\Temp”不存在，无法安装。"};
    rows.push_back(r);
  }

  {
    // A hidden and system Temp is the program's Temp all the same: no warning, a whole run.
    Row r = CloseRow("Temp_HiddenAndSystem", Flow::Install, CloseAt::Never);
    r.windirVar = L"MORVANE_WINDIR_HIDDENTEMP";
    r.tamper = Tamper::HideTemp;
    rows.push_back(r);
  }

  rows.push_back(Row{"Confirmation_Cancelled", Flow::Cancel});

  // A close request in every state.
  rows.push_back(CloseRow("Close_Idle", Flow::Query, CloseAt::Idle));
  rows.push_back(CloseRow("Close_DuringANeverEndingQuery", Flow::Query, CloseAt::Query,
                          {{L"MORVANE_TOOL_DELAY_MS", L"info=3600000"}}));
  rows.push_back(CloseRow("Close_DuringFormat", Flow::Install, CloseAt::Format,
                          {{L"MORVANE_STANDIN_DELAY_MS", L"format.com=2500"}}));
  rows.push_back(CloseRow("Close_DuringApply", Flow::Install, CloseAt::Apply, {{L"MORVANE_TOOL_DELAY_MS", L"apply=2500"}}));
  rows.push_back(CloseRow("Close_WhileLastBoxOpen", Flow::Install, CloseAt::EndBox));
  rows.push_back(CloseRow("Close_AfterTheRun", Flow::Install, CloseAt::AfterRun));
  for (Row r : {CloseRow("SessionEnd_Idle", Flow::Query, CloseAt::Idle),
                CloseRow("SessionEnd_DuringApply", Flow::Install, CloseAt::Apply,
                         {{L"MORVANE_TOOL_DELAY_MS", L"apply=2500"}})}) {
    r.sessionEnd = true;
    rows.push_back(r);
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
  SideTyping(App& app, std::wstring text) : app_(app), text_(std::move(text)) {
    thread_ = ::CreateThread(nullptr, 0, &SideTyping::Run, this, 0, nullptr);
  }
  SideTyping(const SideTyping&) = delete;
  SideTyping& operator=(const SideTyping&) = delete;
  ~SideTyping() {
    if (thread_) {
      ::WaitForSingleObject(thread_, 60000);
      ::CloseHandle(thread_);
    }
  }
  bool Wait(DWORD timeoutMs) { return thread_ && ::WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0; }

 private:
  static DWORD WINAPI Run(void* param) {
    auto* self = static_cast<SideTyping*>(param);
    self->app_.SetText(Ctl::Text1, self->text_, 60000);
    return 0;
  }
  App& app_;
  std::wstring text_;
  HANDLE thread_ = nullptr;
};

class Matrix : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    log_ = EnvOr(L"MORVANE_STANDIN_LOG");
    matrix_ = EnvOr(L"MORVANE_MATRIX");
    if (log_.empty() || matrix_.empty() || EnvOr(L"MORVANE_EXE").empty()) {
      GTEST_SKIP() << "the rig's environment is not set";
    }
    const Row& row = GetParam();
    // Wine takes a program's code pages from the Unix locale it was started under, which a child
    // inherits: run.sh runs these rows in a pass of their own under LANG=en_US.UTF-8.
    if (row.english && ::GetOEMCP() != 437) GTEST_SKIP() << "an English-locale row (run.sh runs it under en_US)";
    ::DeleteFileW(log_.c_str());
    windir_ = row.windirVar ? EnvOr(row.windirVar) : EnvOr(L"windir");
    ASSERT_FALSE(windir_.empty());
    for (const wchar_t* name : {L"apply.bat", L"apply.xml", L"apply.err", L"WIMInfo.bat"}) {
      ::DeleteFileW((windir_ + L"\\temp\\" + name).c_str());
    }
    if (row.noQuery) { ASSERT_TRUE(WriteAll(windir_ + L"\\temp\\WIMInfo.xml", kEarlierQuery)); }
    const wchar_t* exeVar[] = {L"MORVANE_EXE", L"MORVANE_NOTOOL_EXE", L"MORVANE_NOBOOT_EXE", L"MORVANE_SPARE_EXE",
                               L"MORVANE_DRIVE_P_EXE"};
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
        ASSERT_TRUE(MoveAside(dir + bin)) << Utf8(dir + bin);
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

  void ExpectSmallLists() {
    EXPECT_EQ(app_.Items(Ctl::Combo0), std::vector<std::wstring>{L"Small:Small test system"});
    EXPECT_EQ(app_.Items(Ctl::Combo1), std::vector<std::wstring>{L"小型测试系统"});
    EXPECT_EQ(app_.Items(Ctl::Combo2), std::vector<std::wstring>{L"10"});
    EXPECT_EQ(app_.Selected(Ctl::Combo0), 0);
  }

  void ExpectLists(Lists lists) {
    if (lists == Lists::Small) {
      ExpectSmallLists();
    } else if (lists == Lists::Names) {
      EXPECT_EQ(app_.Items(Ctl::Combo0),
                (std::vector<std::wstring>{L"上海:《简介》", L"《专业》版:第一行\n第二行", L"Home"}));
      EXPECT_EQ(app_.Items(Ctl::Combo1), (std::vector<std::wstring>{L"上海版", L"《专业》版", L"Home"}));
      EXPECT_EQ(app_.Items(Ctl::Combo2), (std::vector<std::wstring>{L"10", L"", L""}));
    } else {
      for (Ctl c : {Ctl::Combo0, Ctl::Combo1, Ctl::Combo2}) {
        std::wstring items;
        for (const std::wstring& item : app_.Items(c)) items += L"[" + item + L"]";
        EXPECT_TRUE(items.empty()) << "list " << static_cast<int>(c) << " holds " << Utf8(items);
      }
    }
  }

  void ExpectIdle() {
    EXPECT_TRUE(app_.WaitText(Ctl::Command4, L"开始安装", 10000)) << Utf8(app_.Text(Ctl::Command4));
    EXPECT_EQ(app_.Text(Ctl::Status), L"状态");
    for (Ctl c : kRunInputs) EXPECT_TRUE(app_.Enabled(c)) << "control " << static_cast<int>(c);
  }

  // A close request that must be refused while the run goes on.
  void CloseRefused(HWND openBox = nullptr) {
    std::unique_ptr<SessionEndQuery> query;
    if (GetParam().sessionEnd) {
      query = std::make_unique<SessionEndQuery>(app_.main());
    } else {
      app_.RequestClose();
    }
    const Box refused = Seen(WaitNewBox(app_, openBox, 10000));
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
    EarlyBoxLaunch launch;
    ASSERT_TRUE(launch.Launch(app_, exe_, env)) << "the main window did not appear";
    for (const Box& b : launch.early) boxes_.push_back(b);
    if (row.earlyBox) {
      ASSERT_EQ(launch.early.size(), 1u);
      EXPECT_EQ(launch.early[0].caption, L"警告！");
      EXPECT_NE(launch.early[0].text.find(row.earlyBox), std::wstring::npos) << Utf8(launch.early[0].text);
    } else {
      EXPECT_TRUE(launch.early.empty()) << Utf8(launch.early[0].text);
    }

    if (row.close == CloseAt::Query) {
      CloseDuringQuery();
      return;
    }
    if (row.queryBox) {
      // The query's error box is modal inside the change handler: type from the side.
      ASSERT_TRUE(SetTextAnsweringBox(row.queryBox));
    } else {
      ASSERT_TRUE(app_.SetText(Ctl::Text1, image_));
      EXPECT_TRUE(BoxesOf(app_.pid()).empty()) << "an unexpected box after the query";
    }
    ExpectLists(row.lists);
    if (row.flow == Flow::Query) {
      ExpectIdle();
      if (row.close == CloseAt::Idle && row.sessionEnd) {
        EXPECT_EQ(SessionEndQuery(app_.main()).Answer(app_, 5000), 1) << "an idle window refused the session end";
      } else if (row.close == CloseAt::Idle) {
        app_.RequestClose();
        EXPECT_TRUE(app_.WaitExit(5000)) << "an idle window did not close at once";
      }
      return;
    }

    Tamper();
    ASSERT_TRUE(app_.SetText(Ctl::Text2, row.boot));
    ASSERT_TRUE(app_.SetText(Ctl::Text3, row.target));
    if (!row.restart) {
      app_.Click(Ctl::Check2);
      ASSERT_TRUE(app_.WaitFor([&] { return !app_.Checked(Ctl::Check2); }, 5000));
    }
    app_.Click(Ctl::Command4);
    Box box = Seen(app_.WaitBox(20000));
    ASSERT_TRUE(box) << "no box after Start";
    if (row.flow == Flow::Start) {
      if (box.caption == L"操作提示：") {
        // Refused too late: the confirmation to wipe the target is on the screen. Cancelled here.
        ADD_FAILURE() << "accepted, the confirmation came: " << Utf8(box.text);
        app_.Answer(box, IDCANCEL);
        EXPECT_TRUE(app_.WaitGone(box));
        ExpectIdle();
        return;
      }
      ExpectEndBox(box);
      app_.Answer(box, IDOK);
      EXPECT_TRUE(app_.WaitGone(box));
      EXPECT_FALSE(Seen(app_.WaitBox(300))) << "a second box after the refusal";
      ExpectIdle();
      return;
    }

    ASSERT_EQ(box.caption, L"操作提示：") << Utf8(box.text);
    if (row.flow == Flow::Cancel) {
      app_.Answer(box, IDCANCEL);
      EXPECT_TRUE(app_.WaitGone(box));
      EXPECT_FALSE(Seen(app_.WaitBox(300))) << "a box after the cancel";
      ExpectIdle();
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
    app_.Answer(box, IDOK);
    EXPECT_TRUE(app_.WaitGone(box));
    ExpectIdle();
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
      EXPECT_NE(box.text.find(text), std::wstring::npos) << Utf8(box.text);
      app_.Answer(box, IDOK);
    }
    return typing.Wait(20000);
  }

  void ExpectEndBox(const Box& box) {
    const Row& row = GetParam();
    switch (row.end) {
      case End::Error:
        EXPECT_EQ(box.caption, L"错误") << Utf8(box.text);
        break;
      case End::BootNote:
        EXPECT_EQ(box.caption, L"提示：") << Utf8(box.text);
        break;
      case End::Done:
        EXPECT_EQ(box.caption, L"提示：") << Utf8(box.text);
        EXPECT_EQ(box.text, kStageDone);
        break;
      case End::Restart:
        EXPECT_EQ(box.caption, L"提示：") << Utf8(box.text);
        EXPECT_EQ(box.text, std::wstring(kStageDone) +
                                L"\n您的电脑将在5秒后重新启动！若想取消自动重启任务，请单击“取消”。");
        break;
      case End::None:
        ADD_FAILURE() << "a row without a last box: " << Utf8(box.text);
        break;
    }
    for (const std::wstring& piece : row.endText) {
      EXPECT_NE(box.text.find(piece), std::wstring::npos) << "missing: " << Utf8(piece) << "\nin: " << Utf8(box.text);
    }
  }

  void ExpectImageOnTarget() {
    const std::wstring source = EnvOr(L"MORVANE_SOURCE_DIR");
    if (source.empty()) return;
    const std::wstring target = GetParam().target;
    for (const wchar_t* file : {L"\\Windows\\System32\\ntoskrnl.exe", L"\\Windows\\System32\\big.bin",
                                L"\\Users\\Public\\说明.txt"}) {
      EXPECT_EQ(ReadAll(source + file), ReadAll(target + file)) << Utf8(file);
    }
  }

  // The checks every row ends with.
  void ExpectAftermath() {
    const Row& row = GetParam();
    for (const wchar_t* name : {L"apply.bat", L"apply.xml", L"apply.err", L"WIMInfo.bat"}) {
      EXPECT_FALSE(FileExists(windir_ + L"\\temp\\" + name)) << "left behind: " << Utf8(name);
    }
    std::vector<std::string> want;
    if (row.calls == Calls::Format) want = {FormatCall(row.target)};
    if (row.calls == Calls::Whole || row.calls == Calls::WholeAndRestart) want = WholeRunCalls(row.target, row.boot);
    if (row.calls == Calls::WholeAndRestart) {
      // The restart is started, not waited for: its line may come a moment after the box.
      want.push_back("shutdown.exe -r -f -t 5");
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
        EXPECT_EQ(box.text.find(kStageDone), std::wstring::npos) << "success reported: " << Utf8(box.text);
      }
    }
  }

  App app_;
  std::wstring log_, matrix_, windir_, exe_, image_;
  std::vector<Box> boxes_;
  std::vector<std::wstring> moved_;
  bool tempReplaced_ = false;
  bool tempHidden_ = false;
};

TEST_P(Matrix, Row) {
  RunRow();
  Undo();
  if (app_.Running()) {
    // Every row leaves the program idle: a close request must end it at once.
    EXPECT_TRUE(BoxesOf(app_.pid()).empty()) << "a box is still open";
    app_.RequestClose();
    EXPECT_TRUE(app_.WaitExit(5000)) << "the idle window did not close";
  }
  ExpectAftermath();
}

INSTANTIATE_TEST_SUITE_P(, Matrix, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace morvane::wine
