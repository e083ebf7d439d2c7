// The fault and bad-input matrix, through the real program under Wine: hostile image paths, files
// that are no image, a missing or misbehaving image tool, a missing or failing format.com, missing
// or failing boot tools, bad drive fields, a broken temporary folder, and a close request while the
// program works. Each row is one program run, and every row ends with the same checks (TearDown): the
// program is idle, or has closed when it was asked to, and closes at once when idle; it has told
// exactly the row's boxes, "complete" only of a run that completed; it has run exactly the tools the
// row allows (a format of nothing but the confirmed target), and has left no batch file behind.
#include "app_driver.h"

#include <tlhelp32.h>

#include <filesystem>
#include <fstream>
#include <future>

namespace morvane::wine {
namespace {

const wchar_t kTool[] = L"wimlib-imagex.exe", kBadSource[] = L"Windows源无效！";
const wchar_t kNoClose[] = L"正在安装系统，无法关闭！", kStageDone[] = L"这个阶段的安装完成，重新启动后，Sysprep部署阶段将开始！";
const char kEarlier[] = "left by an earlier query";
const wchar_t* const kRunFiles[] = {L"apply.bat", L"apply.xml", L"apply.err", L"WIMInfo.bat"};  // in %windir%\temp

// How far a row goes: the image path typed and the lists checked; Start refused; the confirmation
// cancelled; accepted, and then no format.com to start, the format failing, the apply failing;
// completed, with a note on the boot files, with the restart unticked, with the restart box.
enum End { kQuery, kRefused, kCancelled, kNoFormat, kFormatFails, kApplyFails, kBootNote, kDone, kRestart };
// The lists shown: the small image, the image whose names hold 0x0A bytes in UTF-16 (names.wim),
// the three images with full-width names, the small image as version 5 (xp.wim), or nothing.
enum Lists { kSmall, kNames, kThree, kVersion5, kEmpty };
const Texts kListed[][3] = {  // by Lists: labels, display names, major versions
    {{L"Small:Small test system"}, {L"小型测试系统"}, {L"10"}},
    {{L"上海:《简介》", L"《专业》版:第一行\n第二行", L"Home"}, {L"上海版", L"《专业》版", L"Home"}, {L"10", L"", L""}},
    {{L"Win10 Pro:专业版", L"Home", L"ABC123 企业版"}, {L"Windows 10 专业版", L"Home", L"ABC123 企业版"}, {L"10", L"6", L""}},
    {{L"Small:Small test system"}, {L"小型测试系统"}, {L"5"}},
    {}};
// What a row does besides, as bits: the path typed as it stands (relative to the program's folder);
// in the pass under an English locale (code pages 1252 and 437); the tool replaying a recorded
// Windows apply (no files reach the target); Start pressed while the query's tool runs; the restart
// box answered Cancel; a close request (with kSessionEnd the session-end query of a log-off) while
// a query whose tool never ends runs, while the image is applied, while the last box is open; Temp
// made hidden and system before the launch; the small image put into T:\images and U: made to
// stand for that folder; Temp taken away between the query and Start.
enum How : unsigned {
  kAsTyped = 1, kEnglish = 2, kReplay = 4, kStartInQuery = 8, kCancelRestart = 16, kSessionEnd = 32, kCloseInQuery = 64,
  kCloseInApply = 128, kCloseAtLastBox = 256, kHideTemp = 512, kSubst = 1024, kTempGoes = 2048};

struct Row {
  std::string name;
  End end = kQuery;
  std::wstring image = L"";  // under the matrix folder unless it names a drive; empty: the rig's small image
  Texts told = {};           // a piece of each box the program tells, in order (a completion's text is known)
  Lists lists = kSmall;
  Env env = {};  // for the program; "windir": the Windows folder to run with (else this process's)
  unsigned how = 0;
  std::wstring exe = L"";  // the program: the rig's, or MORVANE_<exe>_EXE
  std::wstring target = L"T:", boot = L"B:";
};

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
std::string ReadAll(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
int ProcessesNamed(const wchar_t* name) {  // in the prefix
  UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    count += lstrcmpiW(entry.szExeFile, name) == 0;
  }
  return count;
}

class Matrix : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    // Wine takes a program's code pages from the Unix locale it was started under, which a child
    // inherits: run.sh runs these rows in a pass of their own under LANG=en_US.UTF-8.
    ASSERT_TRUE(!(row.how & kEnglish) || ::GetOEMCP() == 437) << "an English row: run it with LANG=en_US.UTF-8";
    ::DeleteFileW(log_.c_str());
    for (const wchar_t* name : kRunFiles) ::DeleteFileW((temp_ + name).c_str());
    if (noQuery_) { ASSERT_TRUE(std::ofstream(std::filesystem::path(temp_ + L"WIMInfo.xml")) << kEarlier); }
    if (row.how & kSubst) {
      // As "subst U: T:\images" makes it: the processes started after it read \??\T:\images from
      // QueryDosDevice. Under Wine it lasts as long as the wine server (which this process keeps),
      // and the files still come through the drive's own link: the rig points it at that folder.
      ::CreateDirectoryW(L"T:\\images", nullptr);  // a format of T: may have taken it
      ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, L"U:", nullptr);
      ASSERT_TRUE(::CopyFileW(EnvOr(L"MORVANE_SMALL_IMAGE").c_str(), L"T:\\images\\small.wim", FALSE));
      ASSERT_TRUE(::DefineDosDeviceW(0, L"U:", L"T:\\images"));
    }
    const DWORD hidden = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (row.how & kHideTemp) ::SetFileAttributesW(tempDir_.c_str(), hidden);
    ASSERT_TRUE(!(row.how & kHideTemp) || (::GetFileAttributesW(tempDir_.c_str()) & hidden) == hidden);
  }

  // Whether the window lets the session end, asked as Windows asks at a log-off or a shut-down.
  bool EndsSession() {
    DWORD_PTR answer = 0;
    return ::SendMessageTimeoutW(app_.main(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 60000, &answer) && answer;
  }

  // A close request, or the session-end query, refused while the run goes on; asked from a second
  // thread, since the refusal shows its box before the answer comes.
  void CloseRefused(HWND openBox = nullptr) {
    const auto ask = [&] { return row.how & kSessionEnd ? EndsSession() : (app_.RequestClose(), false); };
    std::future<bool> ended = std::async(std::launch::async, ask);
    const Box refused = app_.WaitBox(10000, openBox);
    EXPECT_EQ(refused.text, kNoClose);
    app_.Answer(refused, IDOK);
    EXPECT_FALSE(ended.get()) << "the session end went on";
  }

  void RunRow() {
    ASSERT_TRUE(app_.Launch(exe_, row.env)) << "the main window did not appear";
    // Typed from a second thread: the change handler may take its time (a slow query) or show a
    // modal box (a query's error) while this one acts.
    std::future<bool> typing = std::async(std::launch::async, [this] { return app_.SetText(Ctl::Text1, image_); });
    if (row.how & (kCloseInQuery | kStartInQuery)) {
      EXPECT_TRUE(WaitFor([&] { return ProcessesNamed(kTool) > 0; }, 10000)) << "no query runs";
      if (row.how & kStartInQuery) return Installation();  // acted on once the query is over
      app_.RequestClose();  // ends the query's tool, which never ends, and the window
      EXPECT_TRUE(app_.WaitExit(20000)) << "the window did not close";
      EXPECT_EQ(ProcessesNamed(kTool), 0) << "the query's tool still runs";
      return;
    }
    const auto typed = [&] {
      if (const Box box = app_.WaitBox(0)) app_.Answer(box, IDOK);  // a start-up warning, a query's error
      return typing.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    EXPECT_TRUE(WaitFor(typed, 60000));
    if (row.end == kQuery) return;
    if (row.how & kTempGoes) { ASSERT_TRUE(::MoveFileExW(tempDir_.c_str(), (tempDir_ + L".away").c_str(), 0)); }
    Installation();
  }

  // Presses Start and follows the row's flow to its last box.
  void Installation() {
    Box box = PressStart(app_, row.boot, row.target, row.end != kDone);
    const bool confirmation = box.caption == L"操作提示：";
    EXPECT_EQ(confirmation, row.end >= kCancelled) << ToUtf8(box.text);
    // A refusal is answered; a confirmation that should not have come is cancelled.
    app_.Answer(box, !confirmation || row.end > kCancelled ? IDOK : IDCANCEL);
    if (!confirmation || row.end <= kCancelled) return;
    // Every look at the window until the last box: the bar, the status, a close request when due.
    Texts statuses;
    std::vector<int> bars = {0};
    bool closing = row.how & kCloseInApply;
    const auto ended = [&] {
      box = app_.WaitBox(0);
      if (app_.Bar() != bars.back()) bars.push_back(app_.Bar());  // the completion resets it before its box
      if (box) return true;
      if (statuses.empty() || app_.Text(Ctl::Status) != statuses.back()) statuses.push_back(app_.Text(Ctl::Status));
      if (closing && FileExists(temp_ + L"apply.bat")) {
        CloseRefused();
        closing = false;
      }
      return false;
    };
    ASSERT_TRUE(WaitFor(ended, 90000)) << "the run did not end";
    EXPECT_FALSE(closing) << "no close request made";
    const std::wstring source = EnvOr(L"MORVANE_SOURCE_DIR");  // a completed run: the image's files on the target
    for (const wchar_t* file : {L"\\Windows\\System32\\big.bin", L"\\Users\\Public\\说明.txt"}) {
      if (row.end >= kDone && !(row.how & kReplay)) { EXPECT_EQ(ReadAll(source + file), ReadAll(row.target + file)); }
    }
    if (row.how & kReplay) {  // the replayed stages between the format and the boot files; the bar follows them
      EXPECT_EQ(statuses, (Texts{L"正在格式化磁盘 [T:]", L"正在创建文件", L"正在提取文件", L"正在应用文件",
                                 L"正在更新Boot", L"正在更新MBR", L"状态"}));
      EXPECT_GT(std::count_if(bars.begin(), bars.end(), [](int bar) { return bar > 0 && bar < 100; }), 3);
      EXPECT_EQ(bars.back(), 0);
    }
    if (row.how & kCloseAtLastBox) CloseRefused(box.hwnd);
    EXPECT_TRUE(app_.Answer(box, row.how & kCancelRestart ? IDCANCEL : IDOK));
  }

  void TearDown() override {
    if (row.how & kHideTemp) ::SetFileAttributesW(tempDir_.c_str(), FILE_ATTRIBUTE_DIRECTORY);
    if (row.how & kTempGoes) ::MoveFileExW((tempDir_ + L".away").c_str(), tempDir_.c_str(), 0);
    if (app_.Running()) {
      // Idle: Start reads "开始安装" again, the status line rests, every input is enabled, no box is
      // open, the lists are the row's; the session may end, and a close ends the program at once.
      EXPECT_TRUE(WaitFor([&] { return app_.Text(Ctl::Command4) == L"开始安装"; }, 10000)) << "Start is not back";
      EXPECT_EQ(app_.Text(Ctl::Status), L"状态");
      for (Ctl c : kRunInputs) EXPECT_TRUE(app_.Enabled(c)) << "control " << static_cast<int>(c);
      EXPECT_EQ(WindowOf(app_.pid()), nullptr) << "a box is still open";
      EXPECT_EQ((std::vector<Texts>{app_.Items(Ctl::Combo0), app_.Items(Ctl::Combo1), app_.Items(Ctl::Combo2)}),
                (std::vector<Texts>(std::begin(kListed[row.lists]), std::end(kListed[row.lists]))));
      EXPECT_TRUE(!(row.how & kSessionEnd) || EndsSession()) << "an idle window refused the session end";
      app_.RequestClose();
      EXPECT_TRUE(app_.WaitExit(5000)) << "the idle window did not close at once";
    }
    // The boxes told, but for the confirmation and the refused closes: the row's, and "complete"
    // only where the run completed.
    Texts told, pieces = row.told;
    std::string all;
    for (const Box& box : app_.answered) {
      all += "\n  " + ToUtf8(box.caption + L" " + box.text);
      if (box.caption != L"操作提示：" && box.text != kNoClose) told.push_back(box.text);
    }
    if (row.end >= kDone) pieces.push_back(kStageDone);
    const auto holds = [](const std::wstring& box, const std::wstring& piece) { return box.find(piece) != box.npos; };
    EXPECT_TRUE(std::equal(told.begin(), told.end(), pieces.begin(), pieces.end(), holds)) << all;
    EXPECT_TRUE(row.end >= kDone || all.find(ToUtf8(kStageDone)) == all.npos) << all;
    for (const wchar_t* name : kRunFiles) EXPECT_FALSE(FileExists(temp_ + name)) << "left: " << ToUtf8(name);
    if (noQuery_) { EXPECT_EQ(ReadAll(temp_ + L"WIMInfo.xml"), kEarlier) << "a query ran"; }
    // The stand-ins' calls. A whole run: the format, bcdboot twice for each Windows folder, the
    // installed system's last (bcdboot makes it the default entry; also on a removable target, which
    // the scan does not list), bootsect. An image of version 5: no boot files, the older boot code.
    // T:\Windows that an earlier row installed is another system when the target is not T:.
    std::string want, calls;
    const std::string t = ToUtf8(row.target), b = ToUtf8(row.boot);
    const bool whole = row.end >= kBootNote, v5 = row.lists == kVersion5;
    if (row.end >= kFormatFails) want += "format.com " + t + " /FS:NTFS /v:Win /q /x /y\r\n";
    for (const std::string drive : {earlierT_ ? "T:" : "", "C:", t.c_str()}) {
      for (const char* form : {"", " /f uefi"}) {
        if (whole && !v5 && !drive.empty()) want += "bcdboot.exe " + drive + "\\Windows /s " + b + form + " /l zh-cn\r\n";
      }
    }
    if (whole) want += "bootsect.exe /nt" + std::string(v5 ? "52 " : "60 ") + b + " /mbr\r\n";
    if (row.end == kRestart) want += "shutdown.exe -r -f -t 5\r\n";
    if (row.how & kCancelRestart) want += "shutdown.exe -a\r\n";
    // A restart is started, not waited for: its line may come a moment after the box.
    WaitFor([&] { return (calls = ReadAll(log_)).size() >= want.size(); }, row.end == kRestart ? 10000 : 0);
    EXPECT_EQ(calls, want);
  }

  const Row& row = GetParam();
  App app_;
  const std::wstring log_ = EnvOr(L"MORVANE_STANDIN_LOG");
  const std::wstring exe_ = EnvOr((L"MORVANE_" + row.exe + (row.exe.empty() ? L"EXE" : L"_EXE")).c_str());
  const std::wstring windir_ = row.env.count(L"windir") ? row.env.at(L"windir") : EnvOr(L"windir");
  const std::wstring tempDir_ = windir_ + L"\\Temp", temp_ = tempDir_ + L"\\";
  const bool asIs_ = (row.how & kAsTyped) || row.image.find(L':') != std::wstring::npos;
  const std::wstring image_ =
      row.image.empty() ? EnvOr(L"MORVANE_SMALL_IMAGE") : asIs_ ? row.image : EnvOr(L"MORVANE_MATRIX") + L"\\" + row.image;
  const bool noQuery_ = (row.how & kAsTyped) && row.lists == kEmpty;  // names no file: a WIMInfo.xml left before stays
  const bool earlierT_ = row.target != L"T:" && std::filesystem::is_directory(L"T:\\Windows");
};
TEST_P(Matrix, Row) { RunRow(); }

// Far over 260 characters, the folders separated by `slash`.
std::wstring Deep(const wchar_t* top, int folders, const wchar_t* file, const wchar_t* slash = L"\\") {
  std::wstring path = top;
  for (int i = 1; i <= folders; ++i) path += slash + (L"folder number " + std::to_wstring(i) + L" with a long name");
  return path + slash + file;
}
Env Windir(const std::wstring& kind) { return {{L"windir", EnvOr((L"MORVANE_WINDIR_" + kind).c_str())}}; }
Env Mode(const wchar_t* mode, const wchar_t* commands) {
  return {{L"MORVANE_TOOL_MODE", mode}, {L"MORVANE_TOOL_MODE_FOR", commands}};
}
Row Drives(const char* name, const wchar_t* target, const wchar_t* boot, const wchar_t* told, const wchar_t* image = L"") {
  const unsigned how = std::wstring(image).rfind(L"U:", 0) == 0 ? kSubst : 0u;  // the image on a letter made for T:\images
  return Row{name, kRefused, image, {told}, kSmall, {}, how, L"", target, boot};
}

std::vector<Row> Rows() {
  const std::wstring deep = Deep(L"deep", 14, L"the image file with a long name.wim");
  const wchar_t* imageDrive = L"不能安装到[S:]盘：所选的映像文件就在这个盘上";
  const wchar_t* bcdbootFailed = L"bcdboot.exe（T:\\Windows） 失败";  // only a boot note names failures
  const wchar_t *toolDelay = L"MORVANE_TOOL_DELAY_MS", *bcdboot = L"MORVANE_STANDIN_BCDBOOT";
  return {
      // Image paths: a character the batch file must not expand; letters in and outside the ANSI code
      // page (936; outside: carried by the short name); paths far over 260 characters, the short form
      // too; spellings the system makes whole; the ESD form; all at once through installations.
      {"Path_Percent", kQuery, L"%OS%\\%PATH%.wim"},
      {"Path_ChineseInCodePage", kQuery, L"中文目录\\系统映像.wim"},
      {"Path_ThaiOutsideCodePage", kQuery, L"ภาพ\\ภาพระบบ.wim"},
      {"Path_ShortFormOver260", kQuery, Deep(L"deeper", 32, L"image.wim")},
      {"Path_ForwardSlashesOver260", kQuery, Deep(L"S:/matrix/deep", 14, L"the image file with a long name.wim", L"/")},
      {"Path_DriveRelativeWithDotDot", kQuery, L"S:matrix\\a&b\\..\\(x86)\\a(1).wim"},
      {"Path_Relative", kQuery, L"..\\Morvane Tools\\images\\small.wim", {}, kSmall, {}, kAsTyped},
      {"Path_SolidEsd", kQuery, L"small.esd"},
      {"Path_AllTogether_Install", kDone, L"all & %OS% ^ (x) !\\映像 ภาพ 100%.wim"},
      {"Path_Over260_Install", kDone, deep},
      // Device names are no files, nor is a wildcard: nothing is queried.
      {"Device_Con", kQuery, L"CON", {}, kEmpty, {}, kAsTyped},
      {"Device_NulWim", kQuery, L"NUL.wim", {}, kEmpty, {}, kAsTyped},
      {"Path_Wildcard", kQuery, L"S:\\*.wim", {}, kEmpty, {}, kAsTyped},
      // Full-width names made half-width; names whose UTF-16 code units hold a 0x0A byte (which the
      // tool's standard output in text mode turns into CR LF), a description with a line feed, XML
      // ending with one: the description is read from the file the tool writes itself.
      {"Path_ThreeImagesWithFullWidthNames", kQuery, L"S:\\img & dir\\three.wim", {}, kThree},
      {"TextMode_NamesWithLineFeedBytes", kQuery, L"names.wim", {}, kNames},
      // Files that are no usable image: Start refuses the source.
      {"File_Truncated", kRefused, L"bad\\truncated.wim", {kBadSource}, kEmpty},
      {"File_NoImages", kRefused, L"bad\\no-images.wim", {kBadSource}, kEmpty},
      {"File_Folder", kRefused, L"bad\\folder.wim", {kBadSource}, kEmpty},
      {"File_Hidden", kRefused, L"S:\\.hidden.wim", {kBadSource}, kEmpty},
      // The image tool: absent, dying half-way, writing garbage, failing at once; in Bin64 where the
      // Windows folder has a SysWOW64 folder (the probe program has it in Bin only).
      {"Tool_Missing_Query", kQuery, L"", {}, kEmpty, {}, 0, L"NOTOOL"},
      {"Tool_Dies_Query", kQuery, L"", {}, kEmpty, Mode(L"die", L"info")},
      {"Tool_Garbage_Query", kQuery, L"", {}, kEmpty, Mode(L"garbage", L"")},
      {"ToolsFolder_Bin", kQuery, L"", {}, kSmall, Windir(L"PLAIN"), 0, L"PROBE"},
      {"ToolsFolder_Bin64WithSysWow64", kQuery, L"", {}, kEmpty, Windir(L"WOW"), 0, L"PROBE"},
      {"Tool_Fails_Install", kApplyFails, L"", {L"wimlib-imagex 报告：[ERROR] Can't open"}, kSmall, Mode(L"fail", L"apply")},
      {"Tool_Dies_Install", kApplyFails, L"", {L"映像应用失败，安装没有完成！"}, kSmall, Mode(L"die", L"")},
      // Found before anything is formatted: the boot tools absent or of a machine the system cannot
      // run, Temp made a file after the query.
      {"BootTools_Missing", kRefused, L"", {L"找不到引导工具“C:\\Morvane NoBoot\\Bin\\bcdboot.exe”"}, kSmall, {}, 0, L"NOBOOT"},
      {"Bootsect_OtherMachine", kRefused, L"", {L"“C:\\Morvane ArmBoot\\Bin\\bootsect.exe”是 ARM64 程序"}, kSmall, {}, 0, L"ARMBOOT"},
      {"Temp_GoneBeforeStart", kRefused, L"", {L"“C:\\fakewin-vanish\\Temp”不存在"}, kSmall, Windir(L"VANISH"), kTempGoes},
      // Temp a plain file from the start: a warning before the window, an error at the query; a hidden
      // and system Temp is the program's Temp all the same: no warning, a whole run.
      {"Temp_IsAFile", kRefused, L"", {L"无法创建临时文件夹“", L"无法写入文件“C:\\fakewin-filetemp\\temp\\WIMInfo.bat”", kBadSource},
       kEmpty, Windir(L"FILETEMP")},
      {"Temp_HiddenAndSystem", kDone, L"", {}, kSmall, Windir(L"HIDDENTEMP"), kHideTemp},
      // format.com missing, failing, asking a question (it reads end of file and fails at once).
      {"Format_Missing", kNoFormat, L"", {L"无法启动格式化程序“C:\\fakewin-noformat\\System32\\format.com”"}, kSmall, Windir(L"NOFORMAT")},
      {"Format_Fails", kFormatFails, L"", {L"（format.com 退出代码 1）"}, kSmall, {{L"MORVANE_STANDIN_FAIL", L"format.com"}}},
      {"Format_AsksAQuestion", kFormatFails, L"", {L"（format.com 退出代码 4）"}, kSmall, {{L"MORVANE_STANDIN_ASK", L"format.com"}}},
      // bcdboot failing for the installed system: the box says what failed, and no restart is started
      // though it is ticked. Failing where the installed system keeps its boot files (the Windows 7
      // bcdboot, which has no "/f"; another Windows folder): the run completes and restarts.
      {"Bcdboot_FailsForTheInstalledSystem", kBootNote, L"", {bcdbootFailed}, kSmall, {{bcdboot, L"fail=T:\\Windows"}}},
      {"Bcdboot_Windows7", kRestart, L"", {}, kSmall, {{bcdboot, L"win7"}}},
      {"Bcdboot_FailsForAnotherFolder", kRestart, L"", {}, kSmall, {{bcdboot, L"fail=C:\\Windows"}}},
      // An English system: batch files are read in OEM 437, not ANSI 1252; a Windows folder whose name
      // has "é" (0x82 in 437, 0xE9 in 1252) still gets its query and its installation.
      {"CodePage_English_WindowsFolderWithAccent", kDone, L"", {}, kSmall, Windir(L"ACCENT"), kEnglish},
      // Drive fields: no drive; a drive that is not there; the image's drive, also behind a device
      // path, a drive-relative path, a letter made for a folder of the target (subst); the running
      // Windows' drive; the program's.
      Drives("Target_WithBackslash", L"C:\\", L"B:", L"“安装到...”一栏必须是一个盘符加冒号"),
      Drives("Boot_WithBackslash", L"T:", L"C:\\", L"“主引导：”一栏必须是一个盘符加冒号"),
      Drives("Target_Missing", L"Q:", L"B:", L"磁盘[Q:]不存在"),
      Drives("Boot_Missing", L"T:", L"Q:", L"[Q:]"),
      Drives("Target_ImageDrive", L"S:", L"B:", imageDrive),
      Drives("Target_ImageDriveDevicePath", L"S:", L"B:", imageDrive, L"\\\\.\\S:\\small.wim"),
      Drives("Target_ImageDriveRelative", L"S:", L"B:", imageDrive, L"S:small.wim"),
      Drives("Target_HoldsTheSubstLetterOfTheImage", L"T:", L"B:", L"[U:]盘是这个盘上的文件夹“T:\\images”", L"U:\\small.wim"),
      Drives("Target_WindowsDrive", L"C:", L"B:", L"不能安装到[C:]盘：当前正在运行的 Windows 就在这个盘上"),
      {"Target_ProgramDrive", kRefused, L"", {L"不能安装到[P:]盘：本程序就在这个盘上"}, kSmall, {}, 0, L"DRIVE_P", L"P:"},
      // A removable target, which the scan of fixed drives does not list, and X: on a running Windows
      // (refused only as the running system's drive), get their boot files all the same, last. A
      // 64-bit system without WoW64 runs the tools of Bin (the x86 program the x86 ones).
      {"Target_Removable", kRestart, L"", {}, kSmall, {}, 0, L"", L"R:"},
      {"Target_XOnARunningWindows", kDone, L"", {}, kSmall, {}, 0, L"", L"X:"},
      {"Deploy_64BitWithoutWow64", kRestart, L"", {}, kSmall, Windir(L"PLAIN")},
      {"Start_DuringASlowQuery", kDone, L"", {}, kSmall, {{toolDelay, L"info=3000"}}, kStartInQuery},
      {"Confirmation_Cancelled", kCancelled},
      // An apply replayed from a Windows transcript; the tools take their time so that each stage is
      // seen. No Windows folder reaches the target, so bcdboot fails for it, as the real one does.
      {"Apply_ReplayedStagesReachTheBar", kBootNote, L"", {bcdbootFailed}, kSmall,
       {{L"MORVANE_TOOL_MODE", L"transcript"}, {L"MORVANE_TOOL_TRANSCRIPT", EnvOr(L"MORVANE_TRANSCRIPT")},
        {L"MORVANE_TOOL_TRANSCRIPT_MS", L"120"}, {L"MORVANE_STANDIN_DELAY_MS", L"format.com=300,bcdboot.exe=100,bootsect.exe=200"}},
       kReplay},
      // A close request in every state but idle, which every row ends with.
      {"Close_DuringANeverEndingQuery", kQuery, L"", {}, kSmall, {{toolDelay, L"info=3600000"}}, kCloseInQuery},
      {"Close_DuringApply", kDone, L"", {}, kSmall, {{toolDelay, L"apply=2500"}}, kCloseInApply},
      {"Close_WhileLastBoxOpen", kDone, L"", {}, kSmall, {}, kCloseAtLastBox},
      {"SessionEnd_DuringApply", kDone, L"", {}, kSmall, {{toolDelay, L"apply=2500"}}, kCloseInApply | kSessionEnd},
  };
}
std::string RowName(const ::testing::TestParamInfo<Row>& info) { return info.param.name; }
INSTANTIATE_TEST_SUITE_P(, Matrix, ::testing::ValuesIn(Rows()), RowName);

// Whole installations whose restart box is answered OK or Cancel, and one of a version 5 image;
// run.sh runs them on the prefixes of other systems too.
class EndToEnd : public Matrix {};
TEST_P(EndToEnd, Run) { RunRow(); }
INSTANTIATE_TEST_SUITE_P(Restart, EndToEnd,
                         ::testing::Values(Row{"Ok", kRestart}, Row{"Cancel", kRestart, L"", {}, kSmall, {}, kCancelRestart},
                                           Row{"Version5", kRestart, L"S:\\xp.wim", {}, kVersion5}),
                         RowName);

}  // namespace
}  // namespace morvane::wine
