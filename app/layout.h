// The main window's design: every control with its place in twips relative to its container.
#pragma once

#include <cstdint>
#include <vector>

#include "shell/controls.h"

namespace morvane {

enum class Kind { Frame, Label, Edit, Button, DropList, CheckBox, Progress };
enum class Face { YaHei, Verdana, Default };

struct ControlSpec {
  Ctl ctl;
  Kind kind;
  Ctl container;  // Ctl::Count: the window itself
  int32_t left, top, width, height;
  const wchar_t* text;
  bool visible;
  Face face;
  int tab;
};

struct Rect {
  int32_t left, top, width, height;
};

const std::vector<ControlSpec>& FormLayout();
const ControlSpec& SpecOf(Ctl c);

// The control's place in the window's client area, in twips.
Rect PlaceInWindow(const ControlSpec& item);

// Twips between the control's right edge and the nearest visible control to its right that shares
// part of its height, or the client area's right edge: the room a caption may grow into.
int32_t RoomToTheRight(const ControlSpec& item);

// Twips (1/1440 inch) to pixels at `dpi`, rounded to the nearest pixel.
int32_t TwipsToPixels(int32_t twips, int dpi);
int32_t PixelsToTwips(int32_t pixels, int dpi);

constexpr int32_t kClientWidth = 7845;
constexpr int32_t kCompactClientHeight = 3360;
constexpr int32_t kExpandedClientHeight = 6150;
constexpr int32_t kWindowWidth = 8085;

extern const wchar_t* const kWindowCaption;
extern const wchar_t* const kAboutText;

}  // namespace morvane
