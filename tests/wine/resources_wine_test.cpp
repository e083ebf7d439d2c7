// The resources compiled into MorvaneSetup.exe, read back from the file itself: what a real Windows
// needs of them and Wine does not check. MORVANE_EXE names the program (a Windows path);
// MORVANE_ARCH ("x86" or "x64") the build it comes from.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app_driver.h"

namespace morvane::wine {
namespace {

class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(module_) << "cannot load MORVANE_EXE as data, error " << ::GetLastError(); }
  void TearDown() override { ::FreeLibrary(module_); }

  // The bytes of one resource, empty when it is missing.
  std::string Resource(LPCWSTR type, WORD id) const {
    HRSRC found = ::FindResourceW(module_, MAKEINTRESOURCEW(id), type);
    const void* data = found ? ::LockResource(::LoadResource(module_, found)) : nullptr;
    return data ? std::string(static_cast<const char*>(data), ::SizeofResource(module_, found)) : "";
  }

  const std::wstring exe_ = EnvOr(L"MORVANE_EXE");
  const HMODULE module_ =
      ::LoadLibraryExW(exe_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
};

// The identity and the dependency name the build's machine (a mismatch: the program does not
// start); Common Controls 6; no elevation asked (and none guessed from the word "Setup" in the
// name); no supported-OS list, which would change the version numbers the program sees.
TEST_F(ProgramResources, Manifest) {
  const std::string manifest = Resource(RT_MANIFEST, 1);
  const std::string arch = EnvOr(L"MORVANE_ARCH") == L"x86" ? "X86" : "amd64";
  const std::pair<std::string, int> pieces[] = {
      {"processorArchitecture=", 2}, {"processorArchitecture=\"" + arch + "\"", 2}, {"supportedOS", 0},
      {"name=\"Microsoft.Windows.Common-Controls\"", 1}, {"version=\"6.0.0.0\"", 1}, {"level=\"asInvoker\"", 1},
      {">true</dpiAware>", 1}};
  for (const auto& [piece, times] : pieces) {
    int found = 0;
    for (size_t at = manifest.find(piece); at != std::string::npos; at = manifest.find(piece, at + 1)) ++found;
    EXPECT_EQ(found, times) << piece;
  }
}

// Every image of the icon group is a DIB of the entry's size (Windows XP reads no PNG icon).
TEST_F(ProgramResources, IconImagesAreDibs) {
  const std::string group = Resource(RT_GROUP_ICON, 1);
  ASSERT_GE(group.size(), 6u + 14) << "no RT_GROUP_ICON 1";
  const auto field = [](const std::string& data, size_t at) {  // a little-endian 16-bit field
    return at + 2 <= data.size() ? static_cast<unsigned char>(data[at]) | static_cast<unsigned char>(data[at + 1]) << 8 : -1;
  };
  for (size_t entry = 6; entry + 14 <= group.size(); entry += 14) {
    const std::string image = Resource(RT_ICON, static_cast<WORD>(field(group, entry + 12)));
    const int size = static_cast<unsigned char>(group[entry]);
    EXPECT_EQ((std::vector<int>{field(image, 0), field(image, 4), field(image, 8)}), (std::vector<int>{40, size, 2 * size}))
        << "entry at " << entry;
  }
}

// The version strings reached the file as UTF-16 Chinese, in the table the translation names.
TEST_F(ProgramResources, VersionStrings) {
  std::vector<unsigned char> data(::GetFileVersionInfoSizeW(exe_.c_str(), nullptr));
  ASSERT_TRUE(!data.empty() && ::GetFileVersionInfoW(exe_.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
  void* value = nullptr;
  UINT size = 0;
  ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &size) && size == 4);
  EXPECT_EQ(*static_cast<DWORD*>(value), 0x04B00804u) << "Chinese (PRC), Unicode";
  for (const wchar_t* key : {L"FileDescription", L"ProductName"}) {
    const std::wstring path = std::wstring(L"\\StringFileInfo\\080404B0\\") + key;
    ASSERT_TRUE(::VerQueryValueW(data.data(), path.c_str(), &value, &size)) << ToUtf8(key);
    EXPECT_STREQ(static_cast<const wchar_t*>(value), L"Morvane\u7cfb\u7edf\u5b89\u88c5\u5de5\u5177");  // 系统安装工具
  }
}

}  // namespace
}  // namespace morvane::wine
