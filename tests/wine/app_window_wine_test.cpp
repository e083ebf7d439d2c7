// The real program under Wine, driven from this process: its layout, view toggle, focus, status
// line, progress bar, and the progress of an apply replayed from a Windows transcript.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "app/layout.h"
#include "app_driver.h"
#include "run_support.h"

namespace morvane::wine {
namespace {

std::wstring Exe() { return EnvOr(L"MORVANE_EXE"); }

class AppWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Exe().empty()) << "MORVANE_EXE is not set: run the suite through tests/wine/run.sh";
    ASSERT_TRUE(app.Launch(Exe())) << "the main window did not appear";
    HDC dc = ::GetDC(nullptr);
    dpiX = ::GetDeviceCaps(dc, LOGPIXELSX);
    dpiY = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(nullptr, dc);
  }
  int ClientHeightTwips() const { return PixelsToTwips(app.ClientRect().bottom, dpiY); }
  void Shot(const wchar_t* name) {
    const std::wstring shots = EnvOr(L"MORVANE_SHOTS");
    if (!shots.empty()) SaveWindowBitmap(app.main(), shots + L"\\" + name + L".bmp");
  }
  App app;
  int dpiX = 96, dpiY = 96;
};

TEST_F(AppWindow, ControlsSitAtTheirPlacesWithTheirInitialContents) {
  EXPECT_EQ(app.WindowText(app.main()), L"Morvane系统安装工具 1.0");
  EXPECT_EQ(ClientHeightTwips(), 3360);
  RECT frame;
  ::GetWindowRect(app.main(), &frame);
  EXPECT_EQ(frame.right - frame.left, TwipsToPixels(8085, dpiX)) << dpiX << " dpi";
  for (const ControlSpec& item : FormLayout()) {
    SCOPED_TRACE(static_cast<int>(item.ctl));
    HWND h = app.Control(item.ctl);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(::IsWindowVisible(h) != FALSE, item.visible);
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
  EXPECT_EQ(app.Text(Ctl::Text1), L"");
  EXPECT_EQ(app.Text(Ctl::Text2), L"C:");
  EXPECT_EQ(app.Text(Ctl::Text3), L"C:");
  EXPECT_EQ(app.Text(Ctl::Command4), L"开始安装");
  EXPECT_EQ(app.Text(Ctl::Status), L"状态");
  EXPECT_EQ(app.Text(Ctl::Label3), L"版\u3000本：");
  EXPECT_EQ(app.Text(Ctl::Frame3), L"Morvane系统安装工具 1.0 关于...");
  EXPECT_TRUE(app.Checked(Ctl::Check1));
  EXPECT_TRUE(app.Checked(Ctl::Check2));
  EXPECT_TRUE(app.Items(Ctl::Combo0).empty());
  EXPECT_TRUE(app.Items(Ctl::RDriver).empty());

  // Six paragraphs of about text, no addresses.
  const std::wstring about = app.Text(Ctl::Label4);
  size_t paragraphs = 1;
  for (size_t at = about.find(L"\r\n"); at != std::wstring::npos; at = about.find(L"\r\n", at + 2)) ++paragraphs;
  EXPECT_EQ(paragraphs, 6u);
  EXPECT_EQ(about.find(L"@"), std::wstring::npos);
  EXPECT_EQ(about.find(L"http"), std::wstring::npos);

  // Tab order: the controls that take the focus follow the design's order.
  std::vector<HWND> order;
  HWND first = ::GetNextDlgTabItem(app.main(), nullptr, FALSE);
  for (HWND h = first; h && order.size() < 30; h = ::GetNextDlgTabItem(app.main(), h, FALSE)) {
    if (!order.empty() && h == first) break;
    order.push_back(h);
  }
  const std::vector<Ctl> want = {Ctl::Text1,  Ctl::Command1, Ctl::Command2, Ctl::Command3, Ctl::Combo0,
                                 Ctl::Check1, Ctl::Check2,   Ctl::Command4, Ctl::Text2,    Ctl::Text3};
  ASSERT_EQ(order.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(order[i], app.Control(want[i])) << i;

  Shot(L"window-compact");
}

TEST_F(AppWindow, AMaximiseRequestTogglesTheViewAndNeverMaximises) {
  ::PostMessageW(app.main(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_TRUE(app.WaitFor([&] { return ClientHeightTwips() == 6150; }, 5000)) << ClientHeightTwips();
  EXPECT_FALSE(::IsZoomed(app.main()));
  RECT window;
  ::GetWindowRect(app.main(), &window);
  EXPECT_EQ(window.right - window.left, TwipsToPixels(8085, dpiX));
  EXPECT_TRUE(::IsWindowVisible(app.Control(Ctl::Frame3)));
  Shot(L"window-expanded");

  ::PostMessageW(app.main(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_TRUE(app.WaitFor([&] { return ClientHeightTwips() == 3360; }, 5000)) << ClientHeightTwips();
  EXPECT_FALSE(::IsZoomed(app.main()));
}

// The focus starts in the image path and is given back after a box and after an activation that
// came from another window.
TEST_F(AppWindow, TheFocusedControlOutlivesABoxAndADeactivation) {
  EXPECT_TRUE(app.WaitFor([&] { return app.Focused() == app.Control(Ctl::Text1); }, 5000));
  app.Click(Ctl::Command4);  // no image chosen: refused with a box
  const Box box = app.WaitBox();
  ASSERT_TRUE(box);
  app.Answer(box, IDOK);
  ASSERT_TRUE(app.WaitGone(box));
  EXPECT_TRUE(app.WaitFor([&] { return app.Focused() == app.Control(Ctl::Command4); }, 5000)) << app.Focused();

  UniqueHwnd other(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                     ::GetModuleHandleW(nullptr), nullptr));
  ::SetForegroundWindow(other.get());
  EXPECT_TRUE(app.WaitFor([&] { return app.Focused() == nullptr; }, 5000)) << app.Focused();
  ::SetForegroundWindow(app.main());
  EXPECT_TRUE(app.WaitFor([&] { return app.Focused() == app.Control(Ctl::Command4); }, 5000)) << app.Focused();
}

TEST_F(AppWindow, TheStatusLineReportsTheBarOnlyOutsideItsRestingText) {
  ::PostMessageW(app.main(), WM_COMMAND, MAKEWPARAM(ControlId(Ctl::Status), STN_CLICKED),
                 reinterpret_cast<LPARAM>(app.Control(Ctl::Status)));
  EXPECT_FALSE(app.WaitBox(800));
  ASSERT_TRUE(app.SetText(Ctl::Status, L"正在提取文件"));
  ::PostMessageW(app.main(), WM_COMMAND, MAKEWPARAM(ControlId(Ctl::Status), STN_CLICKED),
                 reinterpret_cast<LPARAM>(app.Control(Ctl::Status)));
  const Box box = app.WaitBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box.caption, L"Morvane系统安装工具");
  EXPECT_EQ(box.text, L"当前进度：0 %");
  app.Answer(box, IDOK);
}

// The bar is drawn on the screen, not only held: after a position of 60 the left part of the bar
// shows other pixels than its right part.
TEST_F(AppWindow, TheProgressBarsPositionIsDrawn) {
  HWND inner = ::GetDlgItem(app.Control(Ctl::ProgressBar1), 1);
  ASSERT_NE(inner, nullptr);
  DWORD_PTR result = 0;
  ::SendMessageTimeoutW(inner, PBM_SETPOS, 60, 0, SMTO_NORMAL, 2000, &result);
  ::Sleep(500);
  RECT r;
  ::GetWindowRect(inner, &r);
  HDC screen = ::GetDC(nullptr);
  const int y = (r.top + r.bottom) / 2;
  const COLORREF left = ::GetPixel(screen, r.left + (r.right - r.left) / 5, y);
  const COLORREF right = ::GetPixel(screen, r.right - (r.right - r.left) / 10, y);
  ::ReleaseDC(nullptr, screen);
  EXPECT_NE(left, right) << std::hex << left << " " << right;
  Shot(L"bar-at-60");
}

// The wrapper replays a recorded three-stage apply of the Windows tool: the statuses follow it in
// order, the bar moves and ends at 0, and the inputs stay disabled while it runs.
TEST_F(AppWindow, TheApplysThreeStagesAreFollowedStageByStage) {
  const std::wstring transcript = EnvOr(L"MORVANE_TRANSCRIPT");
  ASSERT_FALSE(transcript.empty()) << "MORVANE_TRANSCRIPT is not set";
  app.Kill();
  ASSERT_TRUE(app.Launch(Exe(), {{L"MORVANE_TOOL_MODE", L"transcript"},
                                 {L"MORVANE_TOOL_TRANSCRIPT", transcript},
                                 {L"MORVANE_TOOL_TRANSCRIPT_MS", L"120"}}));
  ASSERT_TRUE(app.SetText(Ctl::Text1, EnvOr(L"MORVANE_SMALL_IMAGE")));
  const Box confirm = PressStart(app, L"B:", L"T:", false);
  ASSERT_TRUE(confirm);
  app.Answer(confirm, IDOK);
  ASSERT_TRUE(app.WaitGone(confirm));

  std::vector<std::wstring> statuses;
  std::vector<int> bars;
  auto readBar = [&] {
    DWORD_PTR pos = 0;
    ::SendMessageTimeoutW(::GetDlgItem(app.Control(Ctl::ProgressBar1), 1), PBM_GETPOS, 0, 0, SMTO_NORMAL, 2000,
                          &pos);
    if (bars.empty() || bars.back() != static_cast<int>(pos)) bars.push_back(static_cast<int>(pos));
  };
  Box done;
  const ULONGLONG end = ::GetTickCount64() + 60000;
  while (::GetTickCount64() < end) {
    if ((done = app.WaitBox(1))) {
      readBar();  // the completion has reset the bar before its box: a fast one is seen only here
      break;
    }
    const std::wstring status = app.Text(Ctl::Status);
    if (statuses.empty() || statuses.back() != status) {
      statuses.push_back(status);
      if (status == L"正在提取文件") {
        EXPECT_EQ(app.Text(Ctl::Command4), L"正在安装");
        for (Ctl c : kRunInputs) EXPECT_FALSE(app.Enabled(c)) << static_cast<int>(c);
        Shot(L"install-extracting");
      }
    }
    readBar();
    ::Sleep(15);
  }
  ASSERT_TRUE(done) << "no completion box";
  EXPECT_EQ(done.text, kStageDone);
  Shot(L"install-done");
  app.Answer(done, IDOK);
  ExpectIdle(app);

  std::vector<std::wstring> stages;
  for (const std::wstring& s : statuses) {
    const bool stage = s == L"正在创建文件" || s == L"正在提取文件" || s == L"正在应用文件";
    if (stage && std::find(stages.begin(), stages.end(), s) == stages.end()) stages.push_back(s);
  }
  EXPECT_EQ(stages, (std::vector<std::wstring>{L"正在创建文件", L"正在提取文件", L"正在应用文件"}));
  EXPECT_GT(std::count_if(bars.begin(), bars.end(), [](int b) { return b > 0 && b < 100; }), 3);
  EXPECT_EQ(bars.back(), 0);
}

}  // namespace
}  // namespace morvane::wine
