// The Windows halves of the shell utilities and the window's drop handling, in this process, on
// real processes, files and windows.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <iostream>
#include <random>
#include <thread>

#include "app/layout.h"
#include "app/main_window_win.h"
#include "app_driver.h"
#include "shell/icon_win.h"
#include "shell/shell_wait_win.h"
#include "shell/system_win.h"

namespace morvane::wine {
namespace {

std::wstring StandIn() { return EnvOr(L"MORVANE_STANDIN"); }

struct ScopedEnv {
  ScopedEnv(const wchar_t* name, const wchar_t* value) : name_(name) { ::SetEnvironmentVariableW(name, value); }
  ~ScopedEnv() { ::SetEnvironmentVariableW(name_, nullptr); }
  const wchar_t* name_;
};

LRESULT CALLBACK CountTicks(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER) {
    ++*reinterpret_cast<int*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST(ShellWait, ReturnsTheChildsExitCodeAndKeepsTheWindowAnswering) {
  ASSERT_FALSE(StandIn().empty()) << "MORVANE_STANDIN is not set";
  WNDCLASSW wc = {};
  wc.lpfnWndProc = CountTicks;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"MorvaneTickCounter";
  ::RegisterClassW(&wc);
  int ticks = 0;
  UniqueHwnd window(::CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                      wc.hInstance, nullptr));
  ::SetWindowLongPtrW(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&ticks));
  ::SetTimer(window.get(), 1, 50, nullptr);

  ScopedEnv delay(L"MORVANE_STANDIN_DELAY_MS", L"1500");
  const RunResult ok = ShellWait(L"\"" + StandIn() + L"\" C:\\Windows /s C:");
  EXPECT_TRUE(ok.started);
  EXPECT_EQ(ok.exitCode, 0u);
  EXPECT_GE(ticks, 10) << "the window's timer did not fire while the child ran";

  ScopedEnv fail(L"MORVANE_STANDIN_FAIL", L"bcdboot.exe");
  const RunResult failed = ShellWait(L"\"" + StandIn() + L"\" C:\\Windows /s C:");
  EXPECT_TRUE(failed.started);
  EXPECT_EQ(failed.exitCode, 1u);
  ::KillTimer(window.get(), 1);
}

// A data object offering the shell's file list, as Explorer's drag does.
class FileListData : public IDataObject {
 public:
  FileListData(std::vector<std::wstring> files, bool offerFileList) : files_(std::move(files)), offer_(offerFileList) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDataObject) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (!offer_ || format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
    std::wstring names;
    for (const std::wstring& f : files_) names += f + L'\0';
    names += L'\0';
    HGLOBAL global = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(global));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), names.data(), names.size() * sizeof(wchar_t));
    ::GlobalUnlock(global);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = global;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* f) override {
    return offer_ && f->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    out->ptd = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  std::vector<std::wstring> files_;
  bool offer_;
};

class InProcessWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ole.ok());
    ASSERT_TRUE(MainWindow::Register(::GetModuleHandleW(nullptr)));
    window = std::make_unique<MainWindow>(sys);
    ASSERT_TRUE(window->Create(::GetModuleHandleW(nullptr), SW_SHOWNOACTIVATE));
  }
  void TearDown() override {
    window.reset();
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }  // the closed window's WM_QUIT must not reach the next test
  }
  // Drops the files on the window, through its drop target or (`message`) the older WM_DROPFILES.
  std::wstring Drop(const std::vector<std::wstring>& files, bool offer, bool message) {
    window->SetText(Ctl::Text1, L"before");
    FileListData data(files, offer);
    if (message) {
      FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
      STGMEDIUM medium = {};
      data.GetData(&format, &medium);
      ::SendMessageW(window->control(Ctl::Text1), WM_DROPFILES, reinterpret_cast<WPARAM>(medium.hGlobal), 0);
      return window->Text(Ctl::Text1);
    }
    DWORD effect = DROPEFFECT_COPY;
    window->drop_target()->Drop(&data, 0, POINTL{0, 0}, &effect);
    // The drop returns before the path is taken, and so before the query that it starts.
    EXPECT_EQ(window->Text(Ctl::Text1), L"before");
    PumpPendingMessages(nullptr);
    return window->Text(Ctl::Text1);
  }
  OleThreadGuard ole;
  WinSystem sys;
  std::unique_ptr<MainWindow> window;
};

// One image file is taken with its letter case; several files, another extension or a drag without a
// file list are refused silently.
TEST_F(InProcessWindow, ADropTakesOneImageFileOnly) {
  struct Case {
    std::vector<std::wstring> files;
    bool offer;
    const wchar_t* taken;
  };
  const Case cases[] = {{{L"S:\\Images\\Install.WIM"}, true, L"S:\\Images\\Install.WIM"},
                        {{L"S:\\x\\a.Esd"}, true, L"S:\\x\\a.Esd"},
                        {{L"S:\\a.wim", L"S:\\b.wim"}, true, L"before"},
                        {{L"S:\\a.wim.txt"}, true, L"before"},
                        {{L"S:\\a.wim"}, false, L"before"}};
  for (const bool message : {false, true}) {
    for (const Case& c : cases) {
      if (!message || c.offer) {
        EXPECT_EQ(Drop(c.files, c.offer, message), c.taken) << ToUtf8(c.files[0]) << message;
      }
    }
  }
}

// The caption and the taskbar show the icon group's own small image, at the small-icon size; the
// large icon is set too.
TEST_F(InProcessWindow, TheSmallIconIsTheGroupsSmallImage) {
  EXPECT_NE(::SendMessageW(window->hwnd(), WM_GETICON, ICON_BIG, 0), 0);
  const auto icon = reinterpret_cast<HICON>(::SendMessageW(window->hwnd(), WM_GETICON, ICON_SMALL, 0));
  ICONINFO info = {};
  ASSERT_TRUE(::GetIconInfo(icon, &info));
  UniqueBitmap color(info.hbmColor), mask(info.hbmMask);
  BITMAP bitmap = {};
  ASSERT_TRUE(::GetObjectW(color.get(), sizeof bitmap, &bitmap));
  EXPECT_EQ(bitmap.bmWidth, ::GetSystemMetrics(SM_CXSMICON));
  EXPECT_EQ(bitmap.bmHeight, ::GetSystemMetrics(SM_CYSMICON));
}

// Version 5 and older get no taskbar object; newer systems get it where their shell hands out
// ITaskbarList3 (asked here with the SDK's own identifiers).
TEST_F(InProcessWindow, TheTaskbarObjectIsMadeOnlyAboveVersion5) {
  const std::wstring want = EnvOr(L"MORVANE_SYSVER");
  if (!want.empty()) {
    EXPECT_EQ(sys.SysVer(), std::stoi(want));
  }
  UniqueCom<ITaskbarList3> probe;
  const bool systemHasIt = SUCCEEDED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                                        IID_ITaskbarList3, probe.put_void()));
  EXPECT_EQ(window->form().state().taskbarList, sys.SysVer() > 5 && systemHasIt);
}

// At the screen's DPI: every control inside the client area (those above the about frame inside the
// compact one), the fonts sized for that DPI, and every caption whole in its control.
TEST_F(InProcessWindow, EveryCaptionFitsItsControlAtThisDpi) {
  HDC dc = ::GetDC(window->hwnd());
  const int dpiX = ::GetDeviceCaps(dc, LOGPIXELSX), dpiY = ::GetDeviceCaps(dc, LOGPIXELSY);
  std::cout << "[ note     ] " << dpiX << " x " << dpiY << " dpi\n";
  const auto px = [&](int at96) { return ::MulDiv(at96, dpiX, 96); };
  for (const ControlSpec& item : FormLayout()) {
    if (!item.visible) continue;
    SCOPED_TRACE(static_cast<int>(item.ctl));
    HWND h = window->control(item.ctl);
    RECT r;
    ::GetWindowRect(h, &r);
    ::MapWindowPoints(nullptr, window->hwnd(), reinterpret_cast<POINT*>(&r), 2);
    const bool compact = PlaceInWindow(item).top < kCompactClientHeight;
    EXPECT_GE(r.left, 0);
    EXPECT_GE(r.top, 0);
    EXPECT_LE(r.right, TwipsToPixels(kClientWidth, dpiX));
    EXPECT_LE(r.bottom, TwipsToPixels(compact ? kCompactClientHeight : kExpandedClientHeight, dpiY));

    const std::wstring text = window->Text(item.ctl);
    if (item.face != Face::YaHei || text.empty()) continue;
    const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(h, WM_GETFONT, 0, 0));
    LOGFONTW logical = {};
    ::GetObjectW(font, sizeof logical, &logical);
    EXPECT_EQ(logical.lfHeight, -::MulDiv(9, dpiY, 72));
    const HGDIOBJ old = ::SelectObject(dc, font);
    RECT client;
    ::GetClientRect(h, &client);
    // The room the control leaves its text: a button's edges, a check box's box and gap, a group
    // box's caption indents.
    int room = client.right;
    if (item.kind == Kind::Button) room -= 2 * px(3);
    if (item.kind == Kind::CheckBox) room -= std::max(::GetSystemMetrics(SM_CXMENUCHECK), px(13)) + px(4);
    if (item.kind == Kind::Frame) room -= 2 * px(8);
    RECT need = {0, 0, room, 0};
    ::DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    SIZE line = {};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &line);
    ::SelectObject(dc, old);
    EXPECT_LE(need.right, room) << ToUtf8(text);
    EXPECT_LE(need.bottom, client.bottom) << ToUtf8(text);
    if (item.ctl != Ctl::Label4) {
      EXPECT_LE(line.cx, room) << ToUtf8(text) << ": one line";
    }
  }
  ::ReleaseDC(window->hwnd(), dc);
}

TEST(FormIcon, SetsTheLargeIconAndHandsOutItsOwner) {
  UniqueHwnd window(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      ::GetModuleHandleW(nullptr), nullptr));
  EXPECT_EQ(::SendMessageW(window.get(), WM_GETICON, ICON_BIG, 0), 0);
  const UniqueIcon first = SetFormIcon(window.get(), 32);
  ASSERT_TRUE(first);
  EXPECT_EQ(::SendMessageW(window.get(), WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(first.get()));
  EXPECT_EQ(::SendMessageW(window.get(), WM_GETICON, ICON_SMALL, 0), 0);
  const UniqueIcon second = SetFormIcon(window.get(), 32);
  EXPECT_EQ(::SendMessageW(window.get(), WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(second.get()));
  window.reset();  // before the icons it shows
}

// A dialog of this process, waiting up to ten seconds for it.
HWND OwnDialog() {
  std::vector<HWND> found;
  App::WaitFor([&] { return !(found = WindowsOf(::GetCurrentProcessId())).empty(); }, 10000);
  return found.empty() ? nullptr : found[0];
}

// The real pickers, answered from a second thread while the window's thread runs them.
TEST_F(InProcessWindow, TheFolderBrowsersChoiceIsCutToItsDrive) {
  const std::wstring folder = EnvOr(L"MORVANE_FOLDER");
  ASSERT_FALSE(folder.empty()) << "MORVANE_FOLDER is not set";
  for (const bool confirm : {true, false}) {
    window->SetText(Ctl::Text2, L"C:");
    std::thread answer([&] {
      HWND dialog = OwnDialog();
      if (!dialog) return;
      ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
      ::Sleep(200);
      ::PostMessageW(dialog, WM_COMMAND, confirm ? IDOK : IDCANCEL, 0);
    });
    window->form().OnCommand2();
    answer.join();
    EXPECT_EQ(window->Text(Ctl::Text2), confirm ? folder.substr(0, 2) : L"C:");
  }
}

TEST_F(InProcessWindow, TheOpenDialogsChoiceBecomesTheImagePath) {
  const std::wstring image = EnvOr(L"MORVANE_SMALL_IMAGE");
  ASSERT_FALSE(image.empty()) << "MORVANE_SMALL_IMAGE is not set";
  std::wstring title;
  std::thread answer([&] {
    HWND dialog = OwnDialog();
    if (!dialog) return;
    wchar_t text[64] = {};
    ::GetWindowTextW(dialog, text, 64);
    title = text;
    HWND name = ::GetDlgItem(dialog, 0x47C);  // the file name field (edt1 / cmb13)
    ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(image.c_str()));
    ::Sleep(200);
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  window->form().OnCommand1();
  answer.join();
  EXPECT_EQ(title, L"打开");
  EXPECT_EQ(window->Text(Ctl::Text1), image);
}

// The half-width mapping is the platform's (LCMapStringW): random UTF-16 text (lone surrogates, the
// full-width block, ideographs, controls) maps to text of the same emptiness and about its length.
TEST(HalfWidthRandom, MapsAnyTextWithoutLosingIt) {
  WinSystem sys;
  std::mt19937 rng(20181);
  for (int round = 0; round < 20000; ++round) {
    std::wstring text(rng() % 64, L'\0');
    for (wchar_t& ch : text) {
      const unsigned r = rng();
      const unsigned base[] = {0xFF01, 0x4E00, 0xD800, 0, 0x3000, 0};
      const unsigned span[] = {0x5E, 0x5000, 0x800, 0x80, 0x100, 0x10000};
      ch = static_cast<wchar_t>(base[r % 6] + (r >> 3) % span[r % 6]);
    }
    const std::wstring mapped = sys.HalfWidth(text);
    ASSERT_EQ(mapped.empty(), text.empty()) << round;
    ASSERT_LE(mapped.size(), text.size() * 2 + 2) << round;  // kana may take a voiced mark
  }
}

}  // namespace
}  // namespace morvane::wine
