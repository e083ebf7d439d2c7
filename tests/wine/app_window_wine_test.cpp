// The real program under Wine, driven from this process: its layout, view toggle, focus, status
// line and progress bar.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "app/layout.h"
#include "app_driver.h"

namespace morvane::wine {
namespace {

class AppWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app.Launch(EnvOr(L"MORVANE_EXE")))
        << "the main window did not appear (MORVANE_EXE: run the suite through tests/wine/run.sh)";
  }
  ~AppWindow() override { ::ReleaseDC(nullptr, screen); }
  // The window's width in pixels, its client area's height in twips.
  std::pair<int, int> Size() const {
    RECT window, client;
    ::GetWindowRect(app.main(), &window);
    ::GetClientRect(app.main(), &client);
    return {window.right - window.left, PixelsToTwips(client.bottom, dpiY)};
  }
  App app;
  const HDC screen = ::GetDC(nullptr);
  const int dpiX = ::GetDeviceCaps(screen, LOGPIXELSX), dpiY = ::GetDeviceCaps(screen, LOGPIXELSY);
};

TEST_F(AppWindow, ControlsSitAtTheirPlacesWithTheirInitialContents) {
  EXPECT_EQ(app.WindowText(app.main()), L"Morvane系统安装工具 1.0");
  EXPECT_EQ(Size(), std::make_pair(TwipsToPixels(8085, dpiX), 3360)) << dpiX << " dpi";
  for (const ControlSpec& item : FormLayout()) {
    SCOPED_TRACE(static_cast<int>(item.ctl));
    ASSERT_NE(app.Control(item.ctl), nullptr);
    EXPECT_EQ(::IsWindowVisible(app.Control(item.ctl)) != FALSE, item.visible);
    if (item.kind == Kind::DropList) continue;  // a drop-down list sizes itself to its font
    const Rect want = PlaceInWindow(item);
    const RECT got = app.RectInClient(item.ctl);
    EXPECT_EQ(got.left, TwipsToPixels(want.left, dpiX));
    EXPECT_EQ(got.top, TwipsToPixels(want.top, dpiY));
    if (item.kind == Kind::Label) {  // a label may grow to its caption, into the gap beside it
      EXPECT_GE(got.right - got.left, TwipsToPixels(want.width, dpiX));
      EXPECT_LE(got.right - got.left, TwipsToPixels(want.width + RoomToTheRight(item), dpiX));
    } else {
      EXPECT_EQ(got.right - got.left, TwipsToPixels(want.width, dpiX));
    }
    EXPECT_EQ(got.bottom - got.top, TwipsToPixels(want.height, dpiY));
  }
  EXPECT_EQ(app.RectInClient(Ctl::Combo0).left, TwipsToPixels(240 + 1080, dpiX));
  const std::pair<Ctl, std::wstring> texts[] = {
      {Ctl::Text1, L""},       {Ctl::Text2, L"C:"},          {Ctl::Text3, L"C:"},
      {Ctl::Status, L"状态"},  {Ctl::Command4, L"开始安装"}, {Ctl::Label3, L"版\u3000本："},
      {Ctl::Frame3, L"Morvane系统安装工具 1.0 关于..."}};
  for (const auto& [ctl, text] : texts) EXPECT_EQ(app.Text(ctl), text) << static_cast<int>(ctl);
  EXPECT_TRUE(app.Checked(Ctl::Check1) && app.Checked(Ctl::Check2));

  // Six paragraphs of about text, whole, no addresses.
  const std::wstring about = app.Text(Ctl::Label4);
  EXPECT_EQ(std::count(about.begin(), about.end(), L'\r'), 5);
  EXPECT_EQ(std::count(about.begin(), about.end(), L'\n'), 5);
  EXPECT_TRUE(about.find(L'@') == std::wstring::npos && about.find(L"http") == std::wstring::npos);

  // Tab order: the controls that take the focus follow the design's order, and only those.
  HWND h = nullptr;
  for (Ctl c : {Ctl::Text1, Ctl::Command1, Ctl::Command2, Ctl::Command3, Ctl::Combo0, Ctl::Check1,
                Ctl::Check2, Ctl::Command4, Ctl::Text2, Ctl::Text3}) {
    h = ::GetNextDlgTabItem(app.main(), h, FALSE);
    EXPECT_EQ(h, app.Control(c)) << static_cast<int>(c);
  }
  EXPECT_EQ(::GetNextDlgTabItem(app.main(), h, FALSE), app.Control(Ctl::Text1));
  SaveWindowBitmap(app.main(), L"window-compact");
}

// A maximise request toggles between the compact and the expanded view, at the same width.
TEST_F(AppWindow, AMaximiseRequestTogglesTheViewAndNeverMaximises) {
  for (const int height : {6150, 3360}) {
    ::PostMessageW(app.main(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    EXPECT_TRUE(app.WaitFor([&] { return Size().second == height; }, 5000)) << Size().second;
    EXPECT_FALSE(::IsZoomed(app.main()));
    EXPECT_EQ(Size().first, TwipsToPixels(8085, dpiX));
    EXPECT_TRUE(::IsWindowVisible(app.Control(Ctl::Frame3)));
    if (height == 6150) SaveWindowBitmap(app.main(), L"window-expanded");
  }
}

// The focus starts in the image path and is given back after a box and after an activation that
// came from another window.
TEST_F(AppWindow, TheFocusedControlOutlivesABoxAndADeactivation) {
  const auto focusOn = [&](HWND want) { return app.WaitFor([&] { return app.Focused() == want; }, 5000); };
  EXPECT_TRUE(focusOn(app.Control(Ctl::Text1)));
  app.Click(Ctl::Command4);  // no image chosen: refused with a box
  const Box box = app.WaitBox();
  ASSERT_TRUE(box);
  app.Answer(box, IDOK);
  ASSERT_TRUE(app.WaitGone(box));
  EXPECT_TRUE(focusOn(app.Control(Ctl::Command4))) << app.Focused();

  UniqueHwnd other(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                     ::GetModuleHandleW(nullptr), nullptr));
  ::SetForegroundWindow(other.get());
  EXPECT_TRUE(focusOn(nullptr)) << app.Focused();
  ::SetForegroundWindow(app.main());
  EXPECT_TRUE(focusOn(app.Control(Ctl::Command4))) << app.Focused();
}

// The bar's common control fills it and is drawn on the screen, not only held: after a position of 60
// the left part of the bar shows other pixels than its right part. A click on the status line, away
// from its resting text, reaches the program and is answered with a box under the program's name.
TEST_F(AppWindow, TheBarIsDrawnAndAClickOnTheStatusLineIsAnswered) {
  HWND inner = ::GetDlgItem(app.Control(Ctl::ProgressBar1), 1);
  ASSERT_NE(inner, nullptr);
  RECT r, host;
  ::GetWindowRect(inner, &r);
  ::GetWindowRect(app.Control(Ctl::ProgressBar1), &host);
  EXPECT_TRUE(::EqualRect(&r, &host)) << "the common control does not fill the bar";
  ::SendMessageTimeoutW(inner, PBM_SETPOS, 60, 0, SMTO_NORMAL, 2000, nullptr);
  ::Sleep(500);
  const int y = (r.top + r.bottom) / 2;
  const COLORREF left = ::GetPixel(screen, r.left + (r.right - r.left) / 5, y);
  const COLORREF right = ::GetPixel(screen, r.right - (r.right - r.left) / 10, y);
  EXPECT_NE(left, right) << std::hex << left << " " << right;

  ASSERT_TRUE(app.SetText(Ctl::Status, L"正在提取文件"));
  ::PostMessageW(app.main(), WM_COMMAND, MAKEWPARAM(ControlId(Ctl::Status), STN_CLICKED),
                 reinterpret_cast<LPARAM>(app.Control(Ctl::Status)));
  const Box box = app.WaitBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box.caption, L"Morvane系统安装工具");
  EXPECT_EQ(box.text, L"当前进度：0 %") << "the program's own value, not the control's";
  app.Answer(box, IDOK);
}

}  // namespace
}  // namespace morvane::wine
