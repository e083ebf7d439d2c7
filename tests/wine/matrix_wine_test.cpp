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
#include <string>
#include <vector>

#include "app_driver.h"
#include "run_support.h"

namespace morvane::wine {
namespace {

using Env = std::map<std::wstring, std::wstring>;
using Texts = std::vector<std::wstring>;
const wchar_t kBadSource[] = L"Windows源无效！";
const char kEarlierQuery[] = "left by an earlier query";
const wchar_t kTool[] = L"wimlib-imagex.exe";

// Query: the image path is typed, the lists are checked. Start: then the fields and Start, which
// must be refused before anything runs. Cancel: the confirmation comes and is cancelled. Install:
// the confirmation is accepted and the run followed to its last box.
enum class Flow { Query, Start, Cancel, Install };
// Where a close request is made besides the one every row ends with (when idle): while a query
// whose tool never ends waits, while the target is formatted, while the image is applied, while
// the last box is open.
enum class CloseAt { Never, Query, Format, Apply, EndBox };
// The lists shown: the small image, the image whose names hold 0x0A bytes in UTF-16 (names.wim),
// the three images with full-width names, the small image as version 5 (xp.wim), or nothing.
enum class Lists { Small, Names, Three, Version5, Empty };
const Texts kListed[][3] = {  // by Lists: labels, display names, major versions
    {{L"Small:Small test system"}, {L"小型测试系统"}, {L"10"}},
    {{L"上海:《简介》", L"《专业》版:第一行\n第二行", L"Home"}, {L"上海版", L"《专业》版", L"Home"}, {L"10", L"", L""}},
    {{L"Win10 Pro:专业版", L"Home", L"ABC123 企业版"}, {L"Windows 10 专业版", L"Home", L"ABC123 企业版"},
     {L"10", L"6", L""}},
    {{L"Small:Small test system"}, {L"小型测试系统"}, {L"5"}},
    {}};
// The run's last box: a refusal or error under "错误", the completion under "提示：" (a note on the
// boot files, the plain completion text, or the restart box).
enum class End { None, Error, BootNote, Done, Restart };
// What the stand-ins log: nothing, the format alone, the whole run, the whole run and the restart.
enum class Calls { None, Format, Whole, WholeAndRestart };
// The Temp folder made hidden and system before the launch; the tool taken away or the Temp folder
// replaced by a file between the query and Start.
enum class Tamper { None, HideTemp, TakeToolAway, TempBecomesFile };

struct Row {
  std::string name;
  Flow flow = Flow::Query;
  std::wstring image = L"";  // under the matrix folder unless it names a drive; empty: the rig's small image
  Lists lists = Lists::Small;
  End end = End::None;
  Texts endText = {};  // pieces the last box must hold
  Calls calls = Calls::None;
  Env env = {};
  // The program folder by its rig variable: the rig's, one without the image tool (NOTOOL), without
  // the boot tools (NOBOOT), one whose tool a row takes away (SPARE), on P: (DRIVE_P), with the tool
  // in Bin only (PROBE); the Windows folder to run with, by its rig variable.
  const wchar_t* exeVar = L"MORVANE_EXE";
  const wchar_t* windirVar = L"windir";
  std::wstring target = L"T:", boot = L"B:";
  // asTyped: the image typed as it stands (relative to the program's folder); afterImage: typed
  // after the small image was listed, whose lists must go; restart: the "restart" box stays
  // ticked; sessionEnd: the close request is the session-end query of a log-off or shut-down;
  // formatFails: the last box comes while Start still reads "开始安装"; english: runs in the pass
  // under an English locale (code pages 1252 and 437).
  bool asTyped = false, afterImage = false, restart = true;
  bool sessionEnd = false, formatFails = false, english = false;
  int answer = IDOK;  // to the last box; IDCANCEL to the restart box cancels the restart
  CloseAt close = CloseAt::Never;
  Tamper tamper = Tamper::None;
  const wchar_t* earlyBox = nullptr;  // a warning expected before the main window
  const wchar_t* queryBox = nullptr;  // an error expected when the path is typed

  Row& Shows(Lists l) { return lists = l, *this; }
  Row& Set(bool Row::*flag) { return this->*flag = true, *this; }
  template <typename T, typename V>
  Row& Set(T Row::*field, V value) { return this->*field = std::move(value), *this; }
  // A path that names no file is not queried: a WIMInfo.xml left before stays as it was.
  bool noQuery() const { return asTyped && lists == Lists::Empty; }
  bool succeeds() const { return end == End::Done || end == End::Restart; }
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

std::wstring DeepImage(const wchar_t* top = L"deep", int folders = 14,
                       const wchar_t* file = L"the image file with a long name.wim") {
  std::wstring path = top;
  for (int i = 1; i <= folders; ++i) path += L"\\folder number " + std::to_wstring(i) + L" with a long name";
  return path + L"\\" + file;
}

Env Mode(const wchar_t* mode, const wchar_t* forCommand = L"") {
  return {{L"MORVANE_TOOL_MODE", mode}, {L"MORVANE_TOOL_MODE_FOR", forCommand}};
}
Row Q(const std::string& name, const std::wstring& image = L"") { return Row{name}.Set(&Row::image, image); }
Row NoList(const std::string& name, Env env) { return Row{name}.Shows(Lists::Empty).Set(&Row::env, env); }
Row Typed(const std::string& name, const std::wstring& image, Lists lists) {
  return Q(name, image).Shows(lists).Set(&Row::asTyped);
}
Row Refused(const std::string& name, const std::wstring& text) {
  return Row{name, Flow::Start}.Set(&Row::end, End::Error).Set(&Row::endText, Texts{text});
}
// Typed after the small image was listed: the lists empty, Start refuses the source.
Row BadFile(const std::string& name, const std::wstring& image) {
  return Refused(name, kBadSource).Set(&Row::image, image).Shows(Lists::Empty).Set(&Row::afterImage);
}
Row Drives(const std::string& name, const wchar_t* target, const wchar_t* boot, const std::wstring& text) {
  return Refused(name, text).Set(&Row::target, std::wstring(target)).Set(&Row::boot, std::wstring(boot));
}
Row Install(const std::string& name, End end, Calls calls, Env env = {}, Texts text = {}) {
  return Row{name, Flow::Install, L"", Lists::Small, end, text, calls, env};
}
// A whole installation without the restart.
Row Whole(const std::string& name, const std::wstring& image = L"") {
  return Install(name, End::Done, Calls::Whole).Set(&Row::image, image).Set(&Row::restart, false);
}
Row Restarts(const std::string& name, Env env) {
  return Install(name, End::Restart, Calls::WholeAndRestart, env);
}

std::vector<Row> Rows() {
  const std::wstring imageDrive = L"不能安装到[S:]盘：所选的映像文件就在这个盘上";
  const wchar_t* const kProbe = L"MORVANE_PROBE_EXE";
  const Env slowApply = {{L"MORVANE_TOOL_DELAY_MS", L"apply=2500"}};
  const std::wstring bcdbootFailed = L"bcdboot.exe（T:\\Windows） 失败（退出代码 1）";
  const std::wstring applyFailed = L"映像应用失败，安装没有完成！", bootNote = L"引导文件没有写好";
  std::wstring slashed = L"S:\\matrix\\" + DeepImage();
  std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
  std::vector<Row> rows = {
      // Image paths: the characters with a meaning of their own in a batch file, letters in and
      // outside the ANSI code page (936), paths far over 260 characters, the ESD form.
      Q("Path_Blanks", L"my images\\my small image.wim"),
      Q("Path_Ampersand", L"a&b\\x&y.wim"),
      Q("Path_Percent", L"%OS%\\%PATH%.wim"),
      Q("Path_Caret", L"^^\\a^b.wim"),
      Q("Path_Parentheses", L"(x86)\\a(1).wim"),
      Q("Path_Exclamation", L"!x!\\a!b!.wim"),
      Q("Path_ChineseInCodePage", L"中文目录\\系统映像.wim"),
      Q("Path_ThaiOutsideCodePage", L"ภาพ\\ภาพระบบ.wim"),
      Q("Path_Over260", DeepImage()),
      Q("Path_ShortFormOver260", DeepImage(L"deeper", 32, L"image.wim")),  // even the short form is over 260
      Q("Path_ForwardSlashes", L"S:/matrix/a&b/x&y.wim"),
      Q("Path_ForwardSlashesOver260", slashed),
      Q("Path_DriveRelativeWithDotDot", L"S:matrix\\a&b\\..\\(x86)\\a(1).wim"),
      Typed("Path_Relative", L"..\\Morvane Tools\\images\\small.wim", Lists::Small),
      // Device names are no files, nor is a wildcard: nothing is queried.
      Typed("Device_Con", L"CON", Lists::Empty),
      Typed("Device_NulWim", L"NUL.wim", Lists::Empty),
      Typed("Path_Wildcard", L"S:\\*.wim", Lists::Empty),
      Q("Path_ThreeImagesWithFullWidthNames", L"S:\\img & dir\\three.wim").Shows(Lists::Three),
      Q("Path_SolidEsd", L"small.esd"),
      Whole("Path_Percent_Install", L"%OS%\\%PATH%.wim"),
      Whole("Path_AllTogether_Install", L"all & %OS% ^ (x) !\\映像 ภาพ 100%.wim"),
      Whole("Path_Over260_Install", DeepImage()),
      // The image tool's standard output is in text mode on Windows (the wrapper does the same):
      // names whose UTF-16 code units hold a 0x0A byte, a description with a line feed and the
      // line feed wimlib 1.13 ends its XML with. The description is read from the file the tool
      // writes itself.
      Q("TextMode_NamesWithLineFeedBytes", L"names.wim").Shows(Lists::Names),
      Whole("TextMode_NamesWithLineFeedBytes_Install", L"names.wim").Shows(Lists::Names),
      // Files that are no usable image.
      BadFile("File_Empty", L"bad\\empty.wim"),
      BadFile("File_Truncated", L"bad\\truncated.wim"),
      BadFile("File_Text", L"bad\\text.wim"),
      BadFile("File_NoImages", L"bad\\no-images.wim"),
      BadFile("File_Folder", L"bad\\folder.wim"),
      BadFile("File_Hidden", L"S:\\.hidden.wim"),
      BadFile("File_Missing", L"S:\\none.wim"),
      // The image tool: absent, failing at once, dying half-way, writing garbage.
      NoList("Tool_Missing_Query", {}).Set(&Row::exeVar, L"MORVANE_NOTOOL_EXE"),
      NoList("Tool_Fails_Query", Mode(L"fail")),
      NoList("Tool_Dies_Query", Mode(L"die", L"info")),
      NoList("Tool_Garbage_Query", Mode(L"garbage")),
      // The tools folder is Bin64 where the Windows folder has a SysWOW64 folder: the probe program
      // has the tool in Bin only.
      Q("ToolsFolder_Bin").Set(&Row::exeVar, kProbe).Set(&Row::windirVar, L"MORVANE_WINDIR_PLAIN"),
      NoList("ToolsFolder_Bin64WithSysWow64", {}).Set(&Row::exeVar, kProbe)
          .Set(&Row::windirVar, L"MORVANE_WINDIR_WOW"),
      Install("Tool_Fails_Install", End::Error, Calls::Format, Mode(L"fail", L"apply"),
              {applyFailed, L"wimlib-imagex 报告：[ERROR] Can't open"}),
      Install("Tool_Dies_Install", End::Error, Calls::Format, Mode(L"die"), {applyFailed}),
      Install("Tool_Garbage_Install", End::Error, Calls::Format, Mode(L"garbage", L"apply"), {applyFailed}),
      // The tool taken away between the query and Start: refused before the target is touched.
      Refused("Tool_GoneBeforeStart", L"找不到映像工具“C:\\Morvane Spare\\Bin64\\wimlib-imagex.exe”，无法安装。")
          .Set(&Row::exeVar, L"MORVANE_SPARE_EXE").Set(&Row::tamper, Tamper::TakeToolAway),
      Install("Format_Missing", End::Error, Calls::None, {},
              {L"无法启动格式化程序“C:\\fakewin-noformat\\System32\\format.com”，磁盘[T:]没有被格式化"})
          .Set(&Row::windirVar, L"MORVANE_WINDIR_NOFORMAT").Set(&Row::formatFails),
      Install("Format_Fails", End::Error, Calls::Format, {{L"MORVANE_STANDIN_FAIL", L"format.com"}},
              {L"格式化磁盘[T:]失败（format.com 退出代码 1），安装已停止。"}).Set(&Row::formatFails),
      // The boot tools: absent from the program folder, or failing for the installed system. The
      // image is on the target by then: the last box says what failed, and no restart is started
      // though it is ticked.
      Install("BootTools_Missing", End::BootNote, Calls::Format, {},
              {bootNote, L"无法启动 bcdboot.exe（T:\\Windows）", L"无法启动 bcdboot.exe（C:\\Windows，UEFI）",
               L"无法启动 bootsect.exe（/nt60 B:）"}).Set(&Row::exeVar, L"MORVANE_NOBOOT_EXE"),
      Install("Bcdboot_Fails", End::BootNote, Calls::Whole, {{L"MORVANE_STANDIN_FAIL", L"bcdboot.exe"}},
              {bootNote, bcdbootFailed, L"bcdboot.exe（T:\\Windows，UEFI） 失败（退出代码 1）"}),
      Install("Bcdboot_FailsForTheInstalledSystem", End::BootNote, Calls::Whole,
              {{L"MORVANE_STANDIN_BCDBOOT", L"fail=T:\\Windows"}}, {bootNote, bcdbootFailed}),
      // Failures that leave the installed system its boot files: the Windows 7 bcdboot, which has
      // no "/f"; another Windows folder bcdboot cannot use; bootsect failing. The run completes and
      // restarts as ticked.
      Restarts("Bcdboot_Windows7", {{L"MORVANE_STANDIN_BCDBOOT", L"win7"}}),
      Restarts("Bcdboot_FailsForAnotherFolder", {{L"MORVANE_STANDIN_BCDBOOT", L"fail=C:\\Windows"}}),
      Restarts("Bootsect_Fails", {{L"MORVANE_STANDIN_FAIL", L"bootsect.exe"}}),
      // An English system: batch files are read in OEM 437, not ANSI 1252; a Windows folder whose
      // name has "é" (0x82 in 437, 0xE9 in 1252) still gets its query and its installation.
      Whole("CodePage_English_WindowsFolderWithAccent").Set(&Row::english)
          .Set(&Row::windirVar, L"MORVANE_WINDIR_ACCENT"),
      // Drive fields.
      Drives("Target_Missing", L"Q:", L"B:", L"磁盘[Q:]不存在"),
      Drives("Target_PreinstallDrive", L"X:", L"B:", L"不能安装到[X:]盘：它是预安装环境的系统盘。"),
      Drives("Target_ImageDrive", L"S:", L"B:", imageDrive),
      // The same drive, named by the image path in other spellings; no backslash after the drive in
      // the relative one: the image is on S: all the same.
      Drives("Target_ImageDriveLowerCase", L"S:", L"B:", imageDrive).Set(&Row::image, L"s:\\small.wim"),
      Drives("Target_ImageDriveRelative", L"S:", L"B:", imageDrive).Set(&Row::image, L"S:small.wim"),
      Drives("Target_ImageDriveDevicePath", L"S:", L"B:", imageDrive)
          .Set(&Row::image, L"\\\\.\\S:\\small.wim"),
      // A path with "?" is never looked up (wildcards): the lists stay empty and Start refuses.
      BadFile("Target_ImageDriveLongPathPrefix", L"\\\\?\\S:\\small.wim").Set(&Row::target, L"S:"),
      Drives("Target_WindowsDrive", L"C:", L"B:", L"不能安装到[C:]盘：当前正在运行的 Windows 就在这个盘上"),
      Drives("Target_ProgramDrive", L"P:", L"B:", L"不能安装到[P:]盘：本程序就在这个盘上")
          .Set(&Row::exeVar, L"MORVANE_DRIVE_P_EXE"),
      Drives("Boot_Missing", L"T:", L"Q:", L"[Q:]"),
      // The temporary folder: a plain file stands where it belongs from the start, or takes its
      // place between the query and Start (refused before the format); a hidden and system Temp is
      // the program's Temp all the same: no warning, a whole run.
      Refused("Temp_IsAFile", kBadSource).Shows(Lists::Empty).Set(&Row::windirVar, L"MORVANE_WINDIR_FILETEMP")
          .Set(&Row::earlyBox, L"无法创建临时文件夹“C:\\fakewin-filetemp\\Temp”")
          .Set(&Row::queryBox, L"无法写入文件“C:\\fakewin-filetemp\\temp\\WIMInfo.bat”，无法读取映像信息。"),
      Refused("Temp_GoneBeforeStart", L"临时文件夹“C:\\fakewin-vanish\\Temp”不存在，无法安装。")
          .Set(&Row::windirVar, L"MORVANE_WINDIR_VANISH").Set(&Row::tamper, Tamper::TempBecomesFile),
      Whole("Temp_HiddenAndSystem").Set(&Row::tamper, Tamper::HideTemp)
          .Set(&Row::windirVar, L"MORVANE_WINDIR_HIDDENTEMP"),
      Row{"Confirmation_Cancelled", Flow::Cancel},
      // A close request in every state; when idle, after the query or after a run, it is the close
      // every row ends with.
      Q("Close_Idle"),
      Q("Close_DuringANeverEndingQuery").Set(&Row::env, Env{{L"MORVANE_TOOL_DELAY_MS", L"info=3600000"}})
          .Set(&Row::close, CloseAt::Query),
      Whole("Close_DuringFormat").Set(&Row::env, Env{{L"MORVANE_STANDIN_DELAY_MS", L"format.com=2500"}})
          .Set(&Row::close, CloseAt::Format),
      Whole("Close_DuringApply").Set(&Row::env, slowApply).Set(&Row::close, CloseAt::Apply),
      Whole("Close_WhileLastBoxOpen").Set(&Row::close, CloseAt::EndBox),
      Whole("Close_AfterTheRun"),
      Q("SessionEnd_Idle").Set(&Row::sessionEnd),
      Whole("SessionEnd_DuringApply").Set(&Row::env, slowApply).Set(&Row::close, CloseAt::Apply)
          .Set(&Row::sessionEnd),
  };
  // Fields that are no drive: each refused before anything runs.
  for (const auto& [name, text] : std::map<std::string, const wchar_t*>{
           {"Empty", L""}, {"LetterOnly", L"C"}, {"TwoLetters", L"CC:"}, {"WithBackslash", L"C:\\"},
           {"CommandAppended", L"T: & echo x"}}) {
    rows.push_back(Drives("Target_" + name, text, L"B:", L"“安装到...”一栏必须是一个盘符加冒号"));
    rows.push_back(Drives("Boot_" + name, L"T:", text, L"“主引导：”一栏必须是一个盘符加冒号"));
  }
  return rows;
}

// Whole installations whose restart box is answered OK or Cancel, and one of a version 5 image.
std::vector<Row> EndToEndRows() {
  return {Restarts("Ok", {}), Restarts("Cancel", {}).Set(&Row::answer, IDCANCEL),
          Restarts("Version5", {}).Set(&Row::image, L"S:\\xp.wim").Shows(Lists::Version5)};
}

// How many processes of the prefix run the program file `name`.
int ProcessesNamed(const wchar_t* name) {
  UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  int count = 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;) {
    count += lstrcmpiW(entry.szExeFile, name) == 0;
    more = ::Process32NextW(snapshot.get(), &entry);
  }
  return snapshot ? count : -1;
}

class Matrix : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    log_ = EnvOr(L"MORVANE_STANDIN_LOG");
    windir_ = EnvOr(row.windirVar);
    exe_ = EnvOr(row.exeVar);
    const std::wstring matrix = EnvOr(L"MORVANE_MATRIX");
    ASSERT_FALSE(log_.empty() || windir_.empty() || exe_.empty() || matrix.empty())
        << "the rig's environment is not set: run the suite through tests/wine/run.sh";
    // Wine takes a program's code pages from the Unix locale it was started under, which a child
    // inherits: run.sh runs these rows in a pass of their own under LANG=en_US.UTF-8.
    ASSERT_TRUE(!row.english || ::GetOEMCP() == 437) << "an English-locale row: run it with LANG=en_US.UTF-8";
    temp_ = windir_ + L"\\temp\\";
    ::DeleteFileW(log_.c_str());
    for (const wchar_t* name : kRunFiles) ::DeleteFileW((temp_ + name).c_str());
    if (row.noQuery()) { ASSERT_TRUE(WriteAll(temp_ + L"WIMInfo.xml", kEarlierQuery)); }
    const bool asIs = row.asTyped || row.image.find(L':') != std::wstring::npos;
    image_ = asIs ? row.image : matrix + L"\\" + row.image;
    if (row.image.empty()) image_ = EnvOr(L"MORVANE_SMALL_IMAGE");
  }

  // Runs the row's tampering if it is due `before` the launch or not.
  void Tamper(bool before) {
    const std::wstring temp = windir_ + L"\\Temp", tools = exe_.substr(0, exe_.find_last_of(L'\\'));
    if (row.tamper == Tamper::None || (row.tamper == Tamper::HideTemp) != before) return;
    if (row.tamper == Tamper::HideTemp) {
      const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
      hidden_ = ::SetFileAttributesW(temp.c_str(), hiddenSystem);
      ASSERT_EQ(::GetFileAttributesW(temp.c_str()) & hiddenSystem, hiddenSystem) << "Temp is not hidden";
    } else if (row.tamper == Tamper::TakeToolAway) {
      for (const wchar_t* bin : {L"\\Bin\\", L"\\Bin64\\"}) MoveAside(tools + bin + L"wimlib-imagex.exe");
    } else {
      MoveAside(temp);
      ASSERT_TRUE(WriteAll(temp, "not a folder\r\n"));
    }
  }

  void MoveAside(const std::wstring& path) {
    ASSERT_TRUE(::MoveFileExW(path.c_str(), (path + L".away").c_str(), 0)) << ToUtf8(path);
    moved_.push_back(path);
  }

  void Undo() {
    if (hidden_) ::SetFileAttributesW((windir_ + L"\\Temp").c_str(), FILE_ATTRIBUTE_DIRECTORY);
    for (const std::wstring& path : moved_) {
      ::DeleteFileW(path.c_str());  // the file that took the Temp folder's place
      ::MoveFileExW((path + L".away").c_str(), path.c_str(), 0);
    }
    hidden_ = false;
    moved_.clear();
  }

  // Every box the row meets goes through here: none tells of a success unless the run succeeded.
  Box Seen(const Box& box) {
    const bool tellsSuccess = box.text.find(kStageDone) != std::wstring::npos;
    EXPECT_TRUE(row.succeeds() || !tellsSuccess) << "success reported: " << ToUtf8(box.text);
    return box;
  }

  void ExpectLists(Lists lists) {
    const Texts* want = kListed[static_cast<int>(lists)];
    EXPECT_EQ(app_.Items(Ctl::Combo0), want[0]);
    EXPECT_EQ(app_.Selected(Ctl::Combo0), want[0].empty() ? -1 : 0);
    // A path that names no file empties the edition list only: the hidden lists wait for a query.
    if (lists == Lists::Empty && row.afterImage) return;
    EXPECT_EQ(app_.Items(Ctl::Combo1), want[1]);
    EXPECT_EQ(app_.Items(Ctl::Combo2), want[2]);
  }

  // Types the image path from a second thread: the change handler may take its time (a slow query,
  // a modal error box) while the test acts.
  std::future<bool> TypeAside() {
    return std::async(std::launch::async, [this] { return app_.SetText(Ctl::Text1, image_, 60000); });
  }

  // A close request that must be refused while the run goes on.
  void CloseRefused(HWND openBox = nullptr) {
    std::future<int> query = row.sessionEnd ? QueryEndSession(app_.main()) : std::future<int>();
    if (!row.sessionEnd) app_.RequestClose();
    const Box refused = Seen(app_.WaitBox(10000, openBox));
    ASSERT_TRUE(refused) << "no answer to the close request";
    EXPECT_EQ(refused.caption, L"警告！");
    EXPECT_EQ(refused.text, L"正在安装系统，无法关闭！");
    app_.Answer(refused, IDOK);
    EXPECT_TRUE(app_.WaitGone(refused));
    if (row.sessionEnd) { EXPECT_EQ(Ready(query, 10000) ? query.get() : -1, 0) << "the session end went on"; }
    EXPECT_TRUE(app_.Running());
  }

  void ExpectEndBox(const Box& box) {
    EXPECT_NE(row.end, End::None) << "a row without a last box: " << ToUtf8(box.text);
    EXPECT_EQ(box.caption, row.end == End::Error ? L"错误" : L"提示：") << ToUtf8(box.text);
    if (row.end == End::Done) { EXPECT_EQ(box.text, kStageDone); }
    const std::wstring restart = L"\n您的电脑将在5秒后重新启动！若想取消自动重启任务，请单击“取消”。";
    if (row.end == End::Restart) { EXPECT_EQ(box.text, kStageDone + restart); }
    for (const std::wstring& piece : row.endText) {
      EXPECT_NE(box.text.find(piece), std::wstring::npos) << ToUtf8(piece) << " not in: " << ToUtf8(box.text);
    }
  }

  // A box after which nothing may come: answered, and the window idle.
  void Dismiss(const Box& box, int answer) {
    app_.Answer(box, answer);
    EXPECT_TRUE(app_.WaitGone(box));
    EXPECT_FALSE(Seen(app_.WaitBox(300))) << "another box after: " << ToUtf8(box.text);
    ExpectIdle(app_);
  }

  void TypeImage() {
    if (row.queryBox) {
      // The query's error box is modal inside the change handler: typed from the side.
      std::future<bool> typing = TypeAside();
      const Box box = Seen(app_.WaitBox(20000));
      ASSERT_TRUE(box) << "no box from the query";
      EXPECT_EQ(box.caption, L"错误");
      EXPECT_NE(box.text.find(row.queryBox), std::wstring::npos) << ToUtf8(box.text);
      app_.Answer(box, IDOK);
      ASSERT_TRUE(Ready(typing, 20000));
      return;
    }
    if (row.afterImage) {
      ASSERT_TRUE(app_.SetText(Ctl::Text1, EnvOr(L"MORVANE_SMALL_IMAGE")));
      ExpectLists(Lists::Small);
    }
    ASSERT_TRUE(app_.SetText(Ctl::Text1, image_));
    EXPECT_TRUE(WindowsOf(app_.pid()).empty()) << "an unexpected box after the query";
  }

  void RunRow() {
    Env env = row.env;
    env[L"windir"] = windir_;
    ASSERT_NO_FATAL_FAILURE(Tamper(true));
    std::vector<Box> early;
    ASSERT_TRUE(app_.Launch(exe_, env, &early)) << "the main window did not appear";
    for (const Box& box : early) Seen(box);
    ASSERT_EQ(early.size(), row.earlyBox ? 1u : 0u) << (early.empty() ? "" : ToUtf8(early[0].text));
    if (row.earlyBox) {
      EXPECT_EQ(early[0].caption, L"警告！");
      EXPECT_NE(early[0].text.find(row.earlyBox), std::wstring::npos) << ToUtf8(early[0].text);
    }
    if (row.close == CloseAt::Query) {
      // The query's tool never ends: the close ends the query's processes and the window.
      std::future<bool> typing = TypeAside();
      const auto queryRuns = [&] { return FileExists(temp_ + L"WIMInfo.bat") && ProcessesNamed(kTool) > 0; };
      EXPECT_TRUE(App::WaitFor(queryRuns, 10000)) << "the query's tool did not start";
      app_.RequestClose();
      EXPECT_TRUE(app_.WaitExit(20000)) << "the window did not close";
      EXPECT_EQ(ProcessesNamed(kTool), 0) << "the query's tool still runs";
      EXPECT_TRUE(Ready(typing, 10000));
      return;
    }
    ASSERT_NO_FATAL_FAILURE(TypeImage());
    ExpectLists(row.lists);
    if (row.flow == Flow::Query) {
      ExpectIdle(app_);
      if (!row.sessionEnd) return;
      std::future<int> query = QueryEndSession(app_.main());
      EXPECT_EQ(Ready(query, 5000) ? query.get() : -1, 1) << "an idle window refused the session end";
      return;
    }
    ASSERT_NO_FATAL_FAILURE(Tamper(false));
    Box box = Seen(PressStart(app_, row.boot, row.target, row.restart));
    ASSERT_TRUE(box) << "no box after Start";
    const bool confirmation = box.caption == L"操作提示：";
    if (row.flow == Flow::Start) {
      // A confirmation to wipe the target means the refusal came too late: cancelled here.
      EXPECT_FALSE(confirmation) << "accepted, the confirmation came: " << ToUtf8(box.text);
      if (!confirmation) ExpectEndBox(box);
      return Dismiss(box, confirmation ? IDCANCEL : IDOK);
    }
    ASSERT_TRUE(confirmation) << ToUtf8(box.text);
    EXPECT_EQ(box.text, L"警告：本操作将会删除[" + row.target + L"]盘上的所有数据，且不可恢复。\r\r"
                        L"若想继续，请单击“确定”。若想退出，请单击“取消”。");
    if (row.flow == Flow::Cancel) {
      Dismiss(box, IDCANCEL);
      return ExpectLists(row.lists);
    }
    app_.Answer(box, IDOK);
    ASSERT_TRUE(app_.WaitGone(box));
    if (row.close == CloseAt::Format) {
      ASSERT_TRUE(app_.WaitText(Ctl::Status, L"正在格式化磁盘 [" + row.target + L"]", 10000));
      CloseRefused();
    } else if (row.close == CloseAt::Apply) {
      ASSERT_TRUE(app_.WaitText(Ctl::Command4, L"正在安装", 20000));
      ASSERT_TRUE(app_.WaitFor([&] { return FileExists(temp_ + L"apply.bat"); }, 10000));
      CloseRefused();
      EXPECT_TRUE(FileExists(temp_ + L"apply.bat")) << "the apply should still be running";
    }
    box = Seen(app_.WaitBox(90000));
    ASSERT_TRUE(box) << "the run did not end";
    ExpectEndBox(box);
    // The guard holds while the last box is open; Start gets back the focus it had when pressed.
    if (!row.formatFails) { EXPECT_EQ(app_.Text(Ctl::Command4), L"正在安装"); }
    if (row.close == CloseAt::EndBox) CloseRefused(box.hwnd);
    app_.Answer(box, row.answer);
    EXPECT_TRUE(app_.WaitGone(box));
    ExpectIdle(app_);
    const auto startFocused = [&] { return app_.Focused() == app_.Control(Ctl::Command4); };
    if (!row.formatFails) { EXPECT_TRUE(app_.WaitFor(startFocused, 5000)); }
    ExpectLists(row.lists);
    // The image's files are on the target after a completed run.
    const std::wstring source = EnvOr(L"MORVANE_SOURCE_DIR");
    const bool installed = row.succeeds() && !source.empty();
    for (const wchar_t* file : {L"\\Windows\\System32\\ntoskrnl.exe", L"\\Windows\\System32\\big.bin",
                                L"\\Users\\Public\\说明.txt"}) {
      if (installed) { EXPECT_EQ(ReadAll(source + file), ReadAll(row.target + file)) << ToUtf8(file); }
    }
  }

  // What every row ends with: a close when idle, the stand-ins' calls, the temporary files.
  void Run() {
    RunRow();
    Undo();
    if (app_.Running()) {
      EXPECT_TRUE(WindowsOf(app_.pid()).empty()) << "a box is still open";
      app_.RequestClose();
      EXPECT_TRUE(app_.WaitExit(5000)) << "the idle window did not close at once";
    }
    for (const wchar_t* name : kRunFiles) EXPECT_FALSE(FileExists(temp_ + name)) << "left: " << ToUtf8(name);
    std::vector<std::string> want;
    if (row.calls == Calls::Format) want = {FormatCall(row.target)};
    if (row.calls >= Calls::Whole) want = WholeRunCalls(row.target, row.boot, row.lists == Lists::Version5);
    if (row.calls == Calls::WholeAndRestart) {
      // The restart is started, not waited for: its line may come a moment after the box.
      want.push_back("shutdown.exe -r -f -t 5");
      if (row.answer == IDCANCEL) want.push_back("shutdown.exe -a");
      App::WaitFor([&] { return ReadLines(log_).size() >= want.size(); }, 10000);
    }
    const std::vector<std::string> calls = ReadLines(log_);
    EXPECT_EQ(calls, want);
    for (const std::string& call : calls) {
      if (call.rfind("format.com", 0) == 0) { EXPECT_EQ(call, FormatCall(L"T:")) << "formatted wrongly"; }
      if (row.end != End::Restart) { EXPECT_NE(call.rfind("shutdown.exe", 0), 0u) << call; }
    }
    if (row.noQuery()) { EXPECT_EQ(ReadAll(temp_ + L"WIMInfo.xml"), kEarlierQuery) << "a query ran"; }
  }

  const Row& row = GetParam();
  App app_;
  std::wstring log_, windir_, temp_, exe_, image_;
  std::vector<std::wstring> moved_;
  bool hidden_ = false;
};

TEST_P(Matrix, Row) { Run(); }

// The whole installations also run on the prefixes of other systems (run.sh's focused runs).
class EndToEnd : public Matrix {};
TEST_P(EndToEnd, Run) { Run(); }

std::string RowName(const ::testing::TestParamInfo<Row>& info) { return info.param.name; }
INSTANTIATE_TEST_SUITE_P(, Matrix, ::testing::ValuesIn(Rows()), RowName);
INSTANTIATE_TEST_SUITE_P(Restart, EndToEnd, ::testing::ValuesIn(EndToEndRows()), RowName);

}  // namespace
}  // namespace morvane::wine
