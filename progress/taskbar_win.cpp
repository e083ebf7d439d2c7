#include "progress/taskbar_win.h"

namespace morvane {

namespace {

// Parsed from text rather than taken from the uuid library, so the program does not depend on
// which SDK's library defines them.
constexpr const wchar_t* kTaskbarListClsid = L"{56FDF344-FD6D-11d0-958A-006097C9A090}";
constexpr const wchar_t* kTaskbarList3Iid = L"{EA1AFB91-9E28-4B86-90E9-9E9F8A5EEFAF}";

}  // namespace

// HrInit is deliberately not called: the object serves only SetProgressState and
// SetProgressValue.
bool TaskbarProgress::Create() {
  list_.reset();
  CLSID clsid{};
  IID iid{};
  if (FAILED(::CLSIDFromString(kTaskbarListClsid, &clsid))) return false;
  if (FAILED(::IIDFromString(kTaskbarList3Iid, &iid))) return false;
  HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, list_.put_void());
  if (FAILED(hr)) list_.reset();
  return static_cast<bool>(list_);
}

void TaskbarProgress::SetState(HWND window, int state) {
  if (!list_) return;
  list_->SetProgressState(window, static_cast<TBPFLAG>(state));
}

void TaskbarProgress::SetValue(HWND window, uint64_t done, uint64_t total) {
  if (!list_) return;
  list_->SetProgressValue(window, done, total);
}

}  // namespace morvane
