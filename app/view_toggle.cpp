#include "app/view_toggle.h"

#include "app/layout.h"

namespace morvane {

void OnViewResize(RunState& state, WindowPort& ui) {
  switch (ui.State()) {
    case WindowState::Normal:
      state.sizeMode = 0;
      break;
    case WindowState::Minimised:
      state.sizeMode = 1;
      break;
    case WindowState::Maximised:
      if (state.sizeMode == 2) {
        ui.SetStateNormal();
        ui.SetSize(state.compactWidth, state.compactHeight);
        state.sizeMode = 0;
      } else if (state.sizeMode == 0) {
        ui.SetStateNormal();
        ui.SetSize(state.expandedWidth, state.expandedHeight);
        state.sizeMode = 2;
      }
      break;
  }
}

void InitViewSizes(RunState& state, WindowPort& ui) {
  const int32_t frame = ui.WindowHeight() - ui.ClientHeight();
  state.compactWidth = kWindowWidth;
  state.compactHeight = frame + kCompactClientHeight;
  state.expandedWidth = kWindowWidth;
  state.expandedHeight = frame + kExpandedClientHeight;
  state.sizeMode = static_cast<int16_t>(ui.State());
  ui.SetSize(state.compactWidth, state.compactHeight);
}

}  // namespace morvane
