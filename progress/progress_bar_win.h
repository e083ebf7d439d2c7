// The progress bar control: a child window of class L"MorvaneProgressBar" that fills its client
// area with a common-controls progress bar ("msctls_progress32", child id 1). The parent places and
// sizes it like any built-in control; the inner bar follows every size change at once.
// The common controls must be initialised (ICC_PROGRESS_CLASS) before Create.
#pragma once

#include <windows.h>

#include <cstdint>

#include "progress/progress_bar.h"
#include "shell/handles_win.h"

namespace morvane {

class ProgressBar {
 public:
  static constexpr const wchar_t* kClassName = L"MorvaneProgressBar";
  static constexpr int kInnerId = 1;

  ProgressBar() noexcept;
  // Destroys the host window (and so the inner bar) when the parent has not done so already.
  ~ProgressBar();
  // The host window keeps a pointer to this object.
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Registers the window class for this module; true also when it was registered before.
  static bool Register(HINSTANCE instance);
  // Creates the host window as a plain child of parent, then the inner bar inside it.
  // False when the class is not registered, the host exists already, or creation failed.
  bool Create(HWND parent, int x, int y, int width, int height, int controlId);

  HWND hwnd() const noexcept { return host_.get(); }
  HWND inner() const noexcept { return backend_.inner(); }

  int32_t Value() const noexcept { return model_.Value(); }
  void SetValue(int32_t value) { model_.SetValue(value); }
  int32_t Max() const noexcept { return model_.Max(); }
  void SetMax(int32_t max) { model_.SetMax(max); }
  int32_t Min() const noexcept { return model_.Min(); }
  void SetMin(int32_t min) { model_.SetMin(min); }
  int32_t Orientation() const noexcept { return model_.Orientation(); }
  void SetOrientation(int32_t orientation) { model_.SetOrientation(orientation); }
  bool Smooth() const noexcept { return model_.Smooth(); }
  void SetSmooth(bool smooth) { model_.SetSmooth(smooth); }
  bool Marquee() const noexcept { return model_.Marquee(); }
  void SetMarquee(bool marquee) { model_.SetMarquee(marquee); }
  int32_t Velocity() const noexcept { return model_.Velocity(); }
  void SetVelocity(int32_t velocity) { model_.SetVelocity(velocity); }

 private:
  class WindowBackend : public ProgressBackend {
   public:
    void set_host(HWND host) noexcept { host_ = host; }
    HWND inner() const noexcept { return inner_.get(); }

    bool Create(uint32_t style, int widthPx, int heightPx) override;
    void Destroy() override;
    bool Exists() const override;
    void Send(uint32_t msg, intptr_t wParam, intptr_t lParam) override;
    void Move(int widthPx, int heightPx) override;
    int ClientWidthPx() const override;
    int ClientHeightPx() const override;

   private:
    HWND host_ = nullptr;
    UniqueHwnd inner_;
  };

  static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

  WindowBackend backend_;
  ProgressBarModel model_;
  UniqueHwnd host_;
};

}  // namespace morvane
