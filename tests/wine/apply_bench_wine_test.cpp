// The apply through the real window, timed for scripts/bench-apply.sh: from the confirmation
// answered OK to the completion box, with the stand-ins instant and the real tool behind the
// wrapper. Prints "apply-bench:" lines with the two moments as Unix time (the clock the Linux side
// reads), checks nothing about the times. Runs only when MORVANE_APPLY_BENCH=1.
//   MORVANE_BENCH_IMAGE  the image (a Windows path); MORVANE_EXE, MORVANE_TARGET, MORVANE_BOOT as
//                        the rig sets them
#include <gtest/gtest.h>

#include <cstdio>

#include "app_driver.h"
#include "run_support.h"

namespace morvane::wine {
namespace {

using fixture::UnixNow;

void Report(const char* key, const std::string& value) {
  std::printf("apply-bench: %s=%s\n", key, value.c_str());
  std::fflush(stdout);
}

TEST(ApplyBench, FromTheConfirmationToTheCompletionBox) {
  if (EnvOr(L"MORVANE_APPLY_BENCH") != L"1") GTEST_SKIP() << "only for scripts/bench-apply.sh";
  const std::wstring exe = EnvOr(L"MORVANE_EXE"), image = EnvOr(L"MORVANE_BENCH_IMAGE");
  const std::wstring target = EnvOr(L"MORVANE_TARGET", L"T:"), boot = EnvOr(L"MORVANE_BOOT", L"B:");
  ASSERT_FALSE(exe.empty()) << "MORVANE_EXE is not set";
  ASSERT_FALSE(image.empty()) << "MORVANE_BENCH_IMAGE is not set";

  App app;
  ASSERT_TRUE(app.Launch(exe));
  ASSERT_TRUE(app.SetText(Ctl::Text1, image));
  ASSERT_FALSE(app.Items(Ctl::Combo0).empty()) << "the image was not listed";
  const Box confirm = PressStart(app, boot, target);
  ASSERT_TRUE(confirm) << "no confirmation";

  char moment[32];
  const double confirmed = UnixNow();
  app.Answer(confirm, IDOK);
  // Only windows are enumerated while it waits: the look does not slow the program down.
  const Box done = app.WaitBox(20 * 60 * 1000, confirm.hwnd);
  const double shown = UnixNow();
  ASSERT_TRUE(done) << "no completion box within 20 minutes";
  std::snprintf(moment, sizeof moment, "%.6f", confirmed);
  Report("confirmed", moment);
  std::snprintf(moment, sizeof moment, "%.6f", shown);
  Report("box", moment);

  Report("caption", ToUtf8(done.caption));
  EXPECT_EQ(done.caption, L"提示：") << ToUtf8(done.text);
  EXPECT_EQ(done.text.rfind(L"这个阶段的安装完成", 0), 0u) << ToUtf8(done.text);
  // The box offers to cancel the restart: do so, and let the window go back to idle.
  app.Answer(done, IDCANCEL);
  EXPECT_TRUE(app.WaitText(Ctl::Command4, L"开始安装", 20000));
}

}  // namespace
}  // namespace morvane::wine
