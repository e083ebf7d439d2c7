// The apply through the real window, timed for scripts/bench-apply.sh from the confirmation answered
// OK to the completion box, with the stand-ins instant and the real tool behind the wrapper. Prints
// "apply-bench:" lines with the two moments as Unix time (the clock the Linux side reads) and checks
// nothing about the times. MORVANE_EXE is the program, MORVANE_BENCH_IMAGE the image (Windows paths);
// MORVANE_TARGET and MORVANE_BOOT the drive fields (T: and B: when not set).
#include <cstdio>

#include "app_driver.h"

namespace morvane::wine {
namespace {

TEST(ApplyBench, FromTheConfirmationToTheCompletionBox) {
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
  EXPECT_TRUE(WaitFor([&] { return app.Text(Ctl::Command4) == L"开始安装"; }, 20000));
}

}  // namespace
}  // namespace morvane::wine
