// The resources compiled into MorvaneSetup.exe, read back from the file itself: the manifest, the
// icon group and the version strings (which must have reached the file as proper UTF-16).
// MORVANE_EXE names the program (a Windows path); MORVANE_ARCH ("x86" or "x64") the build it
// comes from. Without MORVANE_EXE the tests are skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "shell/handles_win.h"
#include "test_handles_win.h"

namespace morvane {
namespace {

// L"Morvane系统安装工具", spelled with escapes so the test does not depend on the source charset.
constexpr const wchar_t* kProductName = L"Morvane\u7cfb\u7edf\u5b89\u88c5\u5de5\u5177";

std::wstring Env(const wchar_t* name) {
  wchar_t buf[1024] = {};
  DWORD n = ::GetEnvironmentVariableW(name, buf, 1024);
  return (n > 0 && n < 1024) ? std::wstring(buf, n) : std::wstring();
}

// Machine field of the file's PE header: IMAGE_FILE_MACHINE_I386 or _AMD64, 0 when unreadable.
WORD PeMachine(const std::wstring& path) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  if (!file) return 0;
  unsigned char head[4096] = {};
  DWORD got = 0;
  if (!::ReadFile(file.get(), head, sizeof(head), &got, nullptr) || got < 0x40) return 0;
  LONG peOffset = 0;
  std::memcpy(&peOffset, head + 0x3C, sizeof(peOffset));
  if (peOffset < 0 || static_cast<DWORD>(peOffset) + 6 > got) return 0;
  if (std::memcmp(head + peOffset, "PE\0\0", 4) != 0) return 0;
  WORD machine = 0;
  std::memcpy(&machine, head + peOffset + 4, sizeof(machine));
  return machine;
}

// The manifest's processorArchitecture for the build under test.
std::string ExpectedArchitecture(const std::wstring& exe) {
  std::wstring arch = Env(L"MORVANE_ARCH");
  if (arch == L"x86") return "X86";
  if (arch == L"x64") return "amd64";
  switch (PeMachine(exe)) {
    case IMAGE_FILE_MACHINE_I386: return "X86";
    case IMAGE_FILE_MACHINE_AMD64: return "amd64";
    default: return "?";
  }
}

std::vector<std::string> AttributeValues(const std::string& text, const std::string& name) {
  std::vector<std::string> out;
  const std::string key = name + "=\"";
  for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
    size_t start = at + key.size();
    size_t end = text.find('"', start);
    if (end == std::string::npos) break;
    out.push_back(text.substr(start, end - start));
  }
  return out;
}

#pragma pack(push, 2)
struct GroupIconEntry {  // GRPICONDIRENTRY as stored in RT_GROUP_ICON
  BYTE width;
  BYTE height;
  BYTE colorCount;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytesInRes;
  WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14, "GRPICONDIRENTRY is 14 bytes");

class ProgramResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = Env(L"MORVANE_EXE");
    if (exe_.empty()) GTEST_SKIP() << "MORVANE_EXE is not set";
    module_.reset(::LoadLibraryExW(exe_.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module_.valid()) << "cannot load the program as data, error " << ::GetLastError();
  }

  // The bytes of one resource, empty when it is missing.
  std::string Resource(LPCWSTR type, LPCWSTR name) const {
    HRSRC found = ::FindResourceW(module_.get(), name, type);
    if (!found) return {};
    HGLOBAL loaded = ::LoadResource(module_.get(), found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return {};
    return std::string(static_cast<const char*>(data), ::SizeofResource(module_.get(), found));
  }

  std::wstring exe_;
  UniqueModule module_;
};

// --- manifest ---

TEST_F(ProgramResourcesTest, ManifestNamesTheBuildsArchitectureEverywhere) {
  std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
  ASSERT_FALSE(manifest.empty()) << "no RT_MANIFEST 1";
  std::vector<std::string> arch = AttributeValues(manifest, "processorArchitecture");
  std::string expected = ExpectedArchitecture(exe_);
  ASSERT_EQ(arch.size(), 2u) << manifest;  // the program's identity and the dependency
  EXPECT_EQ(arch[0], expected);
  EXPECT_EQ(arch[1], expected);
}

TEST_F(ProgramResourcesTest, ManifestAsksForCommonControls6AndAsInvoker) {
  std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\""), std::string::npos);
  EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(manifest.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
  EXPECT_NE(manifest.find("language=\"*\""), std::string::npos);
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
  EXPECT_NE(manifest.find("name=\"Morvane.Setup\""), std::string::npos);
  EXPECT_NE(manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>"),
            std::string::npos);
  EXPECT_EQ(manifest.find("supportedOS"), std::string::npos)
      << "a supported-OS list changes the version numbers the program sees";
}

// --- icon ---

TEST_F(ProgramResourcesTest, IconGroupHoldsTheFourImagesInOrder) {
  std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
  ASSERT_GE(group.size(), 6u) << "no RT_GROUP_ICON 1";
  WORD header[3];
  std::memcpy(header, group.data(), sizeof(header));
  EXPECT_EQ(header[1], 1) << "type: icon";
  ASSERT_EQ(header[2], 4) << "image count";
  ASSERT_EQ(group.size(), 6 + 4 * sizeof(GroupIconEntry));

  struct Want {
    int size;
    int bits;
  };
  const Want want[4] = {{32, 24}, {16, 32}, {32, 32}, {48, 32}};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    GroupIconEntry e;
    std::memcpy(&e, group.data() + 6 + i * sizeof(e), sizeof(e));
    EXPECT_EQ(e.width, want[i].size);
    EXPECT_EQ(e.height, want[i].size);
    EXPECT_EQ(e.bitCount, want[i].bits);

    // The image itself: a DIB of the same size and depth, colour plus mask.
    std::string image = Resource(RT_ICON, MAKEINTRESOURCEW(e.id));
    ASSERT_EQ(image.size(), e.bytesInRes);
    ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, image.data(), sizeof(bih));
    EXPECT_EQ(bih.biWidth, want[i].size);
    EXPECT_EQ(bih.biHeight, 2 * want[i].size);
    EXPECT_EQ(bih.biBitCount, want[i].bits);
    const size_t colourStride = ((want[i].size * want[i].bits + 31) / 32) * 4;
    const size_t maskStride = ((want[i].size + 31) / 32) * 4;
    EXPECT_EQ(image.size(), sizeof(bih) + (colourStride + maskStride) * want[i].size);

    if (want[i].bits == 32) {
      // Antialiased: some edge pixels are neither fully transparent nor fully opaque.
      int partial = 0;
      int opaque = 0;
      for (int p = 0; p < want[i].size * want[i].size; ++p) {
        auto a = static_cast<unsigned char>(image[sizeof(bih) + p * 4 + 3]);
        if (a == 255) ++opaque;
        else if (a != 0) ++partial;
      }
      EXPECT_GT(partial, 0);
      EXPECT_GT(opaque, 0);
    }
  }
}

TEST_F(ProgramResourcesTest, SystemPicksTheRightIconForEachSize) {
  std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
  ASSERT_FALSE(group.empty());
  auto* dir = reinterpret_cast<PBYTE>(&group[0]);
  for (int size : {16, 32, 48}) {
    int id = ::LookupIconIdFromDirectoryEx(dir, TRUE, size, size, LR_DEFAULTCOLOR);
    ASSERT_NE(id, 0) << size;
    std::string image = Resource(RT_ICON, MAKEINTRESOURCEW(id));
    UniqueIcon icon(::CreateIconFromResourceEx(reinterpret_cast<PBYTE>(&image[0]),
                                               static_cast<DWORD>(image.size()), TRUE, 0x00030000,
                                               size, size, LR_DEFAULTCOLOR));
    ASSERT_TRUE(icon.valid()) << size;
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon.get(), &info));
    UniqueBitmap colour(info.hbmColor);
    UniqueBitmap mask(info.hbmMask);
    BITMAP bm{};
    ::GetObjectW(colour.get(), sizeof(bm), &bm);
    EXPECT_EQ(bm.bmWidth, size);
  }
}

// --- version information ---

class VersionInfo {
 public:
  explicit VersionInfo(const std::wstring& file) {
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) return;
    data_.resize(size);
    if (!::GetFileVersionInfoW(file.c_str(), 0, size, data_.data())) data_.clear();
  }
  bool ok() const { return !data_.empty(); }

  // A string of the zh-CN Unicode table; "<missing>" when there is none.
  std::wstring String(const wchar_t* key) const {
    std::wstring path = std::wstring(L"\\StringFileInfo\\080404B0\\") + key;
    void* value = nullptr;
    UINT chars = 0;
    if (!::VerQueryValueW(data_.data(), path.c_str(), &value, &chars) || !value)
      return L"<missing>";
    std::wstring s(static_cast<const wchar_t*>(value), chars);
    while (!s.empty() && s.back() == L'\0') s.pop_back();
    return s;
  }

  template <typename T>
  const T* Block(const wchar_t* path, UINT* bytes) const {
    void* value = nullptr;
    if (!::VerQueryValueW(data_.data(), path, &value, bytes)) return nullptr;
    return static_cast<const T*>(value);
  }

 private:
  std::vector<unsigned char> data_;
};

TEST_F(ProgramResourcesTest, VersionStringsAreChineseUtf16) {
  VersionInfo info(exe_);
  ASSERT_TRUE(info.ok()) << "no version information";
  EXPECT_EQ(info.String(L"FileDescription"), kProductName);
  EXPECT_EQ(info.String(L"ProductName"), kProductName);
  EXPECT_EQ(info.String(L"InternalName"), kProductName);
  EXPECT_EQ(info.String(L"OriginalFilename"), L"MorvaneSetup.exe");
  EXPECT_EQ(info.String(L"FileVersion"), L"1.00");
  EXPECT_EQ(info.String(L"ProductVersion"), L"1.00");
}

TEST_F(ProgramResourcesTest, FixedVersionAndTranslation) {
  VersionInfo info(exe_);
  ASSERT_TRUE(info.ok());
  UINT bytes = 0;
  const auto* fixed = info.Block<VS_FIXEDFILEINFO>(L"\\", &bytes);
  ASSERT_NE(fixed, nullptr);
  ASSERT_GE(bytes, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);

  const auto* translation = info.Block<WORD>(L"\\VarFileInfo\\Translation", &bytes);
  ASSERT_NE(translation, nullptr);
  ASSERT_EQ(bytes, 4u);
  EXPECT_EQ(translation[0], 0x0804);
  EXPECT_EQ(translation[1], 1200);
}

}  // namespace
}  // namespace morvane
