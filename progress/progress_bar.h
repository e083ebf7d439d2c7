// State and rules of the progress bar control, free of any window system. The control is a host
// window holding an inner common-controls progress bar; the model keeps the properties and decides
// which messages reach the inner bar and when it has to be rebuilt. ProgressBar (progress_bar_win.h)
// binds it to real windows.
#pragma once

#include <cstdint>

namespace morvane {

// The values of commctrl.h, repeated so that this half needs no windows.h.
namespace progress_msg {
inline constexpr uint32_t kSetPos = 0x0402;      // PBM_SETPOS
inline constexpr uint32_t kSetRange32 = 0x0406;  // PBM_SETRANGE32
inline constexpr uint32_t kSetMarquee = 0x040A;  // PBM_SETMARQUEE
}  // namespace progress_msg

namespace progress_style {
inline constexpr uint32_t kChildVisible = 0x50000000;  // WS_CHILD | WS_VISIBLE
inline constexpr uint32_t kSmooth = 0x01;              // PBS_SMOOTH
inline constexpr uint32_t kVertical = 0x04;            // PBS_VERTICAL
inline constexpr uint32_t kMarquee = 0x08;             // PBS_MARQUEE
}  // namespace progress_style

// What the model needs from the window system: the inner bar and the host's client area.
class ProgressBackend {
 public:
  virtual ~ProgressBackend() = default;

  // Creates the inner bar at (0,0) with the given size; it never destroys an existing one.
  // Returns false when no bar was made.
  virtual bool Create(uint32_t style, int widthPx, int heightPx) = 0;
  virtual void Destroy() = 0;
  virtual bool Exists() const = 0;
  // Sends to the inner bar; does nothing while there is none.
  virtual void Send(uint32_t msg, intptr_t wParam, intptr_t lParam) = 0;
  // Moves the inner bar to (0,0) with the given size and repaints it.
  virtual void Move(int widthPx, int heightPx) = 0;
  // The host control's client size.
  virtual int ClientWidthPx() const = 0;
  virtual int ClientHeightPx() const = 0;
};

class ProgressBarModel {
 public:
  // Orientation value that makes the bar vertical; every other value means horizontal.
  static constexpr int32_t kVertical = 1;

  explicit ProgressBarModel(ProgressBackend& backend) noexcept : backend_(backend) {}
  ProgressBarModel(const ProgressBarModel&) = delete;
  ProgressBarModel& operator=(const ProgressBarModel&) = delete;

  // The host window was created: builds the inner bar.
  void Initialize();
  // The host window changed size: the inner bar follows.
  void Resize();
  // The host window is going away.
  void Terminate();

  // None of the setters clamps or checks; the getters return what was stored.
  int32_t Value() const noexcept { return value_; }
  void SetValue(int32_t value);  // dropped, not stored, while there is no inner bar
  int32_t Max() const noexcept { return max_; }
  void SetMax(int32_t max);  // dropped, not stored, while there is no inner bar
  int32_t Min() const noexcept { return min_; }
  void SetMin(int32_t min);  // dropped, not stored, while there is no inner bar
  int32_t Orientation() const noexcept { return orientation_; }
  void SetOrientation(int32_t orientation);  // rebuilds the inner bar
  bool Smooth() const noexcept { return smooth_; }
  void SetSmooth(bool smooth);  // rebuilds the inner bar
  bool Marquee() const noexcept { return marquee_; }
  void SetMarquee(bool marquee);  // rebuilds the inner bar
  // Marquee interval in milliseconds; 0 leaves it to the platform.
  int32_t Velocity() const noexcept { return velocity_; }
  void SetVelocity(int32_t velocity);

 private:
  uint32_t InnerStyle() const noexcept;
  void CreateProgressWindow();

  ProgressBackend& backend_;
  int32_t value_ = 0;
  int32_t max_ = 100;
  int32_t min_ = 0;
  int32_t orientation_ = 0;
  bool smooth_ = false;
  bool marquee_ = false;
  int32_t velocity_ = 0;
};

}  // namespace morvane
