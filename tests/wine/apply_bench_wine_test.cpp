// The apply through the real window, timed for scripts/bench-apply.sh: from the confirmation
// answered OK to the completion box, with the stand-ins instant and the real tool behind the
// wrapper. Prints "apply-bench:" lines with the two moments as Unix time (the clock the Linux side
// reads), checks nothing about the times. Runs only when MORVANE_APPLY_BENCH=1.
//   MORVANE_BENCH_IMAGE  the image (a Windows path); MORVANE_EXE, MORVANE_TARGET, MORVANE_BOOT as
//                        the rig sets them
#include <gtest/gtest.h>

#include <cstdio>

#include "app_driver.h"
#include "tests/fixtures/fixture_util.h"

namespace morvane::wine {
namespace {

using fixture::UnixNow;

struct BoxSearch {
  DWORD pid;
  HWND skip;
  HWND found;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  if (pid != search->pid || hwnd == search->skip || !::IsWindowVisible(hwnd)) return TRUE;
  wchar_t name[16] = {};
  ::GetClassNameW(hwnd, name, 16);
  if (lstrcmpW(name, L"#32770") != 0) return TRUE;
  search->found = hwnd;
  return FALSE;
}

// The program's next message box other than `skip`, looked for every 10 ms; no message is sent to
// the program meanwhile, so the look does not slow it down.
HWND NextBox(DWORD pid, HWND skip, DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  for (;;) {
    BoxSearch search{pid, skip, nullptr};
    ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.found || ::GetTickCount64() > end) return search.found;
    ::Sleep(10);
  }
}

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
  ASSERT_TRUE(app.SetText(Ctl::Text2, boot));
  ASSERT_TRUE(app.SetText(Ctl::Text3, target));
  app.Click(Ctl::Command4);
  const Box confirm = app.WaitBox();
  ASSERT_TRUE(confirm) << "no confirmation";

  char moment[32];
  const double confirmed = UnixNow();
  app.Answer(confirm, IDOK);
  const HWND done = NextBox(app.pid(), confirm.hwnd, 20 * 60 * 1000);
  const double shown = UnixNow();
  ASSERT_TRUE(done) << "no completion box within 20 minutes";
  std::snprintf(moment, sizeof moment, "%.6f", confirmed);
  Report("confirmed", moment);
  std::snprintf(moment, sizeof moment, "%.6f", shown);
  Report("box", moment);

  const std::wstring caption = app.WindowText(done);
  const std::wstring text = app.WindowText(::GetDlgItem(done, 0xFFFF));
  Report("caption", Utf8(caption));
  EXPECT_EQ(caption, L"提示：") << Utf8(text);
  EXPECT_EQ(text.rfind(L"这个阶段的安装完成", 0), 0u) << Utf8(text);
  // The box offers to cancel the restart: do so, and let the window go back to idle.
  app.Answer(Box{done, caption, text}, IDCANCEL);
  EXPECT_TRUE(app.WaitText(Ctl::Command4, L"开始安装", 20000));
}

}  // namespace
}  // namespace morvane::wine
