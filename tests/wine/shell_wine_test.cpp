// The Windows halves of the shell utilities and the window's drop handling, in this process, on
// real processes, files and windows.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <iostream>

#include "app/layout.h"
#include "app/main_window_win.h"
#include "app_driver.h"
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
  if (StandIn().empty()) GTEST_SKIP() << "MORVANE_STANDIN is not set";
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

TEST(ShellWait, ACommandThatCannotStartIsToldApart) {
  const RunResult run = ShellWait(L"C:\\no such folder\\missing.exe /x");
  EXPECT_FALSE(run.started);
}

TEST(ShortPath, GivesBlankFreeShortFormsAndOtherwiseTheLongPath) {
  const std::wstring exe = EnvOr(L"MORVANE_EXE");
  if (exe.empty()) GTEST_SKIP() << "MORVANE_EXE is not set";
  WinSystem sys;
  const std::wstring shortForm = sys.ShortPath(exe);
  EXPECT_EQ(shortForm.find(L' '), std::wstring::npos) << Utf8(shortForm);
  EXPECT_TRUE(FileExists(shortForm));
  EXPECT_EQ(sys.ShortPath(L"C:\\windows"), L"C:\\windows");
  const std::wstring missing = L"C:\\no such folder\\image file.wim";
  EXPECT_EQ(sys.ShortPath(missing), missing);
}

TEST(SystemCalls, LookupSeesNeitherHiddenEntriesNorWildcards) {
  const std::wstring hidden = EnvOr(L"MORVANE_HIDDEN_FILE"), folder = EnvOr(L"MORVANE_FOLDER");
  const std::wstring image = EnvOr(L"MORVANE_SMALL_IMAGE");
  if (hidden.empty() || image.empty()) GTEST_SKIP() << "the rig's environment is not set";
  WinSystem sys;
  EXPECT_EQ(sys.Lookup(image), Entry::File);
  EXPECT_EQ(sys.Lookup(hidden), Entry::None);
  EXPECT_EQ(sys.Lookup(folder), Entry::Folder);
  EXPECT_EQ(sys.Lookup(L"S:\\*.wim"), Entry::None);
  EXPECT_GE(sys.SysVer(), 5);
  EXPECT_EQ(sys.HalfWidth(L"ＡＢＣ１２３\u3000中文"), L"ABC123 中文");
  EXPECT_NE(sys.DriveRoots().find(std::wstring(L"C:\\\0", 4)), std::wstring::npos);
  EXPECT_EQ(sys.TypeOfDrive(L"C:"), DriveType::Fixed);
  EXPECT_EQ(sys.BusType(L"Q:"), L"");  // no such drive
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
  std::wstring Drop(std::vector<std::wstring> files, bool offer = true) {
    window->SetText(Ctl::Text1, L"before");
    FileListData data(std::move(files), offer);
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

TEST_F(InProcessWindow, OneImageFileIsTakenWithItsLetterCase) {
  EXPECT_EQ(Drop({L"S:\\Images\\Install.WIM"}), L"S:\\Images\\Install.WIM");
  EXPECT_EQ(Drop({L"S:\\x\\a.Esd"}), L"S:\\x\\a.Esd");
}

TEST_F(InProcessWindow, EverythingElseIsRefusedSilently) {
  EXPECT_EQ(Drop({L"S:\\a.wim", L"S:\\b.wim"}), L"before");
  EXPECT_EQ(Drop({L"S:\\a.wim.txt"}), L"before");
  EXPECT_EQ(Drop({L"S:\\a.wim"}, false), L"before");
}

// The caption and the taskbar show the icon group's own small image, at the small-icon size.
TEST_F(InProcessWindow, TheSmallIconIsTheGroupsSmallImage) {
  const auto icon = reinterpret_cast<HICON>(::SendMessageW(window->hwnd(), WM_GETICON, ICON_SMALL, 0));
  ICONINFO info = {};
  ASSERT_TRUE(::GetIconInfo(icon, &info));
  UniqueBitmap color(info.hbmColor), mask(info.hbmMask);
  BITMAP bitmap = {};
  ASSERT_TRUE(::GetObjectW(color.get(), sizeof bitmap, &bitmap));
  EXPECT_EQ(bitmap.bmWidth, ::GetSystemMetrics(SM_CXSMICON));
  EXPECT_EQ(bitmap.bmHeight, ::GetSystemMetrics(SM_CYSMICON));
}

TEST_F(InProcessWindow, TheOlderFileDropMessageFollowsTheSameRules) {
  auto drop = [&](const std::vector<std::wstring>& files) {
    window->SetText(Ctl::Text1, L"before");
    FileListData data(files, true);
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    data.GetData(&format, &medium);
    ::SendMessageW(window->control(Ctl::Text1), WM_DROPFILES, reinterpret_cast<WPARAM>(medium.hGlobal), 0);
    return window->Text(Ctl::Text1);
  };
  EXPECT_EQ(drop({L"S:\\one.esd"}), L"S:\\one.esd");
  EXPECT_EQ(drop({L"S:\\one.esd", L"S:\\two.esd"}), L"before");
}

// Version 5 and older get no taskbar object; newer systems get it where their shell has one.
TEST_F(InProcessWindow, TheTaskbarObjectIsMadeOnlyAboveVersion5) {
  const std::wstring want = EnvOr(L"MORVANE_SYSVER");
  if (!want.empty()) { EXPECT_EQ(sys.SysVer(), std::stoi(want)); }
  TaskbarProgress probe;
  EXPECT_EQ(window->form().state().taskbarList, sys.SysVer() > 5 && probe.Create());
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
    EXPECT_LE(need.right, room) << Utf8(text);
    EXPECT_LE(need.bottom, client.bottom) << Utf8(text);
    if (item.ctl != Ctl::Label4) { EXPECT_LE(line.cx, room) << Utf8(text) << ": one line"; }
  }
  ::ReleaseDC(window->hwnd(), dc);
}

}  // namespace
}  // namespace morvane::wine

#include "shell/icon_win.h"

namespace morvane::wine {
namespace {

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

}  // namespace
}  // namespace morvane::wine

#include <thread>

namespace morvane::wine {
namespace {

struct DialogSearch {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindOwnDialog(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<DialogSearch*>(p);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(h, &owner);
  wchar_t name[16] = {};
  ::GetClassNameW(h, name, 16);
  if (owner == s->pid && ::IsWindowVisible(h) && lstrcmpW(name, L"#32770") == 0) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}

// A dialog of this process, waiting up to ten seconds for it.
HWND WaitOwnDialog() {
  for (int i = 0; i < 500; ++i) {
    DialogSearch search{::GetCurrentProcessId(), nullptr};
    ::EnumWindows(FindOwnDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    ::Sleep(20);
  }
  return nullptr;
}

// The real pickers, answered from a second thread while the window's thread runs them.
TEST_F(InProcessWindow, TheFolderBrowsersChoiceIsCutToItsDrive) {
  const std::wstring folder = EnvOr(L"MORVANE_FOLDER");
  if (folder.empty()) GTEST_SKIP() << "MORVANE_FOLDER is not set";
  for (const bool confirm : {true, false}) {
    window->SetText(Ctl::Text2, L"C:");
    std::thread answer([&] {
      HWND dialog = WaitOwnDialog();
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
  if (image.empty()) GTEST_SKIP() << "MORVANE_SMALL_IMAGE is not set";
  std::wstring title;
  std::thread answer([&] {
    HWND dialog = WaitOwnDialog();
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

}  // namespace
}  // namespace morvane::wine
