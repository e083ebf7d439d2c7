// The progress bar control on real windows: what reaches the inner common control, how it is
// rebuilt, sized and torn down.
#include "progress/progress_bar_win.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "shell/handles_win.h"

namespace morvane {
namespace {

constexpr int kHostId = 42;

LONG_PTR StyleOf(HWND window) { return ::GetWindowLongPtrW(window, GWL_STYLE); }
int Pos(HWND bar) { return static_cast<int>(::SendMessageW(bar, PBM_GETPOS, 0, 0)); }
int RangeLow(HWND bar) { return static_cast<int>(::SendMessageW(bar, PBM_GETRANGE, TRUE, 0)); }
int RangeHigh(HWND bar) { return static_cast<int>(::SendMessageW(bar, PBM_GETRANGE, FALSE, 0)); }

SIZE ClientSize(HWND window) {
  RECT rc{};
  ::GetClientRect(window, &rc);
  return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

std::vector<HWND> DirectChildren(HWND parent) {
  std::vector<HWND> out;
  for (HWND c = ::FindWindowExW(parent, nullptr, nullptr, nullptr); c; c = ::FindWindowExW(parent, c, nullptr, nullptr))
    out.push_back(c);
  return out;
}

// A hidden top-level window (it needs no window manager) holding one bar at (10, 20), 300 x 24.
class ProgressBarWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
    ASSERT_TRUE(::InitCommonControlsEx(&icc));
    ASSERT_TRUE(ProgressBar::Register(::GetModuleHandleW(nullptr)));
  }

  void SetUp() override {
    top_.reset(::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 500, 300, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(top_.valid());
    bar_ = std::make_unique<ProgressBar>();
    ASSERT_TRUE(bar_->Create(top_.get(), 10, 20, 300, 24, kHostId));
    ASSERT_NE(bar_->inner(), nullptr);
  }

  void TearDown() override {
    bar_.reset();
    top_.reset();
  }

  UniqueHwnd top_;
  std::unique_ptr<ProgressBar> bar_;
};

TEST_F(ProgressBarWindowTest, HostHoldsOneCommonProgressBarOverItsWholeClientArea) {
  HWND host = bar_->hwnd();
  HWND inner = bar_->inner();
  wchar_t cls[64] = {};
  ::GetClassNameW(host, cls, 64);
  EXPECT_STREQ(cls, L"MorvaneProgressBar");
  ::GetClassNameW(inner, cls, 64);
  EXPECT_STREQ(cls, L"msctls_progress32");
  EXPECT_EQ(::GetParent(host), top_.get());
  EXPECT_EQ(::GetDlgCtrlID(host), kHostId);
  EXPECT_EQ(DirectChildren(host), std::vector<HWND>{inner});
  EXPECT_EQ(::GetDlgCtrlID(inner), 1);
  EXPECT_TRUE(StyleOf(inner) & WS_VISIBLE);  // the top-level window itself stays hidden

  RECT rc{};
  ::GetWindowRect(inner, &rc);
  ::MapWindowPoints(HWND_DESKTOP, host, reinterpret_cast<POINT*>(&rc), 2);
  EXPECT_EQ(rc.left, 0);
  EXPECT_EQ(rc.top, 0);
  EXPECT_EQ(rc.right, 300);
  EXPECT_EQ(rc.bottom, 24);
  EXPECT_FALSE(bar_->Create(top_.get(), 0, 0, 150, 20, 8)) << "a second host window";
}

TEST_F(ProgressBarWindowTest, RangeAndPositionReachTheInnerBarWhichClampsWhatItDraws) {
  bar_->SetMin(10);
  bar_->SetMax(300);
  bar_->SetValue(123);
  EXPECT_EQ(RangeLow(bar_->inner()), 10);
  EXPECT_EQ(RangeHigh(bar_->inner()), 300);
  EXPECT_EQ(Pos(bar_->inner()), 123);
  bar_->SetValue(400);
  EXPECT_EQ(Pos(bar_->inner()), 300);
  EXPECT_EQ(bar_->Value(), 400) << "the property keeps what was set";
}

TEST_F(ProgressBarWindowTest, StyleChangesBuildANewBarThatKeepsRangePositionAndSize) {
  bar_->SetMin(5);
  bar_->SetMax(400);
  bar_->SetValue(250);
  HWND old = bar_->inner();
  bar_->SetSmooth(true);
  bar_->SetOrientation(1);
  HWND inner = bar_->inner();
  EXPECT_FALSE(::IsWindow(old));
  EXPECT_EQ(StyleOf(inner) & (PBS_SMOOTH | PBS_VERTICAL | PBS_MARQUEE), PBS_SMOOTH | PBS_VERTICAL);
  EXPECT_EQ(RangeLow(inner), 5);
  EXPECT_EQ(RangeHigh(inner), 400);
  EXPECT_EQ(Pos(inner), 250);
  bar_->SetMarquee(true);  // a marquee bar reads back no position
  inner = bar_->inner();
  EXPECT_TRUE(StyleOf(inner) & PBS_MARQUEE);
  EXPECT_EQ(DirectChildren(bar_->hwnd()), std::vector<HWND>{inner});
  EXPECT_EQ(::GetDlgCtrlID(inner), 1);
  const SIZE size = ClientSize(inner);
  EXPECT_EQ(size.cx, 300);
  EXPECT_EQ(size.cy, 24);
}

TEST_F(ProgressBarWindowTest, MovingTheHostResizesTheBarAtOnce) {
  ASSERT_TRUE(::MoveWindow(bar_->hwnd(), 4, 4, 333, 44, TRUE));
  SIZE size = ClientSize(bar_->inner());
  EXPECT_EQ(size.cx, 333);
  EXPECT_EQ(size.cy, 44);
  ASSERT_TRUE(::SetWindowPos(bar_->hwnd(), nullptr, 0, 0, 120, 200, SWP_NOMOVE | SWP_NOZORDER));
  size = ClientSize(bar_->inner());
  EXPECT_EQ(size.cx, 120);
  EXPECT_EQ(size.cy, 200);
  bar_->SetOrientation(1);  // a new bar takes the host's size of now
  size = ClientSize(bar_->inner());
  EXPECT_EQ(size.cx, 120);
  EXPECT_EQ(size.cy, 200);
}

TEST_F(ProgressBarWindowTest, DestroyingTheObjectDestroysBothWindows) {
  HWND host = bar_->hwnd();
  HWND inner = bar_->inner();
  bar_.reset();
  EXPECT_FALSE(::IsWindow(host));
  EXPECT_FALSE(::IsWindow(inner));
  EXPECT_TRUE(::IsWindow(top_.get()));
}

TEST_F(ProgressBarWindowTest, ParentDestroyedFirstLeavesTheObjectWithoutWindows) {
  HWND inner = bar_->inner();
  top_.reset();
  EXPECT_EQ(bar_->hwnd(), nullptr);
  EXPECT_EQ(bar_->inner(), nullptr);
  EXPECT_FALSE(::IsWindow(inner));
  bar_->SetValue(3);
  bar_->SetSmooth(false);
  EXPECT_EQ(bar_->inner(), nullptr);
}

}  // namespace
}  // namespace morvane
