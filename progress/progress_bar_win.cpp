#include "progress/progress_bar_win.h"

#include <commctrl.h>

namespace morvane {

static_assert(progress_msg::kSetPos == PBM_SETPOS, "PBM_SETPOS");
static_assert(progress_msg::kSetRange32 == PBM_SETRANGE32, "PBM_SETRANGE32");
static_assert(progress_msg::kSetMarquee == PBM_SETMARQUEE, "PBM_SETMARQUEE");
static_assert(progress_style::kChildVisible == (WS_CHILD | WS_VISIBLE), "WS_CHILD | WS_VISIBLE");
static_assert(progress_style::kSmooth == PBS_SMOOTH, "PBS_SMOOTH");
static_assert(progress_style::kVertical == PBS_VERTICAL, "PBS_VERTICAL");
static_assert(progress_style::kMarquee == PBS_MARQUEE, "PBS_MARQUEE");

namespace {

// The module the class was registered for; CreateWindowEx must name the same one.
HINSTANCE g_classInstance = nullptr;

}  // namespace

bool ProgressBar::WindowBackend::Create(uint32_t style, int widthPx, int heightPx) {
  if (!host_) return false;
  auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(host_, GWLP_HINSTANCE));
  HWND bar = ::CreateWindowExW(0, PROGRESS_CLASSW, nullptr, style, 0, 0, widthPx, heightPx, host_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kInnerId)), instance,
                               nullptr);
  inner_.reset(bar);
  return inner_.valid();
}

void ProgressBar::WindowBackend::Destroy() { inner_.reset(); }

bool ProgressBar::WindowBackend::Exists() const { return inner_.valid(); }

void ProgressBar::WindowBackend::Send(uint32_t msg, intptr_t wParam, intptr_t lParam) {
  if (!inner_) return;
  ::SendMessageW(inner_.get(), msg, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}

void ProgressBar::WindowBackend::Move(int widthPx, int heightPx) {
  if (!inner_) return;
  ::MoveWindow(inner_.get(), 0, 0, widthPx, heightPx, TRUE);
}

int ProgressBar::WindowBackend::ClientWidthPx() const {
  RECT rc{};
  if (!host_ || !::GetClientRect(host_, &rc)) return 0;
  return rc.right - rc.left;
}

int ProgressBar::WindowBackend::ClientHeightPx() const {
  RECT rc{};
  if (!host_ || !::GetClientRect(host_, &rc)) return 0;
  return rc.bottom - rc.top;
}

ProgressBar::ProgressBar() noexcept : model_(backend_) {}

ProgressBar::~ProgressBar() { host_.reset(); }

bool ProgressBar::Register(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  if (!::GetClassInfoExW(instance, kClassName, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &ProgressBar::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kClassName;
    if (!::RegisterClassExW(&wc)) return false;
  }
  g_classInstance = instance;
  return true;
}

bool ProgressBar::Create(HWND parent, int x, int y, int width, int height, int controlId) {
  if (!g_classInstance || host_) return false;
  // WS_CLIPCHILDREN: the host's background erase must not paint over the bar it holds.
  HWND host = ::CreateWindowExW(0, kClassName, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, x,
                                y, width, height, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)),
                                g_classInstance, this);
  return host != nullptr && host == host_.get();
}

LRESULT CALLBACK ProgressBar::WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    // Bind the object here, not after CreateWindowEx returns: WM_CREATE and the first WM_SIZE
    // arrive before that, and they already build and place the inner bar.
    auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    auto* self = static_cast<ProgressBar*>(create->lpCreateParams);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->host_.reset(window);
    self->backend_.set_host(window);
    return ::DefWindowProcW(window, msg, wParam, lParam);
  }

  auto* self = reinterpret_cast<ProgressBar*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(window, msg, wParam, lParam);

  switch (msg) {
    case WM_CREATE:
      self->model_.Initialize();
      return 0;
    case WM_SIZE:
      self->model_.Resize();
      return 0;
    case WM_DESTROY:
      self->model_.Terminate();
      return 0;
    case WM_NCDESTROY:
      // The window is gone (destroyed by its parent or by us): forget it without destroying it.
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      self->backend_.set_host(nullptr);
      self->host_.release();
      break;
    default:
      break;
  }
  return ::DefWindowProcW(window, msg, wParam, lParam);
}

}  // namespace morvane
