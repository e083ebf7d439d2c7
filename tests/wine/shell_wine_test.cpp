// The Windows halves of the shell utilities and the window's drop handling, in this process, on
// real processes, files and windows.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <iostream>
#include <thread>

#include "app/layout.h"
#include "app/main_window_win.h"
#include "app_driver.h"
#include "shell/icon_win.h"
#include "shell/shell_wait_win.h"
#include "shell/system_win.h"

namespace morvane::wine {
namespace {

int g_ticks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_ticks; }

// The wait gives the child's exit code, and the thread's messages (a timer's here) are handled while
// the child runs.
TEST(ShellWait, ReturnsTheChildsExitCodeAndKeepsTheWindowAnswering) {
  ASSERT_FALSE(EnvOr(L"MORVANE_STANDIN").empty()) << "MORVANE_STANDIN is not set";
  const std::wstring command = L"\"" + EnvOr(L"MORVANE_STANDIN") + L"\" C:\\Windows /s C:";
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, CountTick);
  ::SetEnvironmentVariableW(L"MORVANE_STANDIN_DELAY_MS", L"1500");
  const RunResult ok = ShellWait(command);
  ::SetEnvironmentVariableW(L"MORVANE_STANDIN_DELAY_MS", nullptr);
  ::KillTimer(nullptr, timer);
  EXPECT_TRUE(ok.started);
  EXPECT_EQ(ok.exitCode, 0u);
  EXPECT_GE(g_ticks, 10) << "the window's timer did not fire while the child ran";

  ::SetEnvironmentVariableW(L"MORVANE_STANDIN_FAIL", L"bcdboot.exe");
  const RunResult failed = ShellWait(command);
  ::SetEnvironmentVariableW(L"MORVANE_STANDIN_FAIL", nullptr);
  EXPECT_TRUE(failed.started);
  EXPECT_EQ(failed.exitCode, 1u);
}

// The shell's file list (a DROPFILES block) as a drag or WM_DROPFILES hands it over.
HGLOBAL FileList(const std::vector<std::wstring>& files) {
  std::wstring names;
  for (const std::wstring& f : files) names += f + L'\0';
  names += L'\0';
  HGLOBAL global = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(global));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
  ::GlobalUnlock(global);
  return global;
}

// A dragged data object offering that file list, or (without `offer`) no file list at all.
struct FileListData : IDataObject {
  FileListData(std::vector<std::wstring> f, bool o) : files(std::move(f)), offer(o) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    *out = riid == IID_IUnknown || riid == IID_IDataObject ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    *medium = STGMEDIUM{TYMED_HGLOBAL, {}, nullptr};
    medium->hGlobal = FileList(files);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* f) override {
    return offer && f->cfFormat == CF_HDROP && (f->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  std::vector<std::wstring> files;
  bool offer;
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
    if (message) {
      ::SendMessageW(window->control(Ctl::Text1), WM_DROPFILES, reinterpret_cast<WPARAM>(FileList(files)), 0);
      return window->Text(Ctl::Text1);
    }
    FileListData data(files, offer);
    DWORD effect = DROPEFFECT_COPY;
    window->drop_target()->Drop(&data, 0, POINTL{0, 0}, &effect);
    // The drop returns before the path is taken, and so before the query that it starts.
    EXPECT_EQ(window->Text(Ctl::Text1), L"before");
    PumpPendingMessages(nullptr);
    return window->Text(Ctl::Text1);
  }
  // Runs a picker on the window's thread while a second thread fills in the dialog it opens (the first
  // dialog of this process) and presses `button`.
  template <typename Open, typename Fill>
  void Pick(Open open, Fill fill, int button) {
    std::thread answer([&] {
      std::vector<HWND> found;
      App::WaitFor([&] { return !(found = WindowsOf(::GetCurrentProcessId())).empty(); }, 10000);
      if (found.empty()) return;
      fill(found[0]);
      ::Sleep(200);
      ::PostMessageW(found[0], WM_COMMAND, button, 0);
    });
    open();
    answer.join();
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

// The caption and the taskbar show the icon group's own small image, at the small-icon size. The large
// icon is set too, and a new one replaces it and is handed out to be kept while it is shown.
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

  const UniqueIcon large = SetFormIcon(window->hwnd(), 32);
  ASSERT_TRUE(large);
  EXPECT_EQ(::SendMessageW(window->hwnd(), WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(large.get()));
  EXPECT_EQ(::SendMessageW(window->hwnd(), WM_GETICON, ICON_SMALL, 0), reinterpret_cast<LRESULT>(icon));
  window.reset();  // before the icon it shows
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
    EXPECT_GE(std::min(r.left, r.top), 0);
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

// The real pickers: the folder browser's choice is cut to its drive and a cancel keeps the field; the
// open dialog, titled "打开", gives the image path.
TEST_F(InProcessWindow, ThePickersChoicesReachTheirFields) {
  const std::wstring folder = EnvOr(L"MORVANE_FOLDER"), image = EnvOr(L"MORVANE_SMALL_IMAGE");
  ASSERT_FALSE(folder.empty() || image.empty()) << "MORVANE_FOLDER or MORVANE_SMALL_IMAGE is not set";
  for (const int button : {IDOK, IDCANCEL}) {
    window->SetText(Ctl::Text2, L"C:");
    const auto select = [&](HWND dialog) {
      ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
    };
    Pick([&] { window->form().OnCommand2(); }, select, button);
    EXPECT_EQ(window->Text(Ctl::Text2), button == IDOK ? folder.substr(0, 2) : L"C:");
  }
  std::wstring title(64, L'\0');
  const auto name = [&](HWND dialog) {
    title.resize(::GetWindowTextW(dialog, &title[0], 64));
    ::SetDlgItemTextW(dialog, 0x47C, image.c_str());  // the file name field (edt1 / cmb13)
  };
  Pick([&] { window->form().OnCommand1(); }, name, IDOK);
  EXPECT_EQ(title, L"打开");
  EXPECT_EQ(window->Text(Ctl::Text1), image);
}

// The half-width mapping is the platform's: full-width forms become ASCII.
TEST(HalfWidth, MapsFullWidthForms) {
  EXPECT_EQ(WinSystem().HalfWidth(L"\xFF23\xFF1A\x3000\xFF57\xFF49\xFF4D"), L"C: wim");
}

}  // namespace
}  // namespace morvane::wine
