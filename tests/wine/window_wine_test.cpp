// The window where a real Windows call decides: the real program's view toggle at this screen's DPI
// and its focus, driven from this process (AppWindow); the window's Windows bindings on a real
// window in this process (InProcessWindow): its drop handling, its icon, its taskbar object.
#include <shlobj.h>
#include <shobjidl.h>

#include "app/layout.h"
#include "app/main_window_win.h"
#include "app_driver.h"
#include "shell/shell_wait_win.h"

namespace morvane::wine {
namespace {

class AppWindow : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(app.Launch(EnvOr(L"MORVANE_EXE"))) << "no main window: use run.sh"; }
  App app;
};

// A maximise request toggles between the compact and the expanded view, at the same width, in
// pixels at this screen's DPI.
TEST_F(AppWindow, AMaximiseRequestTogglesTheViewAndNeverMaximises) {
  const HDC screen = ::GetDC(nullptr);
  const int dpiX = ::GetDeviceCaps(screen, LOGPIXELSX), dpiY = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  for (const int height : {kExpandedClientHeight, kCompactClientHeight}) {
    ::PostMessageW(app.main(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    RECT r;
    const auto toggled = [&] { return ::GetClientRect(app.main(), &r) && PixelsToTwips(r.bottom, dpiY) == height; };
    EXPECT_TRUE(WaitFor(toggled, 5000)) << PixelsToTwips(r.bottom, dpiY);
    EXPECT_FALSE(::IsZoomed(app.main()));
    EXPECT_TRUE(::GetWindowRect(app.main(), &r) && r.right - r.left == TwipsToPixels(kWindowWidth, dpiX));
  }
}

// The focus starts in the image path and is given back after a box and after an activation that
// came from another window.
TEST_F(AppWindow, TheFocusedControlOutlivesABoxAndADeactivation) {
  const auto focusOn = [&](HWND want) { return WaitFor([&] { return app.Focused() == want; }, 5000); };
  EXPECT_TRUE(focusOn(app.Control(Ctl::Text1)));
  app.Click(Ctl::Command4);  // no image chosen: refused with a box
  ASSERT_TRUE(app.Answer(app.WaitBox(), IDOK));
  EXPECT_TRUE(focusOn(app.Control(Ctl::Command4))) << app.Focused();
  UniqueHwnd other(::CreateWindowW(L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr));
  ::SetForegroundWindow(other.get());
  EXPECT_TRUE(focusOn(nullptr)) << app.Focused();
  ::SetForegroundWindow(app.main());
  EXPECT_TRUE(focusOn(app.Control(Ctl::Command4))) << app.Focused();
}

class InProcessWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ole.ok() && MainWindow::Register(::GetModuleHandleW(nullptr)));
    ASSERT_TRUE(window->Create(::GetModuleHandleW(nullptr), SW_SHOWNOACTIVATE));
  }
  // The window goes first, and its WM_QUIT with it: it must not reach the next test.
  void TearDown() override { window.reset(); PumpPendingMessages(nullptr); }
  OleThreadGuard ole;
  WinSystem sys;
  std::unique_ptr<MainWindow> window = std::make_unique<MainWindow>(sys);
};

// The shell's file list (a DROPFILES block), as a drag hands it over, of the names each ended by a
// null character.
HGLOBAL FileList(const std::wstring& names) {
  HGLOBAL global = ::GlobalAlloc(GHND, sizeof(DROPFILES) + (names.size() + 1) * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(global));
  *drop = DROPFILES{sizeof(DROPFILES), {}, FALSE, TRUE};
  memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
  ::GlobalUnlock(global);
  return global;
}

// The drag's data object (OLE's own, for a list put on the clipboard) hands the whole list on: one
// image file is taken with its letter case, two are refused (which files are taken is the native
// tests' matter). The drop returns before the path is taken, and so before the query it starts.
TEST_F(InProcessWindow, ADropTakesOneImageFileOnly) {
  for (const std::wstring& files : {std::wstring(L"S:\\Images\\Install.WIM\0", 22), std::wstring(L"S:\\a.wim\0S:\\b.wim\0", 18)}) {
    window->SetText(Ctl::Text1, L"before");
    UniqueCom<IDataObject> data;
    DWORD effect = DROPEFFECT_COPY;
    ASSERT_TRUE(::OpenClipboard(nullptr) && ::EmptyClipboard() && ::SetClipboardData(CF_HDROP, FileList(files)) &&
                ::CloseClipboard() && ::OleGetClipboard(reinterpret_cast<IDataObject**>(data.put_void())) == S_OK);
    window->drop_target()->Drop(data.get(), 0, POINTL{0, 0}, &effect);
    EXPECT_EQ(window->Text(Ctl::Text1), L"before");
    PumpPendingMessages(nullptr);
    EXPECT_EQ(window->Text(Ctl::Text1), files.size() == 22 ? files.substr(0, 21) : L"before");
  }
}

// Only the large icon is set, from the program file; the small icon stays the window's own (none).
// The file is read under its folder, its name and ".exe": a copy of this program named
// "icon-probe.bin", which runs this test alone, finds none there and shows no large icon. (Wine 8
// does not answer WM_GETICON across processes.)
TEST_F(InProcessWindow, OnlyTheLargeIconIsSetFromTheProgramFile) {
  const auto icon = [&](WPARAM size) { return ::SendMessageW(window->hwnd(), WM_GETICON, size, 0); };
  const std::wstring self = ModulePath(), copy = self.substr(0, self.find_last_of(L'\\')) + L"\\icon-probe.bin";
  EXPECT_EQ(icon(ICON_SMALL), 0);
  EXPECT_EQ(icon(ICON_BIG) == 0, self == copy);
  if (self == copy) return;
  std::wstring line = L"\"" + copy + L"\" --gtest_filter=InProcessWindow.OnlyTheLargeIcon*";
  STARTUPINFOW start = {};
  start.cb = sizeof start;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(::CopyFileW(self.c_str(), copy.c_str(), FALSE));
  ASSERT_TRUE(::CreateProcessW(copy.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &pi));
  UniqueProcess probe(pi);
  DWORD code = 1;
  EXPECT_EQ(::WaitForSingleObject(probe.process(), 60000), WAIT_OBJECT_0);
  EXPECT_TRUE(::GetExitCodeProcess(probe.process(), &code) && code == 0) << "the renamed copy showed a large icon";
  probe.reset();
  ::DeleteFileW(copy.c_str());
}

// Version 5 and older get no taskbar object; newer systems get it where their shell hands out
// ITaskbarList3 (asked here with the SDK's own identifiers).
TEST_F(InProcessWindow, TheTaskbarObjectIsMadeOnlyAboveVersion5) {
  if (!EnvOr(L"MORVANE_SYSVER").empty()) { EXPECT_EQ(sys.SysVer(), std::stoi(EnvOr(L"MORVANE_SYSVER"))); }
  UniqueCom<ITaskbarList3> probe;
  const HRESULT made =
      ::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3, probe.put_void());
  EXPECT_EQ(window->form().state().taskbarList, sys.SysVer() > 5 && SUCCEEDED(made));
}

}  // namespace
}  // namespace morvane::wine
