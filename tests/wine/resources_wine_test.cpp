// The resources compiled into MorvaneSetup.exe, read back from the file itself: the manifest, the
// icon group and the version strings (which must have reached the file as proper UTF-16).
// MORVANE_EXE names the program (a Windows path); MORVANE_ARCH ("x86" or "x64") the build it
// comes from.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app_driver.h"
#include "shell/handles_win.h"

namespace morvane::wine {
namespace {

template <typename T, auto Free>
struct LoadedTraits {
  using Type = T;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { Free(h); }
};
using UniqueModule = UniqueHandle<LoadedTraits<HMODULE, ::FreeLibrary>>;  // also loaded as a data file

class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_.reset(
        ::LoadLibraryExW(exe_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module_.valid()) << "cannot load MORVANE_EXE as data, error " << ::GetLastError();
  }

  // The bytes of one resource, empty when it is missing.
  std::string Resource(LPCWSTR type, LPCWSTR name) const {
    HRSRC found = ::FindResourceW(module_.get(), name, type);
    HGLOBAL loaded = found ? ::LoadResource(module_.get(), found) : nullptr;
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    return data ? std::string(static_cast<const char*>(data), ::SizeofResource(module_.get(), found)) : "";
  }

  const std::wstring exe_ = EnvOr(L"MORVANE_EXE");
  UniqueModule module_;
};

TEST_F(ProgramResources, ManifestNamesTheBuildsArchitectureCommonControls6AndAsInvoker) {
  const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
  ASSERT_FALSE(manifest.empty()) << "no RT_MANIFEST 1";
  // The program's identity and its dependency both name the build's architecture. A supported-OS list
  // would change the version numbers the program sees.
  const std::string arch = EnvOr(L"MORVANE_ARCH") == L"x86" ? "X86" : "amd64";
  const std::pair<std::string, int> pieces[] = {
      {"processorArchitecture=", 2}, {"processorArchitecture=\"" + arch + "\"", 2}, {"supportedOS", 0},
      {"name=\"Microsoft.Windows.Common-Controls\"", 1}, {"version=\"6.0.0.0\"", 1}, {"language=\"*\"", 1},
      {"publicKeyToken=\"6595b64144ccf1df\"", 1}, {"level=\"asInvoker\"", 1}, {"uiAccess=\"false\"", 1},
      {"name=\"Morvane.Setup\"", 1},
      {"<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>", 1}};
  for (const auto& [piece, times] : pieces) {
    int found = 0;
    for (size_t at = manifest.find(piece); at != std::string::npos; at = manifest.find(piece, at + 1)) {
      ++found;
    }
    EXPECT_EQ(found, times) << piece;
  }
}

// The group's four images in order, each a DIB (not a PNG, which Windows XP cannot read) of the
// entry's size and depth, colour plus mask.
TEST_F(ProgramResources, IconGroupHoldsTheFourImagesInOrder) {
  const std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
  ASSERT_EQ(group.size(), 6u + 4 * 14) << "no RT_GROUP_ICON 1 of four images";
  EXPECT_EQ(group.substr(2, 4), std::string("\1\0\4\0", 4)) << "type 1 (icon), four images";
  // The little-endian field of `bytes` bytes at `at` (0 past the end).
  const auto field = [](const std::string& data, size_t at, size_t bytes) {
    size_t value = 0;
    if (at + bytes <= data.size()) std::memcpy(&value, data.data() + at, bytes);
    return value;
  };
  const size_t want[4][2] = {{32, 24}, {16, 32}, {32, 32}, {48, 32}};  // size, bits
  for (size_t i = 0, entry = 6; i < 4; ++i, entry += 14) {
    SCOPED_TRACE("entry " + std::to_string(i));
    const size_t size = want[i][0], bits = want[i][1];
    const std::string image = Resource(RT_ICON, MAKEINTRESOURCEW(field(group, entry + 12, 2)));
    // The 40-byte header, the colour rows, the mask rows.
    const size_t bytes = 40 + (((size * bits + 31) / 32) * 4 + ((size + 31) / 32) * 4) * size;
    // The entry's width, height, bit count and size; the image's, and its header's width, height
    // (colour and mask) and bit count.
    EXPECT_EQ((std::vector<size_t>{field(group, entry, 1), field(group, entry + 1, 1),
                                   field(group, entry + 6, 2), field(group, entry + 8, 4), image.size(),
                                   field(image, 4, 4), field(image, 8, 4), field(image, 14, 2)}),
              (std::vector<size_t>{size, size, bits, bytes, bytes, size, 2 * size, bits}));
  }
}

TEST_F(ProgramResources, VersionStringsAreChineseUtf16WithTheFixedVersionAndTranslation) {
  std::vector<unsigned char> data(::GetFileVersionInfoSizeW(exe_.c_str(), nullptr));
  ASSERT_FALSE(data.empty()) << "no version information";
  ASSERT_TRUE(::GetFileVersionInfoW(exe_.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
  auto query = [&](const std::wstring& path, UINT* bytes) {
    void* value = nullptr;
    return ::VerQueryValueW(data.data(), path.c_str(), &value, bytes) ? value : nullptr;
  };
  // L"Morvane系统安装工具", spelled with escapes so the test does not depend on the source charset.
  const std::wstring product = L"Morvane\u7cfb\u7edf\u5b89\u88c5\u5de5\u5177";
  const std::pair<const wchar_t*, std::wstring> strings[] = {
      {L"FileDescription", product}, {L"ProductName", product},   {L"InternalName", product},
      {L"OriginalFilename", L"MorvaneSetup.exe"}, {L"FileVersion", L"1.00"}, {L"ProductVersion", L"1.00"}};
  const std::wstring table = L"\\StringFileInfo\\080404B0\\";  // Chinese (PRC), Unicode
  for (const auto& [key, want] : strings) {
    UINT chars = 0;
    const auto* value = static_cast<const wchar_t*>(query(table + key, &chars));
    std::wstring got = value ? std::wstring(value, chars) : L"<missing>";
    while (!got.empty() && got.back() == L'\0') got.pop_back();
    EXPECT_EQ(got, want) << ToUtf8(key);
  }
  UINT bytes = 0;
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(L"\\", &bytes));
  ASSERT_TRUE(fixed && bytes >= sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ((std::vector<DWORD>{fixed->dwSignature, fixed->dwFileVersionMS, fixed->dwFileVersionLS,
                                fixed->dwProductVersionMS, fixed->dwProductVersionLS}),
            (std::vector<DWORD>{0xFEEF04BDu, 0x00010000u, 0, 0x00010000u, 0}));
  const auto* translation = static_cast<const WORD*>(query(L"\\VarFileInfo\\Translation", &bytes));
  ASSERT_TRUE(translation && bytes == 4u);
  EXPECT_EQ((std::vector<WORD>{translation[0], translation[1]}), (std::vector<WORD>{0x0804, 1200}));
}

}  // namespace
}  // namespace morvane::wine
