// The rules of pure logic, each in its table: command lines, the image lists, drive names and
// devices, the checks before a format, the tools, versions and error lines, the layout, and the
// apply watch tick by tick.
#include "app/layout.h"
#include "catalogue/image_list.h"
#include "catalogue/image_tool.h"
#include "catalogue/selection.h"
#include "drives/find_windows.h"
#include "fakes.h"
#include "install/command_lines.h"
#include "install/completion.h"
#include "install/drive_check.h"
#include "install/run_watch.h"
#include "install/tool_check.h"
#include "install/watch.h"
#include "shell/quoting.h"

namespace morvane {
namespace {

const wchar_t* const ok = L"(accepted)";

// The rule holds for every text of `yes` and for none of `no`.
template <typename Rule>
void ExpectRule(Rule rule, const Lines& yes, const Lines& no) {
  for (const wstring& text : yes) EXPECT_TRUE(rule(text)) << text;
  for (const wstring& text : no) EXPECT_FALSE(rule(text)) << text;
}

// Batch lines (every path in quotes, "%" doubled; no line for what no quoting carries) and process
// command lines (quotes only where needed, backslashes doubled before a quote), exactly as written.
TEST(Rules, CommandLines) {
  const wstring tool = ImageToolPath(L"C:\\100% (x86) & Co", L"\\Bin");
  const std::pair<std::optional<wstring>, std::optional<wstring>> rows[] = {
      {InfoCommandLine(tool, L"D:\\%PATH%\\a^b!.wim", L"X:\\W"),
       L"\"C:\\100%% (x86) & Co\\Bin\\wimlib-imagex.exe\" info \"D:\\%%PATH%%\\a^b!.wim\" --extract-xml "
       L"\"X:\\W\\temp\\WIMInfo.xml\" >nul"},
      {ApplyCommandLine(ImageToolPath(L"E:\\", L"\\Bin64"), L"D:\\a.wim", 3, L"T:", L"C:\\W"),
       L"\"E:\\Bin64\\wimlib-imagex.exe\" apply \"D:\\a.wim\" 3 T:\\ >\"C:\\W\\temp\\apply.xml\" 2>\"C:\\W\\temp\\apply.err\""},
      {InfoCommandLine(tool, L"D:\\a\"b", L"C:\\W"), std::nullopt},
      {BatchRunLine(L"C:\\A B\\cmd.exe", L"C:\\W & Co\\a.bat"), L"\"C:\\A B\\cmd.exe\" /d /v:off /c \"\"C:\\W & Co\\a.bat\"\""},
      {FormatCommandLine(L"C:\\My Windows\\", L"D:"), L"\"C:\\My Windows\\\\System32\\format.com\" D: /FS:NTFS /v:Win /q /x /y"},
      {ArgQuote(L"a\\\\\"b"), L"\"a\\\\\\\\\\\"b\""}};
  for (const auto& [line, expected] : rows) EXPECT_EQ(line, expected);
}

// The lists from the tool's XML: labels (the name, and ":" the description where it differs),
// display names (else the name), major versions; nothing decoded or trimmed; only whole images; an
// odd last byte of the file is dropped; text in the code page is no description.
TEST(Rules, ImageLists) {
  const std::tuple<std::string, Lines, Lines, Lines> rows[] = {
      {Utf16Le(L"<WIM><IMAGE INDEX=\"1\"><NAME>A</NAME><DESCRIPTION>A</DESCRIPTION></IMAGE><IMAGE INDEX=\"2\"><NAME>P"
               L"</NAME><DESCRIPTION> R&amp;D</DESCRIPTION><DISPLAYNAME>专业版</DISPLAYNAME><MAJOR>10</MAJOR></IMAGE>"),
       {L"A", L"P: R&amp;D"}, {L"A", L"专业版"}, {L"", L"10"}},
      {Utf16Le(L"<IMAGE>x</IMAGE><IMAGE INDEX><NAME>a</NAME></IMAGE><IMAGE INDEX><NAME>b</NA"), {L"a"}, {L"a"}, {L""}},
      {Utf16Le(L"<IMAGE INDEX><NAME>上</NAME></IMAGE>") + "\x0D", {L"上"}, {L"上"}, {L""}},
      {"<WIM><IMAGE INDEX=\"1\"><NAME>a</NAME></IMAGE></WIM>", {}, {}, {}}};
  for (const auto& [bytes, labels, names, majors] : rows) {
    const ImageLists got = CutImageList(DecodeUtf16Output(bytes));
    EXPECT_EQ(std::tie(got.labels, got.displayNames, got.majors), std::tie(labels, names, majors));
  }
}

TEST(Rules, DriveNamesAndDevices) {
  ExpectRule(IsDriveName, {L"C:", L"z:"}, {L"", L"C", L"CC:", L"C:\\", L"1:", L"@:", L"[:", L"`:", L"{:", L"\uFF23:"});
  ExpectRule(NamesDevice, {L"CON", L"nul", L"NUL.wim", L"S:\\m\\NUL.wim", L"aux.tar.gz", L"C:prn", L"COM9.esd",
                           L"lpt1 .txt", L"x/LPT9", L"conout$.wim", L"\\\\.\\CON"},
             {L"", L"S:\\a.wim", L"CON\\a.wim", L"console.wim", L"com0", L"com10", L"xnul.wim", L"\\\\.\\S:\\a.wim"});
  const std::pair<wstring, wstring> paths[] = {{L"C:\\Windows", L"C:"}, {L"d:", L"d:"}, {L"\\\\?\\C:\\W", L"C:"},
      {L"\\\\.\\S:\\a.wim", L"S:"}, {L"C:relative.wim", L""}, {L"\\\\server\\share\\x.wim", L""}};
  for (const auto& [path, drive] : paths) EXPECT_EQ(DriveOfPath(path), drive) << path;
}

// The drive fields before a format: each exactly a letter and a colon, both drives there; the
// target not the running Windows' drive (X: is a drive like others on a running Windows), nor the
// image's, nor the program's. The boot drive may be the target.
TEST(Rules, DriveFields) {
  const auto on = [](const wchar_t* drive) { return std::vector{Place{Place::Via::Named, drive, {}, drive, L""}}; };
  const DriveFacts facts{true, L"", L"X:", on(L"E:"), on(L"F:"), true}, windowsOnC{true, L"", L"C:", {}, {}, true};
  const DriveFacts noTarget{false, L"", L"X:", {}, {}, true}, noBoot{true, L"", L"X:", {}, {}, false};
  const std::tuple<const wchar_t*, const wchar_t*, DriveFacts, const wchar_t*> rows[] = {
      {L"C:", L"C:", facts, ok}, {L"x:", L"C:", windowsOnC, ok}, {L"C:\\", L"C:", facts, L"“安装到...”"},
      {L"D:", L"C:\\", facts, L"“主引导：”"}, {L"Q:", L"C:", noTarget, L"磁盘[Q:]不存在"},
      {L"D:", L"Q:", noBoot, L"磁盘[Q:]不存在"}, {L"x:", L"C:", facts, L"正在运行的 Windows"},
      {L"e:", L"C:", facts, L"映像文件就在"}, {L"f:", L"C:", facts, L"本程序就在"}};
  for (const auto& [target, boot, known, says] : rows) {
    EXPECT_THAT(CheckDriveFields(target, boot, known).value_or(ok), HasSubstr(says));
  }
}

// Formatting T: destroys what lies on it however its path reaches it: behind a device prefix,
// through letters made for folders (followed in a chain, which ends), another name of its volume,
// a virtual disk whose file lies on it. Without volume queries letters decide.
TEST(Rules, WhatTheFormatOfTheTargetDestroys) {
  const wstring t = L"\\\\?\\Volume{T:}\\", v = L"\\\\?\\Volume{V:}\\";
  const std::tuple<std::function<void(Rig&)>, const wchar_t*, const wchar_t*> rows[] = {
      {[](Rig&) {}, L"E:\\x.wim", ok},
      {[](Rig&) {}, L"\\\\.\\t:\\x.wim", L"映像就在这个盘上"},
      {[](Rig& r) { r.dosDevices = {{L"U:", L"\\??\\S:\\deeper\\"}, {L"S:", L"\\??\\T:\\images"}}; }, L"U:\\x.wim",
       L"所在的[U:]盘是这个盘上的文件夹“T:\\images\\deeper”"},
      {[](Rig& r) { r.dosDevices[L"S:"] = L"\\??\\S:\\loop"; }, L"S:\\x.wim", ok},
      {[&](Rig& r) { r.volumes[L"S:"] = t; }, L"s:\\x.wim", L"所在的“s:\\”与这个盘是同一个分区"},
      {[&](Rig& r) { r.volumes[L"S:"] = t, r.volumeQueries = false; }, L"S:\\x.wim", ok},
      {[&](Rig& r) { r.backingFiles[v] = {L"E:\\a.iso", L"T:\\vhd\\win.vhdx"}; }, L"V:\\x.wim",
       L"[V:]盘是一个虚拟磁盘，它的文件“T:\\vhd\\win.vhdx”就在这个盘上"},
      {[&](Rig& r) { r.backingFiles[v] = {L"E:\\win.iso"}; }, L"V:\\x.wim", ok}};
  for (const auto& [lay, path, says] : rows) {
    Rig rig;
    lay(rig);
    EXPECT_THAT(TargetHolds(L"T:", t, PlacesOf(path, rig), L"映像").value_or(ok), HasSubstr(says));
  }
}

// A tool serves when it is there (a hidden one too: none is in the look-up here), a PE program, of
// a machine the system starts: its own, x86 where 32-bit programs run, x64 on ARM64; a system of
// unknown machine is not second-guessed.
TEST(Rules, Tools) {
  const Machines x64{0x8664, true}, x64NoWow{0x8664, false}, arm64{0xAA64, true};
  const std::string x64File = PeFile(0x8664), x86File = PeFile(0x014C);
  const std::tuple<std::optional<std::string>, Machines, const wchar_t*> rows[] = {
      {std::nullopt, x64, L"找不到引导工具“D:\\b.exe”"}, {std::string(200, 'x'), x64, L"不是可以运行的程序"},
      {x64File.substr(0, 0x84), x64, L"不是可以运行的程序"}, {x64File, x64, ok}, {x86File, x64, ok},
      {x64File, arm64, ok}, {PeFile(0xAA64), {0, false}, ok}, {x86File, x64NoWow, L"是 x86 程序，这个系统只能运行 x64 程序"},
      {PeFile(0xAA64), x64, L"是 ARM64 程序，这个系统只能运行 x64、x86 程序"}, {PeFile(0x5032), x64, L"是 0x5032 程序"}};
  for (const auto& [file, machines, says] : rows) {
    Rig rig;
    rig.machines = machines;
    if (file) rig.files[L"D:\\b.exe"] = *file;
    EXPECT_THAT(ToolProblem(rig, L"D:\\b.exe", L"引导工具").value_or(ok), HasSubstr(says));
  }
}

// An empty major version or one that is no number counts as newer than 5; the drive-root list
// ends at its closing NUL; the tool's error worth showing is its last "[ERROR]" line, else its last.
TEST(Rules, VersionsDriveRootsAndErrorLines) {
  ExpectRule(MajorAbove5, {L"10", L"6.1", L"5.1", L" 6", L"", L"abc", L"5.0.1"},
             {L"5", L"5.0", L"05", L"4.9", L"\t5", L"4." + wstring(400, L'9'), L"5." + wstring(400, L'0')});
  EXPECT_EQ(SplitDriveRoots(wstring(L"C:\\\0D:\\\0\0X:\\\0", 12)), (Lines{L"C:", L"D:"}));
  EXPECT_EQ(LastErrorLine(L"[ERROR] a\r\n  [ERROR] b \r\nERROR: Exiting with error code 47\r\n"), L"[ERROR] b");
  EXPECT_EQ(LastErrorLine(L"x\r\n  last \r\n\r\n"), L"last");
}

// Every control lies in the expanded client area, wholly above or below the compact one's edge; a
// caption label may grow up to the next visible control of its row, and no further.
TEST(Rules, Layout) {
  for (const ControlSpec& c : FormLayout()) {
    const Rect r = PlaceInWindow(c);
    EXPECT_TRUE(r.left >= 0 && r.left + r.width <= kClientWidth && r.top + r.height <= kExpandedClientHeight);
    EXPECT_TRUE(r.top + r.height <= kCompactClientHeight || r.top >= kCompactClientHeight) << static_cast<int>(c.ctl);
    if (c.kind != Kind::Label) continue;
    const int32_t right = r.left + r.width, room = RoomToTheRight(c);
    EXPECT_GT(room, 0) << static_cast<int>(c.ctl);
    for (const ControlSpec& o : FormLayout()) {
      const Rect q = PlaceInWindow(o);
      const bool sharesRow = q.top < r.top + r.height && r.top < q.top + q.height;
      EXPECT_FALSE(o.visible && sharesRow && q.left >= right && q.left < right + room);
    }
  }
}

using TickKind = TickResult::Kind;
using Shown = std::tuple<TickKind, wstring, int, int>;  // kind, status, interval and bar (-1: untouched)

// A report as the tool writes it on Windows: it begins with a carriage return, so that each
// overwrites the one before in a console.
wstring Report(const wchar_t* marker, int done, int total) {
  return L"\r" + wstring(marker) + L" " + std::to_wstring(done) + L" of " + std::to_wstring(total) + L" (" +
         std::to_wstring(done * 100 / total) + L"%) done";
}
const wstring kHeader = L"Applying image 1 (\"Pro\") from \"D:\\a.wim\" to NTFS volume \"C:\\\"\r\n";
const wchar_t* const kStatus[] = {L"正在创建文件", L"正在提取文件", L"正在应用文件"};
const int kInterval[] = {-1, 1000, 100};  // the first stage leaves the timer alone
Shown In(int stage, int bar = -1) { return {TickKind::Stage, kStatus[stage], kInterval[stage], bar}; }
// A stage seen finished shows 100 and comes back soon, so the next stage is shown at once.
Shown Finished(int stage) { return {TickKind::Stage, kStatus[stage], kFinishedStageInterval, 100}; }
const Shown kComplete{TickKind::Complete, L"", -1, -1}, kFailed{TickKind::Failed, L"", -1, -1};

Shown Tick(StageCounters& counters, const wstring& output, bool ended, bool read = true) {
  const TickResult r = WatchTick(counters, output, ended, read);
  return {r.kind, r.status, r.interval.value_or(-1), r.bar ? *r.bar : -1};
}

// A row: the counters before, the output's growth (a piece per tick), whether the tool has ended
// (2: and its output cannot be read), what each tick shows and the counters after. The bar lags one
// report: a report is read once the next has begun, and only a whole number from 0 to 100 between
// its first "(" and "%)". A stage is finished by a later stage's marker or the done line; an ended
// tool without the done line fails, but an output it left unreadable is read again five times first.
TEST(Rules, WatchTicks) {
  Lines run{kHeader};
  for (const auto* marker : {kCreatingMarker, kExtractingMarker, kMetadataMarker}) {
    for (int i = 0; i <= 2; ++i) run.push_back(Report(marker, i, 2));
    run.back() += L"\r\n";
  }
  run.push_back(L"Done applying WIM image.\r\n");
  const wstring two = kHeader + Report(kCreatingMarker, 1, 10) + Report(kCreatingMarker, 2, 10);
  const Shown reread{TickKind::Reread, L"", kFinishedStageInterval, -1};
  std::vector<std::tuple<StageCounters, Lines, int, std::vector<Shown>, StageCounters>> rows = {
      {{}, run, 0, {In(0), In(0), In(0, 0), In(0, 50), Finished(0), In(1, 0), In(1, 50), Finished(1), In(2, 0),
                    In(2, 50), Finished(2), kComplete}, {100, 100, 100}},
      {{}, {two + L"\rCreating files: 3 of 10 (3"}, 0, {In(0, 20)}, {20}},
      {{}, {kHeader + Report(kMetadataMarker, 1, 10)}, 0, {Finished(0), Finished(1), In(2)}, {100, 100, 0}},
      {{100, 150, 32767}, {two}, 1, {kComplete}, {100, 150, 32767}},
      {{10}, {two}, 1, {kFailed}, {10}},
      {{}, {two + run.back()}, 1, {Finished(0), Finished(1), Finished(2), kComplete}, {100, 100, 100}},
      {{}, {L""}, 2, {reread, reread, reread, reread, reread, kFailed}, {0, 0, 0, 5}},
      {{0, 0, 0, 3}, {kHeader}, 0, {In(0)}, {}}};
  for (const auto& [report, percent] : std::map<wstring, int>{{L"(007%)", 7}, {L"(9%) then (50%)", 9}, {L"(101%)", -1},
                                                                 {L"(x%)", -1}, {L"(\uFF15%)", -1}, {L"(5%", -1}}) {
    rows.push_back({{37}, {L"\rCreating files: 1 of 3 " + report + L"\rCreating files:"}, 0, {In(0, percent)},
                    {static_cast<int16_t>(percent < 0 ? 37 : percent)}});
  }
  for (const auto& [before, growth, ended, ticks, after] : rows) {
    StageCounters c = before;
    wstring output;
    std::vector<Shown> shown;
    for (size_t i = 0; i < ticks.size(); ++i) {
      shown.push_back(Tick(c, output += i < growth.size() ? growth[i] : L"", ended > 0, ended < 2));
    }
    EXPECT_EQ(shown, ticks) << growth.back();
    EXPECT_EQ(std::tie(c.creating, c.extracting, c.metadata, c.unread),
              std::tie(after.creating, after.extracting, after.metadata, after.unread));
  }
}

}  // namespace
}  // namespace morvane
