// The progress bar control on real windows: the common control it holds, what reaches that control and
// its end. How the properties drive the control is the native tests' matter; the drawing is checked
// on the real program.
#include "progress/progress_bar_win.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

namespace morvane {
namespace {

// As the main window holds it: one common control filling the host, which takes the value in the
// range of 0 to 100; the parent is destroyed before the object, which is then left without windows.
TEST(ProgressBarWindow, OneCommonBarFillsTheHostTakesTheValueAndEndsWithTheParent) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
  ASSERT_TRUE(::InitCommonControlsEx(&icc));
  ASSERT_TRUE(ProgressBar::Register(::GetModuleHandleW(nullptr)));
  // A hidden top-level window needs no window manager.
  UniqueHwnd top(::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 500, 300, nullptr, nullptr,
                                   nullptr, nullptr));
  ProgressBar bar;
  ASSERT_TRUE(bar.Create(top.get(), 10, 20, 300, 24, 42));
  HWND host = bar.hwnd(), inner = bar.inner();
  wchar_t cls[64] = {};
  ::GetClassNameW(host, cls, 64);
  EXPECT_STREQ(cls, L"MorvaneProgressBar");
  ::GetClassNameW(inner, cls, 64);
  EXPECT_STREQ(cls, L"msctls_progress32");
  EXPECT_EQ(::GetParent(host), top.get());
  EXPECT_EQ(::GetDlgCtrlID(host), 42);
  EXPECT_EQ(::FindWindowExW(host, nullptr, nullptr, nullptr), inner);
  EXPECT_EQ(::FindWindowExW(host, inner, nullptr, nullptr), nullptr) << "a second child";
  EXPECT_EQ(::GetDlgCtrlID(inner), 1);
  EXPECT_TRUE(::GetWindowLongPtrW(inner, GWL_STYLE) & WS_VISIBLE);
  RECT rc{};
  ::GetWindowRect(inner, &rc);
  ::MapWindowPoints(HWND_DESKTOP, host, reinterpret_cast<POINT*>(&rc), 2);
  EXPECT_EQ((std::vector<LONG>{rc.left, rc.top, rc.right, rc.bottom}), (std::vector<LONG>{0, 0, 300, 24}));
  bar.SetValue(60);
  EXPECT_EQ(::SendMessageW(inner, PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(::SendMessageW(inner, PBM_GETRANGE, FALSE, 0), 100);
  EXPECT_EQ(::SendMessageW(inner, PBM_GETPOS, 0, 0), 60);

  top.reset();
  EXPECT_FALSE(::IsWindow(host));
  EXPECT_FALSE(::IsWindow(inner));
  EXPECT_EQ(bar.hwnd(), nullptr);
  EXPECT_EQ(bar.inner(), nullptr);
  bar.SetValue(3);  // nothing to send to
}

}  // namespace
}  // namespace morvane
