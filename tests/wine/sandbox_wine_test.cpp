// The sandbox run: one whole installation of a real image, told step by step on standard output
// with screenshots along the way. Runs only when MORVANE_SANDBOX is set (scripts/sandbox.sh).
#include <gtest/gtest.h>

#include <cstdio>

#include "app_driver.h"

namespace morvane::wine {
namespace {

void Say(const std::string& line) {
  std::printf("sandbox: %s\n", line.c_str());
  std::fflush(stdout);
}

void ListTree(const std::wstring& folder, const std::wstring& shown, int* files, unsigned long long* bytes) {
  WIN32_FIND_DATAW data;
  UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
  if (!find) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListTree(folder + L"\\" + name, shown + L"\\" + name, files, bytes);
    } else {
      const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      ++*files;
      *bytes += size;
      Say("  applied " + ToUtf8(shown + L"\\" + name) + " (" + std::to_string(size) + " bytes)");
    }
  } while (::FindNextFileW(find.get(), &data));
}

TEST(Sandbox, AWholeInstallation) {
  if (EnvOr(L"MORVANE_SANDBOX").empty()) GTEST_SKIP() << "only for scripts/sandbox.sh";
  const std::wstring exe = EnvOr(L"MORVANE_EXE"), image = EnvOr(L"MORVANE_SMALL_IMAGE");
  const std::wstring target = EnvOr(L"MORVANE_TARGET"), boot = EnvOr(L"MORVANE_BOOT");
  const std::wstring log = EnvOr(L"MORVANE_STANDIN_LOG"), shots = EnvOr(L"MORVANE_SHOTS");
  ::DeleteFileW(log.c_str());
  auto shot = [&](HWND window, const wchar_t* name) {
    SaveWindowBitmap(window, shots + L"\\sandbox-" + name + L".bmp");
    Say(std::string("screenshot sandbox-") + ToUtf8(name));
  };

  App app;
  Say("starting " + ToUtf8(exe));
  // The stand-ins take a second each, so that the formatting and boot steps can be seen.
  ASSERT_TRUE(app.Launch(exe, {{L"MORVANE_STANDIN_DELAY_MS", L"1500"}}));
  ASSERT_TRUE(app.SetText(Ctl::Text1, image));
  for (const std::wstring& item : app.Items(Ctl::Combo0)) Say("image listed: " + ToUtf8(item));
  ASSERT_TRUE(app.SetText(Ctl::Text2, boot));
  ASSERT_TRUE(app.SetText(Ctl::Text3, target));
  shot(app.main(), L"1-ready");

  app.Click(Ctl::Command4);
  const Box confirm = app.WaitBox();
  ASSERT_TRUE(confirm);
  Say("asked: " + ToUtf8(confirm.text));
  shot(confirm.hwnd, L"2-confirm");
  app.Answer(confirm, IDOK);
  ASSERT_TRUE(app.WaitGone(confirm));

  std::wstring last;
  bool formatShot = false, bootShot = false;
  Box done;
  const ULONGLONG end = ::GetTickCount64() + 120000;
  while (::GetTickCount64() < end && !(done = app.WaitBox(1))) {
    const std::wstring status = app.Text(Ctl::Status);
    if (status != last) {
      Say("status: " + ToUtf8(status));
      last = status;
    }
    if (!formatShot && status.rfind(L"正在格式化", 0) == 0) {
      shot(app.main(), L"3-formatting");
      formatShot = true;
    }
    if (!bootShot && status == L"正在更新Boot") {
      shot(app.main(), L"4-boot-repair");
      bootShot = true;
    }
    ::Sleep(20);
  }
  ASSERT_TRUE(done) << "no completion box";
  Say("told: " + ToUtf8(done.text));
  shot(done.hwnd, L"5-done-box");
  app.Answer(done, IDCANCEL);
  ASSERT_TRUE(app.WaitGone(done));
  ASSERT_TRUE(app.WaitText(Ctl::Command4, L"开始安装", 10000));
  ::Sleep(500);
  shot(app.main(), L"6-idle");

  for (const std::string& call : ReadLines(log)) Say("called: " + call);
  int files = 0;
  unsigned long long bytes = 0;
  ListTree(target, target, &files, &bytes);
  Say(std::to_string(files) + " files, " + std::to_string(bytes) + " bytes on " + ToUtf8(target));
  const std::wstring windir = EnvOr(L"windir");
  Say(std::string("apply files left behind: ") +
      (FileExists(windir + L"\\temp\\apply.bat") || FileExists(windir + L"\\temp\\apply.xml") ? "yes" : "none"));
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace morvane::wine
