// The fault and bad-input matrix, through the real program under Wine: hostile image paths, files
// that are no image, a missing or misbehaving image tool, a missing or failing format.com, missing
// or failing boot tools, bad drive fields, an unwritable temporary folder, and a close request in
// every state. Each row is one program run, checked as matrix_runner.h says.
#include "matrix_runner.h"

namespace morvane::wine {
namespace {

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
      Q("Path_Relative", L"..\\Morvane Tools\\images\\small.wim").Set(&Row::asTyped),
      // Device names are no files, nor is a wildcard: nothing is queried.
      Q("Device_Con", L"CON").Shows(Lists::Empty).Set(&Row::asTyped),
      Q("Device_NulWim", L"NUL.wim").Shows(Lists::Empty).Set(&Row::asTyped),
      Q("Path_Wildcard", L"S:\\*.wim").Shows(Lists::Empty).Set(&Row::asTyped),
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
      // A format.com that asks a question reads end of file and fails at once, instead of waiting
      // for a keyboard nobody sees.
      Install("Format_AsksAQuestion", End::Error, Calls::Format, {{L"MORVANE_STANDIN_ASK", L"format.com"}},
              {L"格式化磁盘[T:]失败（format.com 退出代码 4），安装已停止。"}).Set(&Row::formatFails),
      // The boot tools: absent from the program folder, or built for a machine the system cannot
      // run: refused before anything is formatted.
      Refused("BootTools_Missing", L"找不到引导工具“C:\\Morvane NoBoot\\Bin\\bcdboot.exe”，无法安装。")
          .Set(&Row::exeVar, L"MORVANE_NOBOOT_EXE"),
      Refused("Bootsect_OtherMachine", L"引导工具“C:\\Morvane ArmBoot\\Bin\\bootsect.exe”是 ARM64 程序")
          .Set(&Row::exeVar, L"MORVANE_ARMBOOT_EXE"),
      // Failing for the installed system: the image is on the target by then; the last box says
      // what failed, and no restart is started though it is ticked.
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
      Drives("Target_ImageDrive", L"S:", L"B:", imageDrive),
      // The image on a letter made for a folder of the target (subst).
      Drives("Target_HoldsTheSubstLetterOfTheImage", L"T:", L"B:",
             L"不能安装到[T:]盘：所选的映像文件所在的[U:]盘是这个盘上的文件夹“T:\\images”，格式化会把它删除。")
          .Set(&Row::image, L"U:\\small.wim").Set(&Row::tamper, Tamper::SubstOfTarget),
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
      // Targets the scan of fixed drives does not list: a removable drive, and X: on a running
      // Windows (on a preinstallation environment X: holds the running Windows and is refused so).
      // They get their boot files all the same, last.
      Restarts("Target_Removable", {}).Set(&Row::target, L"R:"),
      Whole("Target_XOnARunningWindows").Set(&Row::target, L"X:"),
      // A 64-bit system without WoW64 (no SysWOW64): the image tool from Bin, every tool 64-bit (the
      // x86 program runs the x86 ones).
      Restarts("Deploy_64BitWithoutWow64", {}).Set(&Row::windirVar, L"MORVANE_WINDIR_PLAIN"),
      // Start pressed while the query of a slow tool runs: the confirmation comes after it.
      Whole("Start_DuringASlowQuery").Set(&Row::env, Env{{L"MORVANE_TOOL_DELAY_MS", L"info=3000"}})
          .Set(&Row::startInQuery),
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
      // The progress of an apply replayed from a Windows transcript reaches the window; the tools
      // take their time so that each stage can be seen. No Windows folder reaches the target, so
      // bcdboot fails for it and the last box says so.
      Whole("Apply_ReplayedStagesReachTheBar").Set(&Row::replay).Set(&Row::end, End::BootNote)
          .Set(&Row::endText, Texts{bootNote, bcdbootFailed}).Set(&Row::env, Env{
          {L"MORVANE_TOOL_MODE", L"transcript"}, {L"MORVANE_TOOL_TRANSCRIPT", EnvOr(L"MORVANE_TRANSCRIPT")},
          {L"MORVANE_TOOL_TRANSCRIPT_MS", L"120"},
          {L"MORVANE_STANDIN_DELAY_MS", L"format.com=300,bcdboot.exe=100,bootsect.exe=200"}}),
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

TEST_P(Matrix, Row) {
  RunRow();
  Finish();
}

// The whole installations also run on the prefixes of other systems (run.sh's focused runs).
class EndToEnd : public Matrix {};
TEST_P(EndToEnd, Run) {
  RunRow();
  Finish();
}

INSTANTIATE_TEST_SUITE_P(, Matrix, ::testing::ValuesIn(Rows()), RowName);
// Whole installations whose restart box is answered OK or Cancel, and one of a version 5 image.
INSTANTIATE_TEST_SUITE_P(Restart, EndToEnd, ::testing::Values(
    Restarts("Ok", {}), Restarts("Cancel", {}).Set(&Row::answer, IDCANCEL),
    Restarts("Version5", {}).Set(&Row::image, L"S:\\xp.wim").Shows(Lists::Version5)), RowName);

}  // namespace
}  // namespace morvane::wine
