// The small rules around the fields and the drives: drops, drive names, the checks before a
// format, the drive-root list, the device query and the version test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/selection.h"
#include "drives/find_windows.h"
#include "fakes.h"
#include "install/completion.h"
#include "install/drive_check.h"
#include "install/tool_check.h"
#include "shell/bus_type.h"
#include "shell/drive_names.h"

namespace morvane {
namespace {

using testing::Narrow;
using Texts = std::vector<std::wstring>;

// The rule holds for every text of `yes` and for none of `no`.
template <typename Rule>
void ExpectRule(Rule rule, const Texts& yes, const Texts& no) {
  for (const std::wstring& text : yes) EXPECT_TRUE(rule(text)) << '"' << Narrow(text) << '"';
  for (const std::wstring& text : no) EXPECT_FALSE(rule(text)) << '"' << Narrow(text) << '"';
}

TEST(AcceptDrop, OneImageFileInAnyLetterCaseKeptExactlyAsDropped) {
  const auto accepted = [](const std::wstring& path) {
    const auto kept = AcceptDrop(true, {path});
    EXPECT_EQ(kept.value_or(path), path) << "kept exactly as dropped";
    return kept.has_value();
  };
  ExpectRule(accepted, {L"D:\\sources\\install.wim", L"D:\\x\\INSTALL.WIM", L"\\\\srv\\s\\a.eSd"},
             {L"a.wim.txt", L"D:\\a.swm", L"a_wim", L"wim", L"", L"a.wim ", L"a\uFF0E\uFF57\uFF49\uFF4D"});
  EXPECT_EQ(AcceptDrop(false, {L"D:\\a.wim"}), std::nullopt) << "no file list";
  EXPECT_EQ(AcceptDrop(true, {}), std::nullopt);
  EXPECT_EQ(AcceptDrop(true, {L"D:\\a.wim", L"D:\\b.wim"}), std::nullopt);
}

TEST(DriveNames, ExactlyALetterAndAColonAlsoBehindADevicePrefix) {
  ExpectRule(IsDriveName, {L"C:", L"c:", L"A:", L"z:"},
             {L"", L"C", L"CC:", L"C:\\", L"C;", L"1:", L"@:", L"[:", L"`:", L"{:", L" C:", L"\uFF23:"});
  const std::pair<std::wstring, std::optional<std::wstring>> folders[] = {
      {L"D:\\a\\b", L"D:"}, {L"E:\\", L"E:"}, {L"e:", L"e:"}, {L"\\\\srv\\share", {}}, {L"D", {}}, {L"", {}}};
  for (const auto& [folder, drive] : folders) EXPECT_EQ(DriveOfFolder(folder), drive) << Narrow(folder);
  const std::pair<std::wstring, std::wstring> paths[] = {
      {L"C:\\Windows", L"C:"}, {L"d:", L"d:"}, {L"\\\\?\\C:\\W", L"C:"}, {L"\\\\.\\S:\\a.wim", L"S:"},
      {L"\\\\?\\UNC\\server\\share", L""}, {L"C:relative.wim", L""}, {L"\\\\server\\share\\x.wim", L""},
      {L"C", L""}, {L"", L""}};
  for (const auto& [path, drive] : paths) EXPECT_EQ(DriveOfPath(path), drive) << Narrow(path);
}

TEST(NamesDevice, TheDeviceNamesInAnyFormAndNothingElse) {
  ExpectRule(NamesDevice,
             {L"CON", L"nul", L"NUL.wim", L"S:\\m\\NUL.wim", L"aux.tar.gz", L"C:prn", L"com1", L"COM9.esd",
              L"lpt1 .txt", L"x/LPT9", L"CONIN$", L"conout$.wim", L"\\\\.\\CON", L"con:"},
             {L"", L"S:\\small.wim", L"CON\\a.wim", L"console.wim", L"com0", L"com10", L"lpt", L"xnul.wim",
              L"S:\\nul.wim\\x.wim", L"\\\\.\\S:\\small.wim", L"C:", L"conin"});
}

// The file on a drive, named by its letter alone.
std::vector<Place> On(const wchar_t* drive) { return {Place{Place::Via::Named, drive, {}, drive, L""}}; }

// The checks before the target is formatted: each row is refused with a message holding `reason`,
// or accepted.
TEST(CheckDriveFields, RefusesOrAccepts) {
  // target, boot drive, what is known of the drives, a piece of the refusal or "accepted"
  using Row = std::tuple<const wchar_t*, const wchar_t*, DriveFacts, const wchar_t*>;
  const DriveFacts facts{true, L"", L"X:", On(L"E:"), On(L"F:"), true};
  const DriveFacts windowsOnC{true, L"", L"C:", On(L"E:"), On(L"F:"), true};
  const wchar_t *targetField = L"“安装到...”", *bootField = L"“主引导：”", *gone = L"磁盘[Q:]不存在", *ok = L"accepted";
  const Row rows[] = {
      {L"C:", L"C:", facts, ok}, {L"D:", L"C:", {true, L"", L"", {}, {}, true}, ok},  // nothing known
      {L"", L"C:", facts, targetField}, {L"C:\\", L"C:", facts, targetField},
      {L"D:", L"", facts, bootField}, {L"D:", L"C:\\", facts, bootField},
      {L"Q:", L"C:", {false, L"", L"X:", On(L"E:"), On(L"F:"), true}, gone},
      {L"D:", L"Q:", {true, L"", L"X:", On(L"E:"), On(L"F:"), false}, gone},
      {L"x:", L"C:", facts, L"正在运行的 Windows"}, {L"x:", L"C:", windowsOnC, ok},  // X: is a drive like others
      {L"c:", L"C:", windowsOnC, L"正在运行的 Windows"},
      {L"e:", L"C:", facts, L"映像文件就在"}, {L"F:", L"C:", {true, L"", L"X:", On(L"E:"), On(L"f:"), true}, L"本程序就在"},
  };
  for (const auto& [target, boot, known, reason] : rows) {
    const std::wstring result = CheckDriveFields(target, boot, known).value_or(ok);
    EXPECT_THAT(result, ::testing::HasSubstr(reason)) << Narrow(std::wstring(target) + L" " + boot);
  }
}

// Where a file really lies, and whether formatting T: (volume {T}) destroys it: through letters
// that stand for folders (subst), a volume's other names (a second letter, a mount point), and
// virtual disks whose file lies elsewhere. Where the queries answer nothing, letters decide.
TEST(FilePlaces, TheFormatOfTheTargetDestroysWhatLiesOnItAndNothingElse) {
  using System = testing::FakeSystem;
  const std::wstring t = L"\\\\?\\Volume{T}\\", v = L"\\\\?\\Volume{V}\\", w = L"\\\\?\\Volume{W}\\";
  struct Case {
    const char* what;
    std::function<void(System&)> lay;
    std::wstring path;
    const wchar_t* says;  // a piece of the refusal; nullptr: accepted
  } cases[] = {
      {"on another drive", {}, L"E:\\x.wim", nullptr},
      {"on the target, lower case", {}, L"t:\\x.wim", L"映像文件就在这个盘上"},
      {"behind a device prefix", {}, L"\\\\.\\T:\\x.wim", L"映像文件就在这个盘上"},
      {"a subst letter of a target's folder", [](System& s) { s.dosDevices[L"S:"] = L"\\??\\t:\\images"; },
       L"S:\\sources\\install.wim", L"所在的[S:]盘是这个盘上的文件夹“t:\\images”"},
      {"a chain of them", [](System& s) {
         s.dosDevices[L"U:"] = L"\\??\\S:\\deeper\\";
         s.dosDevices[L"S:"] = L"\\??\\T:\\images";
       }, L"U:\\x.wim", L"[U:]盘是这个盘上的文件夹“T:\\images\\deeper”"},
      {"a subst letter of another drive", [](System& s) { s.dosDevices[L"S:"] = L"\\??\\E:\\"; }, L"S:\\x.wim",
       nullptr},
      {"a letter standing for itself ends", [](System& s) { s.dosDevices[L"S:"] = L"\\??\\S:\\loop"; },
       L"S:\\x.wim", nullptr},
      {"a second letter of the volume", [&](System& s) { s.mounts[L"S:\\"] = t; }, L"S:\\x.wim",
       L"所在的“S:\\”与这个盘是同一个分区"},
      {"a mount point of the volume", [&](System& s) { s.mounts[L"C:\\mnt\\data\\"] = t; },
       L"C:\\MNT\\data\\x.wim", L"所在的“C:\\mnt\\data\\”与这个盘是同一个分区"},
      {"no volume queries: letters decide", [&](System& s) {
         s.mounts[L"S:\\"] = t;
         s.volumeQueries = false;
       }, L"S:\\x.wim", nullptr},
      {"a virtual disk stored on the target", [&](System& s) { s.backingFiles[v] = {L"T:\\vhd\\win.vhdx"}; },
       L"V:\\sources\\install.wim", L"[V:]盘是一个虚拟磁盘，它的文件“T:\\vhd\\win.vhdx”就在这个盘上"},
      {"a virtual disk stored elsewhere", [&](System& s) { s.backingFiles[v] = {L"E:\\win.iso"}; }, L"V:\\x.wim",
       nullptr},
      {"a virtual disk in a virtual disk", [&](System& s) {
         s.backingFiles[v] = {L"W:\\inner.vhd"};
         s.backingFiles[w] = {L"E:\\other.vhd", L"C:\\mnt\\data\\outer.vhd"};
         s.mounts[L"C:\\mnt\\data\\"] = t;
       }, L"V:\\x.wim", L"[W:]盘是一个虚拟磁盘，它的文件“C:\\mnt\\data\\outer.vhd”"},
      {"a virtual disk stored behind a subst letter", [&](System& s) {
         s.backingFiles[v] = {L"S:\\win.vhd"};
         s.dosDevices[L"S:"] = L"\\??\\T:\\images";
       }, L"V:\\x.wim", L"[V:]盘是一个虚拟磁盘，它的文件“S:\\win.vhd”"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    System sys;
    if (c.lay) c.lay(sys);
    const auto refusal = TargetHolds(L"T:", sys.VolumeOf(L"T:\\").name, PlacesOf(c.path, sys), L"所选的映像文件");
    if (!c.says) {
      EXPECT_EQ(refusal, std::nullopt) << Narrow(refusal.value_or(L""));
      continue;
    }
    ASSERT_TRUE(refusal);
    EXPECT_THAT(*refusal, ::testing::StartsWith(L"不能安装到[T:]盘：所选的映像文件"));
    EXPECT_THAT(*refusal, ::testing::HasSubstr(c.says));
  }
}

// A tool is judged by its file: there (hidden and system too), a PE program, of a machine the
// system starts. What cannot be read is not second-guessed.
TEST(ToolCheck, MissingForeignOrRunnable) {
  const std::wstring tool = L"D:\\Tools\\Bin\\bootsect.exe";
  const Machines x64{0x8664, true}, x64NoWow{0x8664, false}, x86{0x014C, true}, arm64{0xAA64, true};
  const std::string x64File = testing::PeFile(0x8664), x86File = testing::PeFile(0x014C);
  std::string farHeader = x64File, cut = x64File.substr(0, 0x84);
  farHeader[0x3D] = '\x7F';
  struct Case {
    const char* what;
    std::optional<std::string> file;  // nothing: no such file
    Machines system;
    const wchar_t* says = nullptr;    // nullptr: the tool serves
    bool hidden = false, unreadable = false;
  } cases[] = {
      {"missing", std::nullopt, x64, L"找不到引导工具“D:\\Tools\\Bin\\bootsect.exe”，无法安装。"},
      {"hidden and system", x64File, x64, nullptr, true},
      {"unreadable", x64File, x64, nullptr, false, true},
      {"empty", std::string(), x64, L"不是可以运行的程序"},
      {"text", std::string(200, 'x'), x64, L"不是可以运行的程序"},
      {"header beyond the file", farHeader, x64, L"不是可以运行的程序"},
      {"header cut short", cut, x64, L"不是可以运行的程序"},
      {"x64 on x64", x64File, x64},
      {"x86 with WoW64", x86File, x64},
      {"x86 without WoW64", x86File, x64NoWow, L"是 x86 程序，这个系统只能运行 x64 程序"},
      {"x64 on x86", x64File, x86, L"是 x64 程序，这个系统只能运行 x86 程序"},
      {"ARM64 on x64", testing::PeFile(0xAA64), x64, L"是 ARM64 程序，这个系统只能运行 x64、x86 程序"},
      {"an unknown machine", testing::PeFile(0x5032), x86, L"是 0x5032 程序"},
      {"x64 on ARM64", x64File, arm64},
      {"a system of unknown machine", testing::PeFile(0xAA64), {0, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::FakeSystem sys;
    sys.machines = c.system;
    if (c.file) sys.files[tool] = *c.file;
    if (c.file && !c.hidden) sys.entries[tool] = Entry::File;
    if (c.unreadable) sys.failingReads[tool] = 1;
    const auto problem = ToolProblem(sys, tool, L"引导工具");
    if (!c.says) {
      EXPECT_EQ(problem, std::nullopt) << Narrow(problem.value_or(L""));
    } else {
      EXPECT_THAT(problem.value_or(L""), ::testing::HasSubstr(c.says));
    }
  }
}

TEST(SplitDriveRoots, EveryTerminatedRootInOrderUpToTheClosingNul) {
  const std::pair<std::wstring, Texts> lists[] = {
      {std::wstring(L"C:\\\0D:\\\0X:\\\0\0", 13), {L"C:", L"D:", L"X:"}},
      {L"", {}}, {std::wstring(1, L'\0'), {}}, {L"C:\\", {}},
      {std::wstring(L"C:\\\0D:\\\0", 8), {L"C:", L"D:"}},  // no closing NUL
      {std::wstring(L"C:\\\0D:\\", 7), {L"C:"}},            // an unterminated tail is no root
      {std::wstring(L"C:\\\0\0D:\\\0\0", 10), {L"C:"}},     // nothing after the closing NUL
  };
  for (const auto& [list, expected] : lists) EXPECT_EQ(SplitDriveRoots(list), expected) << list.size();
}

// The storage property query's control code, and the bus type: only a whole 32-bit 7 in bytes
// 28 to 31 of the descriptor is USB, whatever the other bytes hold.
TEST(DeviceQuery, QueryCodeAndUsbBus) {
  EXPECT_EQ(kQueryPropertyIoctl, 0x2D1400u);  // IOCTL_STORAGE_QUERY_PROPERTY
  for (uint32_t bus : {0u, 1u, 6u, 7u, 8u, 31u, 0x107u, 0x70007u, 0x7000007u}) {
    unsigned char descriptor[40];
    std::fill(std::begin(descriptor), std::end(descriptor), 0xFF);
    for (int i = 0; i < 4; ++i) descriptor[28 + i] = static_cast<unsigned char>(bus >> (8 * i));
    EXPECT_EQ(BusTypeText(descriptor), bus == 7 ? L"Usb" : L"") << bus;
  }
}

// Empty or not a number counts as above: only the newer tools serve images without a version.
// Decimals stay decimals however many there are.
TEST(MajorAbove5, VersionTexts) {
  ExpectRule(MajorAbove5,
             {L"10", L"6.1", L"5.1", L" 6", L"\t10\t", L"", L"  ", L"abc", L"5abc", L"5.0.1", L"-6", L".",
              L"5 1"},
             {L"5", L"5.0", L"5.", L"05", L"4", L"0", L"4.9", L" 5 ", L"\t5", L"5." + std::wstring(400, L'0'),
              L"4." + std::wstring(400, L'9')});
}

}  // namespace
}  // namespace morvane
