// Single whole installations run on request. The sandbox run: one installation of a real image,
// told step by step on standard output with screenshots along the way; only when MORVANE_SANDBOX is
// set (scripts/sandbox.sh). The apply bench: the apply through the real window, timed for
// scripts/bench-apply.sh from the confirmation answered OK to the completion box, with the
// stand-ins instant and the real tool behind the wrapper; it prints "apply-bench:" lines with the
// two moments as Unix time (the clock the Linux side reads) and checks nothing about the times;
// only when MORVANE_APPLY_BENCH=1, with MORVANE_BENCH_IMAGE the image (a Windows path).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "app_driver.h"
#include "run_support.h"

namespace morvane::wine {
namespace {

void Say(const std::string& line) {
  std::printf("sandbox: %s\n", line.c_str());
  std::fflush(stdout);
}

TEST(Sandbox, AWholeInstallation) {
  if (EnvOr(L"MORVANE_SANDBOX").empty()) GTEST_SKIP() << "only for scripts/sandbox.sh";
  const std::wstring exe = EnvOr(L"MORVANE_EXE"), image = EnvOr(L"MORVANE_SMALL_IMAGE");
  const std::wstring target = EnvOr(L"MORVANE_TARGET"), boot = EnvOr(L"MORVANE_BOOT");
  const std::wstring log = EnvOr(L"MORVANE_STANDIN_LOG"), shots = EnvOr(L"MORVANE_SHOTS");
  ::DeleteFileW(log.c_str());
  auto shot = [&](HWND window, const wchar_t* name) {
    SaveWindowBitmap(window, shots + L"\\sandbox-" + name + L".bmp");
    Say("screenshot sandbox-" + ToUtf8(name));
  };

  App app;
  Say("starting " + ToUtf8(exe));
  // The stand-ins take a second each, so that the formatting and boot steps can be seen.
  ASSERT_TRUE(app.Launch(exe, {{L"MORVANE_STANDIN_DELAY_MS", L"1500"}}));
  ASSERT_TRUE(app.SetText(Ctl::Text1, image));
  for (const std::wstring& item : app.Items(Ctl::Combo0)) Say("image listed: " + ToUtf8(item));
  ASSERT_TRUE(app.SetText(Ctl::Text2, boot) && app.SetText(Ctl::Text3, target));
  shot(app.main(), L"1-ready");
  app.Click(Ctl::Command4);
  const Box confirm = app.WaitBox();
  ASSERT_TRUE(confirm);
  Say("asked: " + ToUtf8(confirm.text));
  shot(confirm.hwnd, L"2-confirm");
  bool formatShot = false, bootShot = false;
  const Box done = FollowRun(app, confirm, 120000, [&](const std::wstring& status) {
    Say("status: " + ToUtf8(status));
    if (!formatShot && status.rfind(L"正在格式化", 0) == 0) shot(app.main(), L"3-formatting");
    if (!bootShot && status == L"正在更新Boot") shot(app.main(), L"4-boot-repair");
    formatShot |= status.rfind(L"正在格式化", 0) == 0;
    bootShot |= status == L"正在更新Boot";
  });
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
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(target + L"\\", error)) {
    if (!entry.is_regular_file()) continue;
    ++files;
    bytes += entry.file_size();
    Say("  applied " + ToUtf8(entry.path().wstring()) + " (" + std::to_string(entry.file_size()) + " bytes)");
  }
  Say(std::to_string(files) + " files, " + std::to_string(bytes) + " bytes on " + ToUtf8(target));
  const std::wstring temp = EnvOr(L"windir") + L"\\temp\\";
  const bool left = FileExists(temp + L"apply.bat") || FileExists(temp + L"apply.xml");
  Say(std::string("apply files left behind: ") + (left ? "yes" : "none"));
  EXPECT_GT(files, 0);
}

TEST(ApplyBench, FromTheConfirmationToTheCompletionBox) {
  if (EnvOr(L"MORVANE_APPLY_BENCH") != L"1") GTEST_SKIP() << "only for scripts/bench-apply.sh";
  const std::wstring exe = EnvOr(L"MORVANE_EXE"), image = EnvOr(L"MORVANE_BENCH_IMAGE");
  ASSERT_FALSE(exe.empty() || image.empty()) << "MORVANE_EXE or MORVANE_BENCH_IMAGE is not set";
  App app;
  ASSERT_TRUE(app.Launch(exe));
  ASSERT_TRUE(app.SetText(Ctl::Text1, image));
  ASSERT_FALSE(app.Items(Ctl::Combo0).empty()) << "the image was not listed";
  const Box confirm = PressStart(app, EnvOr(L"MORVANE_BOOT", L"B:"), EnvOr(L"MORVANE_TARGET", L"T:"));
  ASSERT_TRUE(confirm) << "no confirmation";
  const double confirmed = fixture::UnixNow();
  app.Answer(confirm, IDOK);
  // Only windows are enumerated while it waits: the look does not slow the program down.
  const Box done = app.WaitBox(20 * 60 * 1000, confirm.hwnd);
  const double shown = fixture::UnixNow();
  ASSERT_TRUE(done) << "no completion box within 20 minutes";
  const std::string caption = ToUtf8(done.caption);
  std::printf("apply-bench: confirmed=%.6f\napply-bench: box=%.6f\n", confirmed, shown);
  std::printf("apply-bench: caption=%s\n", caption.c_str());
  std::fflush(stdout);
  EXPECT_EQ(done.caption, L"提示：") << ToUtf8(done.text);
  EXPECT_EQ(done.text.rfind(L"这个阶段的安装完成", 0), 0u) << ToUtf8(done.text);
  // The box offers to cancel the restart: do so, and let the window go back to idle.
  app.Answer(done, IDCANCEL);
  EXPECT_TRUE(app.WaitText(Ctl::Command4, L"开始安装", 20000));
}

}  // namespace
}  // namespace morvane::wine
