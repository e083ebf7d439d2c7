// The window's Windows bindings in this process, on real windows: its drop handling, its icons,
// its taskbar object and its captions at the screen's DPI.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>

#include "app/layout.h"
#include "app/main_window_win.h"
#include "app_driver.h"
#include "shell/icon_win.h"
#include "shell/shell_wait_win.h"
#include "shell/system_win.h"

namespace morvane::wine {
namespace {

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
    for (MSG msg; ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) {
    }  // the closed window's WM_QUIT must not reach the next test
  }
  // Drops the files on the window, through its drop target or (`message`) the older WM_DROPFILES.
  std::wstring Drop(const std::vector<std::wstring>& files, bool message) {
    window->SetText(Ctl::Text1, L"before");
    if (message) {
      ::SendMessageW(window->control(Ctl::Text1), WM_DROPFILES, reinterpret_cast<WPARAM>(FileList(files)), 0);
      return window->Text(Ctl::Text1);
    }
    // The data object a drag hands over: OLE's own, for the list put on the clipboard.
    EXPECT_TRUE(::OpenClipboard(nullptr) && ::EmptyClipboard());
    EXPECT_TRUE(::SetClipboardData(CF_HDROP, FileList(files)));
    ::CloseClipboard();
    UniqueCom<IDataObject> data;
    EXPECT_EQ(::OleGetClipboard(reinterpret_cast<IDataObject**>(data.put_void())), S_OK);
    DWORD effect = DROPEFFECT_COPY;
    window->drop_target()->Drop(data.get(), 0, POINTL{0, 0}, &effect);
    // The drop returns before the path is taken, and so before the query that it starts.
    EXPECT_EQ(window->Text(Ctl::Text1), L"before");
    PumpPendingMessages(nullptr);
    return window->Text(Ctl::Text1);
  }
  OleThreadGuard ole;
  WinSystem sys;
  std::unique_ptr<MainWindow> window;
};

// Both ways in pass the whole file list on: one image file is taken with its letter case, two are
// refused (which files are taken is the native tests' matter).
TEST_F(InProcessWindow, ADropTakesOneImageFileOnly) {
  for (const bool message : {false, true}) {
    EXPECT_EQ(Drop({L"S:\\Images\\Install.WIM"}, message), L"S:\\Images\\Install.WIM") << message;
    EXPECT_EQ(Drop({L"S:\\a.wim", L"S:\\b.wim"}, message), L"before") << message;
  }
}

// Only the large icon is set: the 32 x 32 image of the program file's icon group, which a new one
// replaces; the small icon stays the window's own (none). The file is read under its folder, its
// name and ".exe": a copy of this program named "icon-probe.bin", which runs this test alone, finds
// none there and shows no large icon. (Wine 8 does not answer WM_GETICON across processes.)
TEST_F(InProcessWindow, OnlyTheLargeIconIsSetFromTheProgramFile) {
  const std::wstring self = ModulePath(), copy = self.substr(0, self.find_last_of(L'\\')) + L"\\icon-probe.bin";
  EXPECT_EQ(::SendMessageW(window->hwnd(), WM_GETICON, ICON_SMALL, 0), 0);
  const auto icon = reinterpret_cast<HICON>(::SendMessageW(window->hwnd(), WM_GETICON, ICON_BIG, 0));
  if (self == copy) {
    EXPECT_EQ(icon, nullptr);
    return;
  }
  ICONINFO info = {};
  ASSERT_TRUE(::GetIconInfo(icon, &info));
  UniqueBitmap color(info.hbmColor), mask(info.hbmMask);
  BITMAP bitmap = {};
  ASSERT_TRUE(::GetObjectW(color.get(), sizeof bitmap, &bitmap));
  EXPECT_EQ(std::make_pair(bitmap.bmWidth, bitmap.bmHeight), std::make_pair(32L, 32L));
  const UniqueIcon large = SetFormIcon(window->hwnd(), 32);
  ASSERT_TRUE(large);
  EXPECT_EQ(::SendMessageW(window->hwnd(), WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(large.get()));
  window.reset();  // before the icon it shows

  ASSERT_TRUE(::CopyFileW(self.c_str(), copy.c_str(), FALSE));
  STARTUPINFOW start = {};
  start.cb = sizeof start;
  std::wstring line = L"\"" + copy + L"\" --gtest_filter=InProcessWindow.OnlyTheLargeIconIsSetFromTheProgramFile";
  PROCESS_INFORMATION info2 = {};
  ASSERT_TRUE(::CreateProcessW(copy.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &info2));
  UniqueProcess probe(info2);
  DWORD code = 1;
  EXPECT_EQ(::WaitForSingleObject(probe.process(), 60000), WAIT_OBJECT_0);
  EXPECT_TRUE(::GetExitCodeProcess(probe.process(), &code) && code == 0) << "the renamed copy showed a large icon";
  probe.reset();
  ::DeleteFileW(copy.c_str());
}

// Version 5 and older get no taskbar object; newer systems get it where their shell hands out
// ITaskbarList3 (asked here with the SDK's own identifiers).
TEST_F(InProcessWindow, TheTaskbarObjectIsMadeOnlyAboveVersion5) {
  const std::wstring want = EnvOr(L"MORVANE_SYSVER");
  if (!want.empty()) { EXPECT_EQ(sys.SysVer(), std::stoi(want)); }
  UniqueCom<ITaskbarList3> probe;
  const bool systemHasIt = SUCCEEDED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                                        IID_ITaskbarList3, probe.put_void()));
  EXPECT_EQ(window->form().state().taskbarList, sys.SysVer() > 5 && systemHasIt);
}

// At the screen's DPI (where AppWindow.ControlsSit* finds every control at its place): the fonts sized
// for that DPI, and every caption whole in its control.
TEST_F(InProcessWindow, EveryCaptionFitsItsControlAtThisDpi) {
  HDC dc = ::GetDC(window->hwnd());
  const int dpiX = ::GetDeviceCaps(dc, LOGPIXELSX), dpiY = ::GetDeviceCaps(dc, LOGPIXELSY);
  const auto px = [&](int at96) { return ::MulDiv(at96, dpiX, 96); };
  for (const ControlSpec& item : FormLayout()) {
    if (!item.visible) continue;
    SCOPED_TRACE(static_cast<int>(item.ctl));
    const std::wstring text = window->Text(item.ctl);
    if (item.face != Face::YaHei || text.empty()) continue;
    const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(window->control(item.ctl), WM_GETFONT, 0, 0));
    LOGFONTW logical = {};
    ::GetObjectW(font, sizeof logical, &logical);
    EXPECT_EQ(logical.lfHeight, -::MulDiv(9, dpiY, 72));
    const HGDIOBJ old = ::SelectObject(dc, font);
    RECT client;
    ::GetClientRect(window->control(item.ctl), &client);
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
    if (item.ctl != Ctl::Label4) { EXPECT_LE(line.cx, room) << ToUtf8(text) << ": one line"; }
  }
  ::ReleaseDC(window->hwnd(), dc);
}

}  // namespace
}  // namespace morvane::wine
