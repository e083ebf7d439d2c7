// The sandbox run: one whole installation of a real image, told step by step on standard output
// with screenshots along the way; only when MORVANE_SANDBOX is set (scripts/sandbox.sh).
#include <cstdio>
#include <filesystem>

#include "matrix_runner.h"

namespace morvane::wine {
namespace {

void Say(const std::string& line) {
  std::printf("sandbox: %s\n", line.c_str());
  std::fflush(stdout);
}

// A whole installation through the matrix's runner, told step by step, with screenshots.
class Sandbox : public Matrix {
 protected:
  void Tell(const char* step, HWND window, const std::wstring& text) override {
    const std::string what = step;
    if (what == "status" && text == status_) return;  // each status once, as it comes
    if (what == "status") status_ = text;
    if (what != "idle") Say(what + ": " + ToUtf8(text));
    const std::map<std::string, std::wstring> shots = {
        {"asked", L"2-confirm"}, {"told", L"5-done-box"}, {"idle", L"6-idle"}};
    std::wstring shot = shots.count(what) ? shots.at(what) : L"";
    if (text.rfind(L"正在格式化", 0) == 0) shot = L"3-formatting";
    if (text == L"正在更新Boot") shot = L"4-boot-repair";
    if (!shot.empty()) Shot(window, shot);
  }
  void Shot(HWND window, const std::wstring& name) {
    SaveWindowBitmap(window, L"sandbox-" + name);
    Say("screenshot sandbox-" + ToUtf8(name));
  }
  std::wstring status_;
};

TEST_P(Sandbox, AWholeInstallation) {
  if (EnvOr(L"MORVANE_SANDBOX").empty()) GTEST_SKIP() << "only for scripts/sandbox.sh";
  Say("starting " + ToUtf8(exe_));
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(TypeImage());
  for (const std::wstring& item : app_.Items(Ctl::Combo0)) Say("image listed: " + ToUtf8(item));
  Shot(app_.main(), L"1-ready");
  Installation();
  Finish();
  for (const std::string& call : ReadLines(log_)) Say("called: " + call);
  int files = 0;
  unsigned long long bytes = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(row.target + L"\\", error)) {
    if (!entry.is_regular_file()) continue;
    ++files;
    bytes += entry.file_size();
    Say("  applied " + ToUtf8(entry.path().wstring()) + " (" + std::to_string(entry.file_size()) + " bytes)");
  }
  Say(std::to_string(files) + " files, " + std::to_string(bytes) + " bytes on " + ToUtf8(row.target));
  const bool left = FileExists(temp_ + L"apply.bat") || FileExists(temp_ + L"apply.xml");
  Say(std::string("apply files left behind: ") + (left ? "yes" : "none"));
  EXPECT_GT(files, 0);
}

// The stand-ins take a second and a half each, so that the formatting and boot steps can be seen;
// the restart box is answered Cancel.
INSTANTIATE_TEST_SUITE_P(, Sandbox,
                         ::testing::Values(Restarts("RealImage", {{L"MORVANE_STANDIN_DELAY_MS", L"1500"}})
                                               .Set(&Row::answer, IDCANCEL)),
                         RowName);

}  // namespace
}  // namespace morvane::wine
