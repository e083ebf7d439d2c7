#include "progress/progress_bar.h"

namespace morvane {

void ProgressBarModel::Initialize() {
  max_ = 100;
  CreateProgressWindow();
}

void ProgressBarModel::Resize() {
  if (!backend_.Exists()) return;
  backend_.Move(backend_.ClientWidthPx(), backend_.ClientHeightPx());
}

void ProgressBarModel::Terminate() {
  if (backend_.Exists()) backend_.Destroy();
}

void ProgressBarModel::SetValue(int32_t value) {
  if (!backend_.Exists()) return;
  value_ = value;
  backend_.Send(progress_msg::kSetPos, value_, 0);
}

void ProgressBarModel::SetMax(int32_t max) {
  if (!backend_.Exists()) return;
  max_ = max;
  backend_.Send(progress_msg::kSetRange32, min_, max_);
}

void ProgressBarModel::SetMin(int32_t min) {
  if (!backend_.Exists()) return;
  min_ = min;
  backend_.Send(progress_msg::kSetRange32, min_, max_);
}

void ProgressBarModel::SetOrientation(int32_t orientation) {
  orientation_ = orientation;
  CreateProgressWindow();
}

void ProgressBarModel::SetSmooth(bool smooth) {
  smooth_ = smooth;
  CreateProgressWindow();
}

void ProgressBarModel::SetMarquee(bool marquee) {
  marquee_ = marquee;
  CreateProgressWindow();
}

void ProgressBarModel::SetVelocity(int32_t velocity) {
  velocity_ = velocity;
  if (marquee_) backend_.Send(progress_msg::kSetMarquee, 1, velocity_);
}

uint32_t ProgressBarModel::InnerStyle() const noexcept {
  uint32_t style = progress_style::kChildVisible;
  if (orientation_ == kVertical) style |= progress_style::kVertical;
  if (smooth_) style |= progress_style::kSmooth;
  if (marquee_) style |= progress_style::kMarquee;
  return style;
}

// Every style change builds a new bar with the new style. A new bar starts at range 0..100,
// position 0 and without marquee, so it is handed the stored ones.
void ProgressBarModel::CreateProgressWindow() {
  if (backend_.Exists()) backend_.Destroy();
  backend_.Create(InnerStyle(), backend_.ClientWidthPx(), backend_.ClientHeightPx());
  SetMax(max_);
  SetValue(value_);
  if (marquee_) backend_.Send(progress_msg::kSetMarquee, 1, velocity_);
}

}  // namespace morvane
