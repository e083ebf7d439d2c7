// The small rules around the fields and the drives: drops, drive names, the checks before a
// format, the drive-root list, the device query's pieces, the program folder and the version test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/selection.h"
#include "drives/find_windows.h"
#include "install/completion.h"
#include "install/drive_check.h"
#include "shell/app_folder.h"
#include "shell/bus_type.h"
#include "shell/drive_names.h"

namespace morvane {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t ch : text) out += ch < 0x80 ? static_cast<char>(ch) : '?';
  return out;
}

// ---------------------------------------------------------------------------------------------
// Drops and drive names

TEST(AcceptDrop, OneImageFileInAnyLetterCase) {
  for (const std::wstring& path : {std::wstring(L"D:\\sources\\install.wim"), std::wstring(L"D:\\x\\INSTALL.WIM"),
                                   std::wstring(L"D:\\x\\Install.Esd"), std::wstring(L"\\\\srv\\share\\a.eSd")}) {
    SCOPED_TRACE(Narrow(path));
    EXPECT_EQ(AcceptDrop(true, {path}), path) << "kept exactly as dropped";
  }
}

TEST(AcceptDrop, RefusesEverythingElse) {
  EXPECT_EQ(AcceptDrop(false, {L"D:\\a.wim"}), std::nullopt) << "no file list";
  EXPECT_EQ(AcceptDrop(true, {}), std::nullopt);
  EXPECT_EQ(AcceptDrop(true, {L"D:\\a.wim", L"D:\\b.wim"}), std::nullopt);
  for (const std::wstring& path :
       {std::wstring(L"D:\\a.wim.txt"), std::wstring(L"D:\\a.swm"), std::wstring(L"D:\\a_wim"), std::wstring(L"wim"),
        std::wstring(L""), std::wstring(L"D:\\a.wim "), std::wstring(L"D:\\a\uFF0E\uFF57\uFF49\uFF4D")}) {
    SCOPED_TRACE(Narrow(path));
    EXPECT_EQ(AcceptDrop(true, {path}), std::nullopt);
  }
}

TEST(IsDriveName, ExactlyALetterAndAColon) {
  for (const wchar_t* yes : {L"C:", L"c:", L"A:", L"z:", L"X:"}) EXPECT_TRUE(IsDriveName(yes)) << Narrow(yes);
  for (const wchar_t* no : {L"", L"C", L"CC:", L"C:\\", L"C;", L"1:", L"::", L"@:", L"[:", L"`:", L"{:", L" C:",
                            L"C: ", L"T: & echo x", L"\uFF23:"}) {
    EXPECT_FALSE(IsDriveName(no)) << Narrow(no);
  }
}

TEST(NamesDevice, TheDeviceNamesInAnyFormAndNothingElse) {
  for (const wchar_t* yes : {L"CON", L"nul", L"NUL.wim", L"S:\\matrix\\NUL.wim", L"aux.tar.gz", L"C:prn", L"com1",
                             L"COM9.esd", L"lpt1 .txt", L"x/LPT9", L"CONIN$", L"conout$.wim", L"\\\\.\\CON", L"con:"}) {
    EXPECT_TRUE(NamesDevice(yes)) << Narrow(yes);
  }
  for (const wchar_t* no : {L"", L"S:\\small.wim", L"CON\\a.wim", L"console.wim", L"com0", L"com10", L"lpt", L"xnul.wim",
                            L"S:\\nul.wim\\x.wim", L"\\\\.\\S:\\small.wim", L"C:", L"conin"}) {
    EXPECT_FALSE(NamesDevice(no)) << Narrow(no);
  }
}

TEST(DriveOfFolder, TheDriveOfAnyLocalFolder) {
  EXPECT_EQ(DriveOfFolder(L"D:\\a\\b\\c"), L"D:");
  EXPECT_EQ(DriveOfFolder(L"E:\\"), L"E:");
  EXPECT_EQ(DriveOfFolder(L"e:"), L"e:");
  EXPECT_EQ(DriveOfFolder(L"\\\\server\\share"), std::nullopt);
  EXPECT_EQ(DriveOfFolder(L"D"), std::nullopt);
  EXPECT_EQ(DriveOfFolder(L""), std::nullopt);
}

// ---------------------------------------------------------------------------------------------
// The checks before the target is formatted

struct DriveCase {
  const char* what;
  std::wstring target;
  std::wstring boot;
  DriveFacts facts;
  const wchar_t* reason;  // a piece of the refusal, or nullptr when the fields may be used
};

void PrintTo(const DriveCase& c, std::ostream* os) { *os << c.what; }

DriveFacts Facts(bool exists = true, std::wstring windows = L"X:", std::wstring image = L"E:",
                 std::wstring program = L"F:", bool bootExists = true) {
  return DriveFacts{exists, windows, image, program, bootExists};
}

class CheckDriveFieldsTest : public ::testing::TestWithParam<DriveCase> {};

TEST_P(CheckDriveFieldsTest, RefusesOrAccepts) {
  const DriveCase& c = GetParam();
  const auto refusal = CheckDriveFields(c.target, c.boot, c.facts);
  if (c.reason == nullptr) {
    EXPECT_EQ(refusal, std::nullopt) << Narrow(refusal.value_or(L""));
  } else {
    ASSERT_TRUE(refusal);
    EXPECT_THAT(*refusal, HasSubstr(c.reason));
  }
}

const wchar_t* const kTargetField = L"“安装到...”";
const wchar_t* const kBootField = L"“主引导：”";

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckDriveFieldsTest,
    ::testing::Values(
        DriveCase{"an ordinary target", L"C:", L"C:", Facts(), nullptr},
        DriveCase{"boot drive may be the target", L"D:", L"D:", Facts(), nullptr},
        DriveCase{"boot drive elsewhere", L"D:", L"C:", Facts(), nullptr},
        DriveCase{"no drive facts known", L"D:", L"C:", Facts(true, L"", L"", L""), nullptr},
        DriveCase{"empty target", L"", L"C:", Facts(), kTargetField},
        DriveCase{"letter only", L"C", L"C:", Facts(), kTargetField},
        DriveCase{"two letters", L"CC:", L"C:", Facts(), kTargetField},
        DriveCase{"root folder", L"C:\\", L"C:", Facts(), kTargetField},
        DriveCase{"command smuggled in", L"T: & echo x", L"C:", Facts(), kTargetField},
        DriveCase{"digit", L"1:", L"C:", Facts(), kTargetField},
        DriveCase{"empty boot", L"D:", L"", Facts(), kBootField},
        DriveCase{"boot root folder", L"D:", L"C:\\", Facts(), kBootField},
        DriveCase{"boot with a command", L"D:", L"C: & echo x", Facts(), kBootField},
        DriveCase{"missing target", L"Q:", L"C:", Facts(false), L"[Q:]不存在"},
        DriveCase{"missing boot drive", L"D:", L"Q:", Facts(true, L"X:", L"E:", L"F:", false), L"[Q:]不存在"},
        DriveCase{"the preinstallation drive", L"X:", L"C:", Facts(true, L"C:"), L"预安装环境"},
        DriveCase{"the preinstallation drive in lower case", L"x:", L"C:", Facts(true, L"C:"), L"预安装环境"},
        DriveCase{"the running Windows", L"C:", L"C:", Facts(true, L"C:"), L"正在运行的 Windows"},
        DriveCase{"the running Windows, other case", L"c:", L"C:", Facts(true, L"C:"), L"正在运行的 Windows"},
        DriveCase{"the image's drive", L"e:", L"C:", Facts(true, L"X:", L"E:"), L"映像文件"},
        DriveCase{"the program's drive", L"F:", L"C:", Facts(true, L"X:", L"E:", L"f:"), L"本程序"}));

TEST(DriveOfPath, TheDriveAlsoBehindADevicePrefix) {
  EXPECT_EQ(DriveOfPath(L"C:\\Windows"), L"C:");
  EXPECT_EQ(DriveOfPath(L"d:"), L"d:");
  EXPECT_EQ(DriveOfPath(L"\\\\?\\C:\\Windows"), L"C:");
  EXPECT_EQ(DriveOfPath(L"\\\\.\\S:\\small.wim"), L"S:");
  EXPECT_EQ(DriveOfPath(L"\\\\?\\UNC\\server\\share"), L"");
  EXPECT_EQ(DriveOfPath(L"C:relative.wim"), L"");
  EXPECT_EQ(DriveOfPath(L"\\\\server\\share\\x.wim"), L"");
  EXPECT_EQ(DriveOfPath(L"C"), L"");
  EXPECT_EQ(DriveOfPath(L""), L"");
}

// ---------------------------------------------------------------------------------------------
// The drive-root list and the device query

std::wstring Roots(const std::wstring& letters) {
  std::wstring list;
  for (wchar_t letter : letters) {
    list += letter;
    list += L":\\";
    list += L'\0';
  }
  return list + L'\0';
}

TEST(SplitDriveRoots, AllTwentySixLettersInOrder) {
  std::wstring letters;
  for (wchar_t ch = L'A'; ch <= L'Z'; ++ch) letters += ch;
  const std::vector<std::wstring> drives = SplitDriveRoots(Roots(letters));
  ASSERT_EQ(drives.size(), 26u);
  for (size_t i = 0; i < drives.size(); ++i) {
    EXPECT_EQ(drives[i], std::wstring(1, static_cast<wchar_t>(L'A' + i)) + L":");
  }
}

TEST(SplitDriveRoots, EdgesOfTheList) {
  EXPECT_THAT(SplitDriveRoots(L""), IsEmpty());
  EXPECT_THAT(SplitDriveRoots(std::wstring(1, L'\0')), IsEmpty());
  EXPECT_THAT(SplitDriveRoots(Roots(L"CDX")), ElementsAre(L"C:", L"D:", L"X:"));
  // Without the closing NUL the terminated roots still count.
  EXPECT_THAT(SplitDriveRoots(std::wstring(L"C:\\\0D:\\\0", 8)), ElementsAre(L"C:", L"D:"));
  // An unterminated tail is no root.
  EXPECT_THAT(SplitDriveRoots(std::wstring(L"C:\\\0D:\\", 7)), ElementsAre(L"C:"));
  EXPECT_THAT(SplitDriveRoots(L"C:\\"), IsEmpty());
  // Nothing after the closing NUL is read.
  EXPECT_THAT(SplitDriveRoots(std::wstring(L"C:\\\0\0D:\\\0\0", 10)), ElementsAre(L"C:"));
}

TEST(CtlCode, ThePlatformRule) {
  static_assert(CtlCode(0x2D, 0x500, 0, 0) == 0x2D1400, "IOCTL_STORAGE_QUERY_PROPERTY");
  EXPECT_EQ(kQueryPropertyIoctl, 0x2D1400u);
  EXPECT_EQ(CtlCode(0x07, 0x000, 0, 0), 0x00070000u);  // IOCTL_DISK_GET_DRIVE_GEOMETRY
  EXPECT_EQ(CtlCode(0x09, 0x006, 0, 0), 0x00090018u);  // FSCTL_LOCK_VOLUME
  EXPECT_EQ(CtlCode(0x2D, 0x202, 0, 1), 0x002D4808u);  // IOCTL_STORAGE_EJECT_MEDIA: read access
  EXPECT_EQ(CtlCode(0x2D, 0x420, 0, 0), 0x002D1080u);  // IOCTL_STORAGE_GET_DEVICE_NUMBER
  EXPECT_EQ(CtlCode(0x07, 0x028, 0, 0), 0x000700A0u);  // IOCTL_DISK_GET_DRIVE_GEOMETRY_EX
  EXPECT_EQ(CtlCode(0x09, 0x001, 3, 0), 0x00090007u);  // method in the low bits
}

TEST(BusTypeText, OnlyUsbInBytes28To31) {
  for (uint32_t bus = 0; bus < 32; ++bus) {
    unsigned char descriptor[40] = {};
    descriptor[28] = static_cast<unsigned char>(bus);
    EXPECT_EQ(BusTypeText(descriptor), bus == 7 ? L"Usb" : L"") << bus;
  }
  unsigned char descriptor[40];
  for (unsigned char& byte : descriptor) byte = 0xFF;
  descriptor[28] = 7;
  descriptor[29] = descriptor[30] = descriptor[31] = 0;
  EXPECT_EQ(BusTypeText(descriptor), L"Usb") << "the other fields do not matter";
  for (int at : {29, 30, 31}) {
    unsigned char shifted[40] = {};
    shifted[at] = 7;
    EXPECT_EQ(BusTypeText(shifted), L"") << "7 in byte " << at << " is no USB";
  }
  unsigned char high[40] = {};
  high[28] = 7;
  high[31] = 1;
  EXPECT_EQ(BusTypeText(high), L"") << "the whole 32-bit value is compared";
}

// ---------------------------------------------------------------------------------------------
// The program folder

TEST(AppFolder, EndsInExactlyOneBackslash) {
  EXPECT_EQ(AppFolder(L"C:\\"), L"C:\\");
  EXPECT_EQ(AppFolder(L"D:\\Tools"), L"D:\\Tools\\");
  EXPECT_EQ(ProgramFileForIcon(L"D:\\Tools", L"MorvaneSetup"), L"D:\\Tools\\MorvaneSetup.exe");
  EXPECT_EQ(ProgramFileForIcon(L"C:\\", L"MorvaneSetup"), L"C:\\MorvaneSetup.exe");
}

TEST(FolderPlus, NeverDoublesTheBackslash) {
  EXPECT_EQ(FolderPlus(L"C:\\", L"\\Bin"), L"C:\\Bin");
  EXPECT_EQ(FolderPlus(L"D:\\Tools", L"\\Bin64"), L"D:\\Tools\\Bin64");
  EXPECT_EQ(FolderPlus(L"C:\\", L""), L"C:\\");
  EXPECT_EQ(FolderPlus(L"D:\\Tools", L""), L"D:\\Tools");
  EXPECT_EQ(FolderPlus(L"", L"\\Bin"), L"\\Bin");
}

// ---------------------------------------------------------------------------------------------
// The version test of the boot repair

TEST(MajorAbove5, VersionTexts) {
  struct Case {
    const wchar_t* major;
    bool above;
  };
  const Case cases[] = {
      {L"10", true},  {L"6", true},    {L"6.1", true},  {L"5.1", true},  {L" 6", true},  {L"6 ", true},
      {L"\t10\t", true}, {L"5", false}, {L"5.0", false}, {L"5.", false}, {L"05", false}, {L"4", false},
      {L"0", false},  {L"4.9", false}, {L" 5 ", false},
      // Empty or not a number: the newer tools, which serve images without a version.
      {L"", true}, {L"  ", true}, {L"abc", true}, {L"5abc", true}, {L"5.0.1", true}, {L"-6", true},
      {L".", true}, {L"5 1", true},
  };
  for (const Case& c : cases) EXPECT_EQ(MajorAbove5(c.major), c.above) << '"' << Narrow(c.major) << '"';
}

TEST(MajorAbove5, LongFractionsStayFractions) {
  // Five followed by many zero decimals is still five: decimals stay decimals however many there are.
  EXPECT_FALSE(MajorAbove5(L"5." + std::wstring(400, L'0')));
  EXPECT_FALSE(MajorAbove5(L"4." + std::wstring(400, L'9')));
}

}  // namespace
}  // namespace morvane
