#include "app/main_window_win.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/layout.h"
#include "shell/icon_win.h"
#include "shell/late_calls_win.h"
#include "shell/pickers_win.h"
#include "shell/shell_wait_win.h"

namespace morvane {
namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr UINT kDropQueued = WM_APP + 1;
constexpr int kDropListHeightPx = 200;

int CALLBACK FontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FontInstalled(const wchar_t* face) {
  const WindowDc dc(nullptr);
  LOGFONTW query = {};
  query.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(query.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  ::EnumFontFamiliesExW(dc.get(), &query, FontFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// The first installed face of a list, else the system's message font face: the window must show
// Chinese text even where its design fonts are missing.
UniqueFont MakeFont(std::initializer_list<const wchar_t*> faces, int points, int dpiY) {
  LOGFONTW font = {};
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) font = metrics.lfMessageFont;
  font.lfHeight = -::MulDiv(points, dpiY, 72);
  font.lfWidth = 0;
  font.lfWeight = FW_NORMAL;
  font.lfItalic = FALSE;
  font.lfCharSet = DEFAULT_CHARSET;
  for (const wchar_t* face : faces) {
    if (FontInstalled(face)) {
      lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
      break;
    }
  }
  return UniqueFont(::CreateFontIndirectW(&font));
}

// The design fits each caption to its label at 96 dpi with hardly a pixel to spare; at another DPI,
// or in another font, the text can come out a pixel or two wider and would wrap out of sight. Such
// a label grows to its text, at most into the gap before the next control of its row.
void WidenToCaption(HWND label, HFONT font, int width, int height, int room) {
  const int length = ::GetWindowTextLengthW(label);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  ::GetWindowTextW(label, &text[0], length + 1);
  SIZE size = {};
  {
    const WindowDc dc(label);
    const HGDIOBJ old = ::SelectObject(dc.get(), font);
    ::GetTextExtentPoint32W(dc.get(), text.c_str(), length, &size);
    ::SelectObject(dc.get(), old);
  }
  if (size.cx <= width) return;
  ::SetWindowPos(label, nullptr, 0, 0, std::min<int>(size.cx, width + room), height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

const wchar_t* ClassFor(Kind kind) {
  switch (kind) {
    case Kind::Frame:
    case Kind::Button:
    case Kind::CheckBox:
      return L"BUTTON";
    case Kind::Label:
      return L"STATIC";
    case Kind::Edit:
      return L"EDIT";
    case Kind::DropList:
      return L"COMBOBOX";
    case Kind::Progress:
      return ProgressBar::kClassName;
  }
  return L"STATIC";
}

DWORD StyleFor(const ControlSpec& item) {
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (item.visible ? WS_VISIBLE : 0);
  switch (item.kind) {
    case Kind::Frame:
      return style | BS_GROUPBOX;
    case Kind::Label:
      return style | SS_LEFT | (item.ctl == Ctl::Status ? SS_NOTIFY : 0);
    case Kind::Edit:
      return style | WS_TABSTOP | ES_AUTOHSCROLL;
    case Kind::Button:
      return style | WS_TABSTOP | BS_PUSHBUTTON;
    case Kind::CheckBox:
      return style | WS_TABSTOP | BS_AUTOCHECKBOX;
    case Kind::DropList:
      return style | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
    case Kind::Progress:
      return style;
  }
  return style;
}

}  // namespace

MainWindow::MainWindow(WinSystem& sys) : sys_(sys), form_(*this, sys) {}

MainWindow::~MainWindow() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

bool MainWindow::Register(HINSTANCE instance) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  return (::RegisterClassExW(&wc) || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS) &&
         ProgressBar::Register(instance);
}

int MainWindow::Px(int32_t twips, bool vertical) const { return TwipsToPixels(twips, vertical ? dpiY_ : dpiX_); }

bool MainWindow::Create(HINSTANCE instance, int showCommand) {
  {
    const WindowDc screen(nullptr);
    dpiX_ = ::GetDeviceCaps(screen.get(), LOGPIXELSX);
    dpiY_ = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
  }

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  RECT frame = {0, 0, Px(kClientWidth, false), Px(kCompactClientHeight, true)};
  ::AdjustWindowRectEx(&frame, style, FALSE, 0);
  const int width = Px(kWindowWidth, false);
  const int height = frame.bottom - frame.top;
  RECT work = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + (work.right - work.left - width) / 2;
  const int y = work.top + (work.bottom - work.top - height) / 2;

  hwnd_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, kWindowCaption, style, x, y, width, height, nullptr,
                            nullptr, instance, this);
  if (!hwnd_) return false;
  SetDialogWindow(hwnd_);
  form_.OnLoad();
  loaded_ = true;
  ::ShowWindow(hwnd_, showCommand);
  ::UpdateWindow(hwnd_);
  return true;
}

void MainWindow::CreateControls() {
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
  yahei_ = MakeFont({L"微软雅黑", L"Microsoft YaHei", L"WenQuanYi Micro Hei", L"SimSun"}, 9, dpiY_);
  verdana_ = MakeFont({L"Verdana", L"Tahoma"}, 9, dpiY_);

  // Created in tab order: the dialog keys move through the children in creation order.
  for (const ControlSpec& item : FormLayout()) {
    const Rect r = PlaceInWindow(item);
    const int x = Px(r.left, false), y = Px(r.top, true), w = Px(r.width, false);
    int h = Px(r.height, true);
    HWND child = nullptr;
    if (item.kind == Kind::Progress) {
      bar_.Create(hwnd_, x, y, w, h, ControlId(item.ctl));
      child = bar_.hwnd();
    } else {
      if (item.kind == Kind::DropList) h = kDropListHeightPx;
      const wchar_t* text = item.text ? item.text : kAboutText;
      const DWORD exStyle = item.kind == Kind::Edit ? WS_EX_CLIENTEDGE : 0;
      child = ::CreateWindowExW(exStyle, ClassFor(item.kind), text, StyleFor(item), x, y, w, h, hwnd_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(item.ctl))), instance,
                                nullptr);
    }
    controls_[static_cast<size_t>(item.ctl)] = child;
    if (!child) continue;
    HFONT font = item.face == Face::YaHei     ? yahei_.get()
                 : item.face == Face::Verdana ? verdana_.get()
                                              : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (item.kind == Kind::Label && item.text) WidenToCaption(child, font, w, h, Px(RoomToTheRight(item), false));
  }
  // The frames overlap the controls they group: below everything, so that they never paint over
  // them. They take no focus, so the tab order of the others stays the creation order.
  for (Ctl frame : {Ctl::Frame0, Ctl::Frame1, Ctl::Frame2, Ctl::Frame3}) {
    ::SetWindowPos(control(frame), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  ::SendMessageW(control(Ctl::Check1), BM_SETCHECK, BST_CHECKED, 0);
  ::SendMessageW(control(Ctl::Check2), BM_SETCHECK, BST_CHECKED, 0);

  tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance,
                               nullptr);
  ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 600);
  const struct {
    Ctl ctl;
    const wchar_t* tip;
  } tips[] = {{Ctl::Check1, L"尝试重建系统引导"},
              {Ctl::Check2, L"安装成功后自动重新启动计算机"},
              {Ctl::Combo0, L""}};
  for (const auto& tip : tips) {
    TOOLINFOW info = {};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = hwnd_;
    info.uId = reinterpret_cast<UINT_PTR>(control(tip.ctl));
    info.lpszText = const_cast<wchar_t*>(tip.tip);
    ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  }

  // Only the image path field takes dropped files: OLE drops, and the older WM_DROPFILES.
  HWND text1 = control(Ctl::Text1);
  dropTarget_.reset(new FileDropTarget(
      [this](bool hasFileList, const std::vector<std::wstring>& files) { QueueDrop(hasFileList, files); }));
  ::RegisterDragDrop(text1, dropTarget_.get());
  ::DragAcceptFiles(text1, TRUE);
  ::SetWindowSubclass(text1, Text1Proc, 1, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK MainWindow::Text1Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  if (msg == WM_DROPFILES) {
    auto* self = reinterpret_cast<MainWindow*>(data);
    const HDROP drop = reinterpret_cast<HDROP>(wParam);
    const std::vector<std::wstring> files = DroppedFiles(drop);
    ::DragFinish(drop);
    self->form_.OnDrop(true, files);
    return 0;
  }
  if (msg == WM_NCDESTROY) ::RemoveWindowSubclass(hwnd, Text1Proc, 1);
  return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

// The shell's drag operation waits for the drop target: the drop only takes the names and returns,
// and the query that the new path starts runs from the window's own message afterwards.
void MainWindow::QueueDrop(bool hasFileList, const std::vector<std::wstring>& files) {
  queuedDrop_ = Drop{hasFileList, files};
  ::PostMessageW(hwnd_, kDropQueued, 0, 0);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  MainWindow* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  return self->Handle(msg, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      CreateControls();
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CTLCOLORSTATIC: {
      // Labels, check boxes and frames on the window's own face colour, not the default white.
      HDC dc = reinterpret_cast<HDC>(wParam);
      ::SetBkMode(dc, TRANSPARENT);
      ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SIZE:
      if (loaded_) form_.OnResize();
      return 0;
    case WM_TIMER:
      if (wParam == kTimerId) form_.OnTimer();
      return 0;
    case kDropQueued:
      if (queuedDrop_) {
        const Drop drop = std::move(*queuedDrop_);
        queuedDrop_.reset();
        form_.OnDrop(drop.hasFileList, drop.files);
      }
      return 0;
    case WM_CLOSE:
      if (form_.OnQueryClose()) ::DestroyWindow(hwnd_);
      return 0;
    case WM_QUERYENDSESSION:
      return form_.OnQueryEndSession() ? TRUE : FALSE;
    case WM_ACTIVATE:
      // As a dialog does: the focused control outlives a deactivation, instead of the window
      // taking the focus itself when it is activated again.
      if (LOWORD(wParam) == WA_INACTIVE) {
        form_.RememberFocus();
      } else if (!HIWORD(wParam)) {
        form_.GiveFocusBack();
      }
      return 0;
    case WM_SETFOCUS:
      form_.GiveFocusBack();
      return 0;
    case WM_DESTROY:
      ::KillTimer(hwnd_, kTimerId);
      if (dropTarget_) {
        ::RevokeDragDrop(control(Ctl::Text1));
        dropTarget_.reset();
      }
      SetDialogWindow(nullptr);
      ::PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      hwnd_ = nullptr;
      break;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void MainWindow::OnCommand(int id, int code) {
  const Ctl c = static_cast<Ctl>(id - kFirstControlId);
  switch (c) {
    case Ctl::Command1:
      if (code == BN_CLICKED) form_.OnCommand1();
      break;
    case Ctl::Command2:
      if (code == BN_CLICKED) form_.OnCommand2();
      break;
    case Ctl::Command3:
      if (code == BN_CLICKED) form_.OnCommand3();
      break;
    case Ctl::Command4:
      if (code == BN_CLICKED) form_.OnCommand4();
      break;
    case Ctl::Text1:
      if (code == EN_CHANGE && loaded_) form_.OnText1Change();
      break;
    case Ctl::Combo0:
      if (code == CBN_SELCHANGE) form_.OnComboClick();
      break;
    case Ctl::Status:
      if (code == STN_CLICKED || code == STN_DBLCLK) form_.OnStatusClick();
      break;
    default:
      break;
  }
}

std::wstring MainWindow::Text(Ctl c) const {
  HWND h = control(c);
  const int length = ::GetWindowTextLengthW(h);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int got = ::GetWindowTextW(h, &text[0], length + 1);
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}

void MainWindow::SetText(Ctl c, const std::wstring& text) {
  // An edit control reports a change even when the text stays the same; only real changes count.
  if (Text(c) == text) return;
  ::SetWindowTextW(control(c), text.c_str());
}

void MainWindow::Enable(Ctl c, bool enabled) { ::EnableWindow(control(c), enabled ? TRUE : FALSE); }
bool MainWindow::IsEnabled(Ctl c) const { return ::IsWindowEnabled(control(c)) != FALSE; }
bool MainWindow::IsChecked(Ctl c) const { return ::SendMessageW(control(c), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void MainWindow::ListClear(Ctl c) { ::SendMessageW(control(c), CB_RESETCONTENT, 0, 0); }
void MainWindow::ListAdd(Ctl c, const std::wstring& item) {
  ::SendMessageW(control(c), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}
int MainWindow::ListCount(Ctl c) const { return static_cast<int>(::SendMessageW(control(c), CB_GETCOUNT, 0, 0)); }

std::wstring MainWindow::ListItem(Ctl c, int index) const {
  const LRESULT length = ::SendMessageW(control(c), CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR) return std::wstring();
  std::wstring item(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT got = ::SendMessageW(control(c), CB_GETLBTEXT, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(&item[0]));
  item.resize(got == CB_ERR ? 0 : static_cast<size_t>(got));
  return item;
}

int MainWindow::ListIndex(Ctl c) const { return static_cast<int>(::SendMessageW(control(c), CB_GETCURSEL, 0, 0)); }
void MainWindow::SetListIndex(Ctl c, int index) {
  ::SendMessageW(control(c), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void MainWindow::SetTooltip(Ctl c, const std::wstring& text) {
  TOOLINFOW info = {};
  info.cbSize = sizeof info;
  info.hwnd = hwnd_;
  info.uId = reinterpret_cast<UINT_PTR>(control(c));
  info.lpszText = const_cast<wchar_t*>(text.c_str());
  ::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

void MainWindow::SetTimerEnabled(bool enabled) {
  timerEnabled_ = enabled;
  if (enabled) {
    ::SetTimer(hwnd_, kTimerId, static_cast<UINT>(timerInterval_), nullptr);
  } else {
    ::KillTimer(hwnd_, kTimerId);
  }
}

void MainWindow::SetTimerInterval(int ms) {
  if (ms == timerInterval_) return;
  timerInterval_ = ms;
  // SetTimer on a running timer restarts it with the new interval.
  if (timerEnabled_) ::SetTimer(hwnd_, kTimerId, static_cast<UINT>(ms), nullptr);
}

void MainWindow::SetTaskbarState(TaskbarState state) { taskbar_.SetState(hwnd_, static_cast<int>(state)); }
void MainWindow::SetTaskbarValue(uint64_t completed, uint64_t total) { taskbar_.SetValue(hwnd_, completed, total); }

void MainWindow::SetIcon(int sizePx) {
  // The icon shown before is destroyed only once the window has let go of it.
  largeIcon_ = SetFormIcon(hwnd_, sizePx);
}

MsgAnswer MainWindow::Message(const std::wstring& text, const std::wstring& caption, MsgIcon icon,
                              MsgButtons buttons) {
  UINT flags = buttons == MsgButtons::OkCancel ? MB_OKCANCEL | MB_DEFBUTTON1 : MB_OK;
  switch (icon) {
    case MsgIcon::Stop:
      flags |= MB_ICONSTOP;
      break;
    case MsgIcon::Exclamation:
      flags |= MB_ICONEXCLAMATION;
      break;
    case MsgIcon::Information:
      flags |= MB_ICONINFORMATION;
      break;
    case MsgIcon::None:
      break;
  }
  form_.RememberFocus();
  const int answer =
      ::MessageBoxW(hwnd_, text.c_str(), caption.empty() ? kAppTitle : caption.c_str(), flags);
  form_.GiveFocusBack();
  return answer == IDOK ? MsgAnswer::Ok : MsgAnswer::Cancel;
}

std::optional<Ctl> MainWindow::Focus() const {
  const HWND focused = ::GetFocus();
  if (!focused) return std::nullopt;
  for (size_t i = 0; i < controls_.size(); ++i) {
    if (controls_[i] && (controls_[i] == focused || ::IsChild(controls_[i], focused))) return static_cast<Ctl>(i);
  }
  return std::nullopt;
}

void MainWindow::SetFocus(std::optional<Ctl> c) {
  // An inactive window keeps its focus for the activation: taking it now would activate it.
  if (!hwnd_ || ::GetActiveWindow() != hwnd_) return;
  const HWND to = c ? control(*c) : hwnd_;
  if (to && ::GetFocus() != to) ::SetFocus(to);
}

// The reason Windows shows for a refused session end (from Windows Vista on).
void MainWindow::BlockSessionEnd(const std::wstring& reason) {
  const LateCalls& late = Late();
  if (!hwnd_) return;
  if (sessionBlocked_ && late.shutdownBlockReasonDestroy) late.shutdownBlockReasonDestroy(hwnd_);
  sessionBlocked_ = false;
  if (!reason.empty() && late.shutdownBlockReasonCreate) {
    sessionBlocked_ = late.shutdownBlockReasonCreate(hwnd_, reason.c_str()) != FALSE;
  }
}

std::wstring MainWindow::PickImageFile() { return ShowFileDialog(L"open", L"打开", L""); }
std::wstring MainWindow::PickFolder(const std::wstring& prompt) { return BrowseFolder(prompt); }

WindowState MainWindow::State() const {
  if (::IsIconic(hwnd_)) return WindowState::Minimised;
  if (::IsZoomed(hwnd_)) return WindowState::Maximised;
  return WindowState::Normal;
}

void MainWindow::SetStateNormal() { ::ShowWindow(hwnd_, SW_RESTORE); }

void MainWindow::SetSize(int32_t widthTwips, int32_t heightTwips) {
  ::SetWindowPos(hwnd_, nullptr, 0, 0, Px(widthTwips, false), Px(heightTwips, true),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int32_t MainWindow::WindowHeight() const {
  RECT r;
  ::GetWindowRect(hwnd_, &r);
  return PixelsToTwips(r.bottom - r.top, dpiY_);
}

int32_t MainWindow::ClientHeight() const {
  RECT r;
  ::GetClientRect(hwnd_, &r);
  return PixelsToTwips(r.bottom - r.top, dpiY_);
}

// Posted: the request may come from inside a control's notification, and a control must not be
// destroyed under its own handler.
void MainWindow::Close() { ::PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

}  // namespace morvane
