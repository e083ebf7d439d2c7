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
  for (HWND c = ::FindWindowExW(parent, nullptr, nullptr, nullptr); c;
       c = ::FindWindowExW(parent, c, nullptr, nullptr))
    out.push_back(c);
  return out;
}

// The bar's client area as drawn through WM_PRINTCLIENT, one 32-bit pixel per entry.
std::vector<DWORD> Render(HWND bar) {
  SIZE size = ClientSize(bar);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = size.cx;
  bi.bmiHeader.biHeight = -size.cy;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = ::GetDC(nullptr);
  UniqueMemoryDc dc(::CreateCompatibleDC(screen));
  ::ReleaseDC(nullptr, screen);
  UniqueBitmap dib(::CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  std::vector<DWORD> pixels;
  if (!dc || !dib || !bits) return pixels;
  HGDIOBJ old = ::SelectObject(dc.get(), dib.get());
  ::SendMessageW(bar, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()),
                 PRF_CLIENT | PRF_ERASEBKGND);
  ::GdiFlush();
  const DWORD* p = static_cast<const DWORD*>(bits);
  pixels.assign(p, p + static_cast<size_t>(size.cx) * size.cy);
  ::SelectObject(dc.get(), old);
  return pixels;
}

LRESULT CALLBACK TopLevelProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  return ::DefWindowProcW(w, m, wp, lp);
}

class ProgressBarWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
    ASSERT_TRUE(::InitCommonControlsEx(&icc));
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    ASSERT_TRUE(ProgressBar::Register(instance));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &TopLevelProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"MorvaneProgressTestTop";
    if (!::GetClassInfoExW(instance, wc.lpszClassName, &wc)) ASSERT_TRUE(::RegisterClassExW(&wc));
  }

  void SetUp() override {
    // Never shown: a hidden top-level window needs no window manager.
    top_.reset(::CreateWindowExW(0, L"MorvaneProgressTestTop", L"progress test",
                                 WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 500, 300, nullptr,
                                 nullptr, ::GetModuleHandleW(nullptr), nullptr));
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

// --- the two windows ---

TEST_F(ProgressBarWindowTest, HostHoldsOneCommonProgressBarOverItsWholeClientArea) {
  HWND host = bar_->hwnd();
  HWND inner = bar_->inner();
  ASSERT_NE(host, inner);

  wchar_t cls[64] = {};
  ::GetClassNameW(host, cls, 64);
  EXPECT_STREQ(cls, L"MorvaneProgressBar");
  ::GetClassNameW(inner, cls, 64);
  EXPECT_STREQ(cls, L"msctls_progress32");

  EXPECT_EQ(::GetParent(host), top_.get());
  EXPECT_EQ(::GetDlgCtrlID(host), kHostId);
  EXPECT_EQ(::GetParent(inner), host);
  EXPECT_EQ(::GetDlgCtrlID(inner), 1);
  EXPECT_EQ(DirectChildren(host), std::vector<HWND>{inner});

  EXPECT_TRUE(StyleOf(host) & WS_CHILD);
  EXPECT_TRUE(StyleOf(inner) & WS_VISIBLE);  // the top-level window itself stays hidden
  RECT rc{};
  ::GetWindowRect(inner, &rc);
  ::MapWindowPoints(HWND_DESKTOP, host, reinterpret_cast<POINT*>(&rc), 2);
  EXPECT_EQ(rc.left, 0);
  EXPECT_EQ(rc.top, 0);
  SIZE hostSize = ClientSize(host);
  SIZE innerSize = ClientSize(inner);
  EXPECT_EQ(hostSize.cx, 300);
  EXPECT_EQ(hostSize.cy, 24);
  EXPECT_EQ(rc.right, hostSize.cx);
  EXPECT_EQ(rc.bottom, hostSize.cy);
  EXPECT_GT(innerSize.cx, 0);
}

TEST_F(ProgressBarWindowTest, FreshBarHasTheDefaultRangeAndStyle) {
  EXPECT_EQ(RangeLow(bar_->inner()), 0);
  EXPECT_EQ(RangeHigh(bar_->inner()), 100);
  EXPECT_EQ(Pos(bar_->inner()), 0);
  EXPECT_EQ(StyleOf(bar_->inner()) & (PBS_SMOOTH | PBS_VERTICAL | PBS_MARQUEE), 0);
}

TEST_F(ProgressBarWindowTest, RangeAndPositionReachTheInnerBar) {
  bar_->SetMin(10);
  bar_->SetMax(300);
  bar_->SetValue(123);
  EXPECT_EQ(RangeLow(bar_->inner()), 10);
  EXPECT_EQ(RangeHigh(bar_->inner()), 300);
  EXPECT_EQ(Pos(bar_->inner()), 123);
  EXPECT_EQ(bar_->Value(), 123);

  bar_->SetMin(-50);
  EXPECT_EQ(RangeLow(bar_->inner()), -50);
  EXPECT_EQ(RangeHigh(bar_->inner()), 300);
}

TEST_F(ProgressBarWindowTest, MessagesToTheHostDoNotReachTheBar) {
  bar_->SetValue(30);
  ::SendMessageW(bar_->hwnd(), PBM_SETPOS, 70, 0);
  ::SendMessageW(bar_->hwnd(), PBM_SETRANGE32, 0, 1000);
  EXPECT_EQ(Pos(bar_->inner()), 30);
  EXPECT_EQ(RangeHigh(bar_->inner()), 100);
  EXPECT_EQ(bar_->Value(), 30);
}

// --- rebuilding on style changes ---

TEST_F(ProgressBarWindowTest, StyleChangesBuildANewBarThatKeepsRangeAndPosition) {
  bar_->SetMin(5);
  bar_->SetMax(400);
  bar_->SetValue(250);

  HWND old = bar_->inner();
  bar_->SetSmooth(true);
  HWND smooth = bar_->inner();
  ASSERT_NE(smooth, nullptr);
  EXPECT_FALSE(::IsWindow(old));
  EXPECT_TRUE(StyleOf(smooth) & PBS_SMOOTH);
  EXPECT_FALSE(StyleOf(smooth) & PBS_VERTICAL);
  EXPECT_EQ(RangeLow(smooth), 5);
  EXPECT_EQ(RangeHigh(smooth), 400);
  EXPECT_EQ(Pos(smooth), 250);

  bar_->SetOrientation(1);
  EXPECT_TRUE(StyleOf(bar_->inner()) & PBS_VERTICAL);
  EXPECT_TRUE(StyleOf(bar_->inner()) & PBS_SMOOTH);
  EXPECT_EQ(Pos(bar_->inner()), 250);

  bar_->SetOrientation(2);
  EXPECT_FALSE(StyleOf(bar_->inner()) & PBS_VERTICAL);

  EXPECT_EQ(DirectChildren(bar_->hwnd()), std::vector<HWND>{bar_->inner()});
  EXPECT_EQ(::GetDlgCtrlID(bar_->inner()), 1);
  SIZE size = ClientSize(bar_->inner());
  EXPECT_EQ(size.cx, 300);
  EXPECT_EQ(size.cy, 24);
}

TEST_F(ProgressBarWindowTest, MarqueeBarGetsTheMarqueeStyle) {
  bar_->SetVelocity(40);
  bar_->SetMarquee(true);
  EXPECT_TRUE(StyleOf(bar_->inner()) & PBS_MARQUEE);
  EXPECT_TRUE(bar_->Marquee());
  bar_->SetVelocity(15);
  EXPECT_EQ(bar_->Velocity(), 15);

  bar_->SetMarquee(false);
  EXPECT_FALSE(StyleOf(bar_->inner()) & PBS_MARQUEE);
  EXPECT_EQ(DirectChildren(bar_->hwnd()).size(), 1u);
}

// --- size ---

TEST_F(ProgressBarWindowTest, MovingTheHostResizesTheBarAtOnce) {
  ASSERT_TRUE(::MoveWindow(bar_->hwnd(), 4, 4, 333, 44, TRUE));
  SIZE size = ClientSize(bar_->inner());
  EXPECT_EQ(size.cx, 333);
  EXPECT_EQ(size.cy, 44);

  ASSERT_TRUE(::SetWindowPos(bar_->hwnd(), nullptr, 0, 0, 120, 200, SWP_NOMOVE | SWP_NOZORDER));
  size = ClientSize(bar_->inner());
  EXPECT_EQ(size.cx, 120);
  EXPECT_EQ(size.cy, 200);

  bar_->SetOrientation(1);
  size = ClientSize(bar_->inner());
  EXPECT_EQ(size.cx, 120);
  EXPECT_EQ(size.cy, 200);
}

// --- drawing ---

TEST_F(ProgressBarWindowTest, ValueAboveMaximumDrawsFullButReadsBackAsSet) {
  bar_->SetSmooth(true);
  bar_->SetValue(100);
  std::vector<DWORD> full = Render(bar_->inner());
  bar_->SetValue(50);
  std::vector<DWORD> half = Render(bar_->inner());
  bar_->SetValue(150);
  std::vector<DWORD> over = Render(bar_->inner());

  ASSERT_FALSE(full.empty());
  EXPECT_NE(full, half) << "the rendering does not show the position";
  EXPECT_EQ(over, full);
  EXPECT_EQ(bar_->Value(), 150);
  EXPECT_EQ(Pos(bar_->inner()), 100);  // the common control clamps, the property does not
}

// --- lifetime ---

TEST(ProgressBarLifetimeTest, SetsBeforeCreateAreDroppedButStyleIsKept) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
  ASSERT_TRUE(::InitCommonControlsEx(&icc));
  ASSERT_TRUE(ProgressBar::Register(::GetModuleHandleW(nullptr)));
  UniqueHwnd top(::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 200, 100, nullptr,
                                   nullptr, nullptr, nullptr));
  ASSERT_TRUE(top.valid());

  ProgressBar bar;
  EXPECT_EQ(bar.hwnd(), nullptr);
  EXPECT_EQ(bar.inner(), nullptr);
  bar.SetValue(5);
  bar.SetMax(10);
  bar.SetSmooth(true);
  EXPECT_EQ(bar.Value(), 0);
  EXPECT_EQ(bar.Max(), 100);
  EXPECT_EQ(bar.inner(), nullptr);

  ASSERT_TRUE(bar.Create(top.get(), 0, 0, 150, 20, 7));
  EXPECT_TRUE(StyleOf(bar.inner()) & PBS_SMOOTH);
  EXPECT_FALSE(bar.Create(top.get(), 0, 0, 150, 20, 8)) << "a second host window";
  EXPECT_EQ(DirectChildren(top.get()).size(), 1u);
}

TEST(ProgressBarLifetimeTest, DestroyingTheObjectDestroysBothWindows) {
  ASSERT_TRUE(ProgressBar::Register(::GetModuleHandleW(nullptr)));
  UniqueHwnd top(::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 200, 100, nullptr,
                                   nullptr, nullptr, nullptr));
  HWND host = nullptr;
  HWND inner = nullptr;
  {
    ProgressBar bar;
    ASSERT_TRUE(bar.Create(top.get(), 0, 0, 150, 20, 7));
    host = bar.hwnd();
    inner = bar.inner();
  }
  EXPECT_FALSE(::IsWindow(host));
  EXPECT_FALSE(::IsWindow(inner));
  EXPECT_TRUE(::IsWindow(top.get()));
}

TEST(ProgressBarLifetimeTest, ParentDestroyedFirstLeavesTheObjectWithoutWindows) {
  ASSERT_TRUE(ProgressBar::Register(::GetModuleHandleW(nullptr)));
  UniqueHwnd top(::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 200, 100, nullptr,
                                   nullptr, nullptr, nullptr));
  ProgressBar bar;
  ASSERT_TRUE(bar.Create(top.get(), 0, 0, 150, 20, 7));
  HWND inner = bar.inner();
  top.reset();
  EXPECT_EQ(bar.hwnd(), nullptr);
  EXPECT_EQ(bar.inner(), nullptr);
  EXPECT_FALSE(::IsWindow(inner));
  bar.SetValue(3);
  bar.SetSmooth(false);
  EXPECT_EQ(bar.inner(), nullptr);
}

}  // namespace
}  // namespace morvane
