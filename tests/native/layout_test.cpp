// The main window's design table and the twip arithmetic the window is laid out with.
#include "app/layout.h"

#include <gtest/gtest.h>

#include <iterator>
#include <stdexcept>
#include <vector>

namespace morvane {
namespace {

// The window's design, written down independently of app/layout.cpp: every control with its container
// (W: the window), its place in twips, whether it shows and its tab index.
struct Designed {
  Ctl ctl, container;
  int32_t left, top, width, height;
  bool visible;
  int tab;
};
constexpr Ctl W = Ctl::Count, F0 = Ctl::Frame0, F1 = Ctl::Frame1, F2 = Ctl::Frame2, F3 = Ctl::Frame3;
const Designed kDesign[] = {
    {Ctl::Frame0, W, 240, 120, 7335, 1560, true, 9}, {Ctl::Label0, F0, 240, 300, 720, 210, true, 11},
    {Ctl::Text1, W, 1320, 360, 5055, 330, true, 0}, {Ctl::Command1, W, 6480, 360, 855, 325, true, 1},
    {Ctl::Label1, F0, 240, 720, 720, 255, true, 10}, {Ctl::Text2, W, 1320, 780, 5055, 330, true, 8},
    {Ctl::Command2, W, 6480, 780, 855, 325, true, 2}, {Ctl::Label2, F0, 240, 1140, 675, 255, true, 17},
    {Ctl::Text3, W, 1320, 1200, 5055, 330, true, 18}, {Ctl::Command3, W, 6480, 1200, 855, 325, true, 3},
    {Ctl::Frame1, W, 240, 1680, 7335, 735, true, 15}, {Ctl::Label3, F1, 240, 280, 720, 255, true, 16},
    {Ctl::Combo0, F1, 1080, 240, 3615, 330, true, 4}, {Ctl::Check1, F1, 4920, 280, 1095, 255, true, 5},
    {Ctl::Check2, F1, 6120, 280, 1095, 255, true, 6}, {Ctl::Combo1, W, 1320, 1920, 3615, 330, false, 23},
    {Ctl::Combo2, W, 1320, 1920, 3615, 300, false, 12}, {Ctl::Frame2, W, 240, 2400, 7335, 690, true, 13},
    {Ctl::Status, F2, 240, 255, 1680, 255, true, 14}, {Ctl::ProgressBar1, F2, 2160, 240, 3015, 300, true, 19},
    {Ctl::RDriver, F2, 2160, 240, 3015, 330, false, 22}, {Ctl::Command4, F2, 5880, 200, 1095, 360, true, 7},
    {Ctl::Frame3, W, 240, 3360, 7335, 2535, true, 20}, {Ctl::Label4, F3, 240, 480, 6855, 1935, true, 21},
};

TEST(Layout, MatchesTheDesign) {
  ASSERT_EQ(FormLayout().size(), std::size(kDesign));
  for (const Designed& d : kDesign) {
    SCOPED_TRACE(static_cast<int>(d.ctl));
    const ControlSpec& c = SpecOf(d.ctl);
    EXPECT_EQ(c.container, d.container);
    EXPECT_EQ((std::vector<int32_t>{c.left, c.top, c.width, c.height}),
              (std::vector<int32_t>{d.left, d.top, d.width, d.height}));
    EXPECT_EQ(c.visible, d.visible);
    EXPECT_EQ(c.tab, d.tab);
    // In the window a control is moved by its container's place; the frames sit on the window itself
    // and their place is checked in their own rows.
    const Rect r = PlaceInWindow(c);
    const Rect in = d.container == W ? Rect{0, 0, 0, 0} : PlaceInWindow(SpecOf(d.container));
    EXPECT_EQ((std::vector<int32_t>{r.left, r.top, r.width, r.height}),
              (std::vector<int32_t>{d.left + in.left, d.top + in.top, d.width, d.height}));
  }
  EXPECT_EQ((std::vector<int32_t>{kClientWidth, kCompactClientHeight, kExpandedClientHeight, kWindowWidth}),
            (std::vector<int32_t>{7845, 3360, 6150, 8085}));
  EXPECT_THROW(SpecOf(Ctl::Count), std::out_of_range);
  // The room a caption label may grow into ends at the next visible control of its row.
  EXPECT_EQ(RoomToTheRight(SpecOf(Ctl::Label2)), 1320 - (480 + 675));  // Text3
  EXPECT_EQ(RoomToTheRight(SpecOf(Ctl::Label3)), 1320 - (480 + 720));  // Combo0, not the hidden lists
  EXPECT_EQ(RoomToTheRight(SpecOf(Ctl::Command1)), kClientWidth - (6480 + 855));
}

TEST(Layout, TwipsToPixelsRoundsToTheNearestAndPixelsToTwipsUndoesIt) {
  const int cases[][3] = {{15, 96, 1},  {7, 96, 0},       {8, 96, 1},       {7845, 96, 523}, {12, 120, 1},
                          {10, 144, 1}, {7845, 144, 785}, {0, 144, 0},      {-15, 96, -1},   {-8, 96, -1}};
  for (const auto& [twips, dpi, pixels] : cases) {
    EXPECT_EQ(TwipsToPixels(twips, dpi), pixels) << twips << " twips at " << dpi << " dpi";
  }
  for (int dpi : {96, 120, 144, 192}) {
    for (int32_t px = 0; px <= 2000; ++px) {
      ASSERT_EQ(TwipsToPixels(PixelsToTwips(px, dpi), dpi), px) << px << " px at " << dpi << " dpi";
    }
  }
  EXPECT_EQ(PixelsToTwips(523, 96), 7845);
  EXPECT_EQ(PixelsToTwips(10, 0), 150) << "an unknown resolution counts as 96 dpi";
}

}  // namespace
}  // namespace morvane
