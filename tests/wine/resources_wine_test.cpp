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

#pragma pack(push, 2)
struct GroupIconEntry {  // GRPICONDIRENTRY as stored in RT_GROUP_ICON
  BYTE width, height, colorCount, reserved;
  WORD planes, bitCount;
  DWORD bytesInRes;
  WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14, "GRPICONDIRENTRY is 14 bytes");

class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(exe_.empty()) << "MORVANE_EXE is not set";
    module_.reset(
        ::LoadLibraryExW(exe_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module_.valid()) << "cannot load the program as data, error " << ::GetLastError();
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
  // The program's identity and its dependency both name the build's architecture.
  const std::string arch = EnvOr(L"MORVANE_ARCH") == L"x86" ? "X86" : "amd64";
  size_t named = 0;
  for (size_t at = manifest.find("processorArchitecture=\""); at != std::string::npos;
       at = manifest.find("processorArchitecture=\"", at + 1)) {
    EXPECT_EQ(manifest.compare(at + 23, arch.size() + 1, arch + "\""), 0) << manifest.substr(at, 40);
    ++named;
  }
  EXPECT_EQ(named, 2u) << manifest;
  for (const char* piece :
       {"name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"", "language=\"*\"",
        "publicKeyToken=\"6595b64144ccf1df\"", "level=\"asInvoker\"", "uiAccess=\"false\"",
        "name=\"Morvane.Setup\"", "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">"
        "true</dpiAware>"}) {
    EXPECT_NE(manifest.find(piece), std::string::npos) << piece;
  }
  EXPECT_EQ(manifest.find("supportedOS"), std::string::npos)
      << "a supported-OS list changes the version numbers the program sees";
}

TEST_F(ProgramResources, IconGroupHoldsTheFourImagesInOrder) {
  const std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
  ASSERT_EQ(group.size(), 6 + 4 * sizeof(GroupIconEntry)) << "no RT_GROUP_ICON 1 of four images";
  WORD header[3];  // reserved, type (1: icon), image count
  std::memcpy(header, group.data(), sizeof header);
  ASSERT_EQ((std::vector<WORD>{header[1], header[2]}), (std::vector<WORD>{1, 4}));
  const int want[4][2] = {{32, 24}, {16, 32}, {32, 32}, {48, 32}};  // size, bits
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    const int size = want[i][0], bits = want[i][1];
    GroupIconEntry e;
    std::memcpy(&e, group.data() + 6 + i * sizeof e, sizeof e);
    EXPECT_EQ((std::vector<int>{e.width, e.height, e.bitCount}), (std::vector<int>{size, size, bits}));
    // The image itself: a DIB (not a PNG, which Windows XP cannot read) of the same size and depth,
    // colour plus mask.
    const std::string image = Resource(RT_ICON, MAKEINTRESOURCEW(e.id));
    ASSERT_EQ(image.size(), e.bytesInRes);
    ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, image.data(), sizeof bih);
    EXPECT_EQ((std::vector<int>{bih.biWidth, bih.biHeight, bih.biBitCount}),
              (std::vector<int>{size, 2 * size, bits}));
    const size_t colourStride = ((size * bits + 31) / 32) * 4, maskStride = ((size + 31) / 32) * 4;
    ASSERT_EQ(image.size(), sizeof bih + (colourStride + maskStride) * size);
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
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ((std::vector<DWORD>{fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                                fixed->dwProductVersionLS}),
            (std::vector<DWORD>{0x00010000u, 0, 0x00010000u, 0}));
  const auto* translation = static_cast<const WORD*>(query(L"\\VarFileInfo\\Translation", &bytes));
  ASSERT_TRUE(translation && bytes == 4u);
  EXPECT_EQ(translation[0], 0x0804);
  EXPECT_EQ(translation[1], 1200);
}

}  // namespace
}  // namespace morvane::wine
