// The sandbox run (scripts/sandbox.sh): one whole installation of a real image through the real
// window, in the rig of tests/wine/run.sh, told step by step on standard output, with screenshots
// along the way (into MORVANE_SHOTS); the stand-ins take their time so that each step can be seen.
// A demonstration: what it shows is checked by the Windows-side suite.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app_driver.h"

namespace morvane::wine {
namespace {

void Say(const std::string& line) {
  std::printf("sandbox: %s\n", line.c_str());
  std::fflush(stdout);
}

// The window's pixels as a 24-bit BMP file (the rig turns them into PNG).
void Shot(HWND window, const std::wstring& name) {
  const std::wstring shots = EnvOr(L"MORVANE_SHOTS");
  ::Sleep(400);  // let the window and its controls finish painting
  RECT r;
  if (shots.empty() || !::GetWindowRect(window, &r)) return;
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof info.bmiHeader, r.right - r.left, r.bottom - r.top, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const DWORD imageSize = (info.bmiHeader.biWidth * 3 + 3) / 4 * 4 * info.bmiHeader.biHeight;
  const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof info.bmiHeader;
  const BITMAPFILEHEADER file = {0x4D42, offset + imageSize, 0, 0, offset};
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, info.bmiHeader.biWidth, info.bmiHeader.biHeight, screen, r.left, r.top, SRCCOPY);
  ::GdiFlush();
  std::ofstream out(std::filesystem::path(shots + L"\\sandbox-" + name + L".bmp"), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  if (bits) out.write(static_cast<const char*>(bits), imageSize);
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  Say("screenshot sandbox-" + ToUtf8(name));
}

TEST(Sandbox, AWholeInstallation) {
  const std::wstring exe = EnvOr(L"MORVANE_EXE"), image = EnvOr(L"MORVANE_SMALL_IMAGE"), target = L"T:";
  ASSERT_FALSE(exe.empty() || image.empty()) << "the rig's environment: run through scripts/sandbox.sh";
  Say("starting " + ToUtf8(exe));
  App app;
  ASSERT_TRUE(app.Launch(exe, {{L"MORVANE_STANDIN_DELAY_MS", L"1500"}}));
  ASSERT_TRUE(app.SetText(Ctl::Text1, image));
  for (const std::wstring& item : app.Items(Ctl::Combo0)) Say("image listed: " + ToUtf8(item));
  Shot(app.main(), L"1-ready");
  const Box confirm = PressStart(app, L"B:", target);
  ASSERT_TRUE(confirm) << "no confirmation";
  Say("asked: " + ToUtf8(confirm.text));
  Shot(confirm.hwnd, L"2-confirm");
  app.Answer(confirm, IDOK);
  std::wstring status;
  Box done;
  WaitFor(
      [&] {
        if ((done = app.WaitBox(0))) return true;
        if (app.Text(Ctl::Status) == status) return false;
        status = app.Text(Ctl::Status);
        Say("status: " + ToUtf8(status));
        if (status.rfind(L"正在格式化", 0) == 0) Shot(app.main(), L"3-formatting");
        if (status == L"正在更新Boot") Shot(app.main(), L"4-boot-repair");
        return false;
      },
      600000);
  ASSERT_TRUE(done) << "the run did not end";
  Say("told: " + ToUtf8(done.text));
  Shot(done.hwnd, L"5-done-box");
  app.Answer(done, IDCANCEL);  // the restart box: the restart cancelled
  WaitFor([&] { return app.Text(Ctl::Command4) == L"开始安装"; }, 20000);
  Shot(app.main(), L"6-idle");
  std::ifstream calls(std::filesystem::path(EnvOr(L"MORVANE_STANDIN_LOG")), std::ios::binary);
  for (std::string call; std::getline(calls, call);) Say("called: " + call.substr(0, call.find('\r')));
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
  app.RequestClose();
  EXPECT_TRUE(app.WaitExit(5000));
}

}  // namespace
}  // namespace morvane::wine
