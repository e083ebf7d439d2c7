// The small rules around the fields and the drives: drops, drive names, the checks before a
// format, the drive-root list, the device query and the version test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/selection.h"
#include "drives/find_windows.h"
#include "fakes.h"
#include "install/completion.h"
#include "install/drive_check.h"
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

// The checks before the target is formatted: each row is refused with a message holding `reason`,
// or accepted.
TEST(CheckDriveFields, RefusesOrAccepts) {
  // target, boot drive, what is known of the drives, a piece of the refusal or "accepted"
  using Row = std::tuple<const wchar_t*, const wchar_t*, DriveFacts, const wchar_t*>;
  const DriveFacts facts{true, L"X:", L"E:", L"F:", true}, windowsOnC{true, L"C:", L"E:", L"F:", true};
  const wchar_t *targetField = L"“安装到...”", *bootField = L"“主引导：”", *gone = L"磁盘[Q:]不存在", *ok = L"accepted";
  const Row rows[] = {
      {L"C:", L"C:", facts, ok}, {L"D:", L"C:", {true, L"", L"", L"", true}, ok},  // nothing known
      {L"", L"C:", facts, targetField}, {L"C:\\", L"C:", facts, targetField},
      {L"D:", L"", facts, bootField}, {L"D:", L"C:\\", facts, bootField},
      {L"Q:", L"C:", {false, L"X:", L"E:", L"F:", true}, gone},
      {L"D:", L"Q:", {true, L"X:", L"E:", L"F:", false}, gone},
      {L"x:", L"C:", windowsOnC, L"预安装环境"}, {L"c:", L"C:", windowsOnC, L"正在运行的 Windows"},
      {L"e:", L"C:", facts, L"映像文件"}, {L"F:", L"C:", {true, L"X:", L"E:", L"f:", true}, L"本程序"},
  };
  for (const auto& [target, boot, known, reason] : rows) {
    const std::wstring result = CheckDriveFields(target, boot, known).value_or(ok);
    EXPECT_THAT(result, ::testing::HasSubstr(reason)) << Narrow(std::wstring(target) + L" " + boot);
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
