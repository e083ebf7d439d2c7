// The main window's design table and the twip arithmetic the window is laid out with.
#include "app/layout.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

namespace morvane {
namespace {

bool IsFrame(Ctl c) { return c == Ctl::Frame0 || c == Ctl::Frame1 || c == Ctl::Frame2 || c == Ctl::Frame3; }

TEST(Layout, EveryControlOnceWithADistinctTabIndex) {
  const std::vector<ControlSpec>& layout = FormLayout();
  ASSERT_EQ(layout.size(), static_cast<size_t>(Ctl::Count));
  std::set<int> controls;
  std::set<int> tabs;
  for (const ControlSpec& control : layout) {
    controls.insert(static_cast<int>(control.ctl));
    tabs.insert(control.tab);
    EXPECT_EQ(&SpecOf(control.ctl), &control);
  }
  EXPECT_EQ(controls.size(), layout.size());
  ASSERT_EQ(tabs.size(), layout.size());
  EXPECT_EQ(*tabs.begin(), 0);
  EXPECT_EQ(*tabs.rbegin(), static_cast<int>(layout.size()) - 1);
  EXPECT_THROW(SpecOf(Ctl::Count), std::out_of_range);
}

TEST(Layout, PlaceInWindowAddsTheContainersOffsets) {
  struct Case {
    Ctl ctl;
    int32_t left, top;
  };
  const Case cases[] = {
      {Ctl::Combo0, 1320, 1920},        // in Frame1 at 240, 1680
      {Ctl::Check1, 5160, 1960},        // in Frame1
      {Ctl::Status, 480, 2655},         // in Frame2 at 240, 2400
      {Ctl::ProgressBar1, 2400, 2640},  // in Frame2
      {Ctl::Command4, 6120, 2600},      // in Frame2
      {Ctl::Label0, 480, 420},          // in Frame0 at 240, 120
      {Ctl::Label4, 480, 3840},         // in Frame3 at 240, 3360
      {Ctl::Text1, 1320, 360},          // on the window itself
      {Ctl::Frame1, 240, 1680},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.ctl));
    const ControlSpec& control = SpecOf(c.ctl);
    const Rect r = PlaceInWindow(control);
    EXPECT_EQ(r.left, c.left);
    EXPECT_EQ(r.top, c.top);
    EXPECT_EQ(r.width, control.width);
    EXPECT_EQ(r.height, control.height);
  }
}

TEST(Layout, RoomToTheRightEndsAtTheNextControlOfTheRow) {
  EXPECT_EQ(RoomToTheRight(SpecOf(Ctl::Label2)), 1320 - (480 + 675));  // Text3
  EXPECT_EQ(RoomToTheRight(SpecOf(Ctl::Label3)), 1320 - (480 + 720));  // Combo0, not the hidden lists
  EXPECT_EQ(RoomToTheRight(SpecOf(Ctl::Command1)), kClientWidth - (6480 + 855));
}

TEST(Layout, ControlsLieInsideTheirContainers) {
  for (const ControlSpec& control : FormLayout()) {
    SCOPED_TRACE(static_cast<int>(control.ctl));
    int32_t width = kClientWidth;
    int32_t height = kExpandedClientHeight;
    if (control.container != Ctl::Count) {
      EXPECT_TRUE(IsFrame(control.container)) << "only frames hold controls";
      width = SpecOf(control.container).width;
      height = SpecOf(control.container).height;
    }
    EXPECT_GE(control.left, 0);
    EXPECT_GE(control.top, 0);
    EXPECT_LE(control.left + control.width, width);
    EXPECT_LE(control.top + control.height, height);
  }
}

TEST(Layout, CompactViewShowsAllButTheAboutArea) {
  for (const ControlSpec& control : FormLayout()) {
    if (!control.visible) continue;
    SCOPED_TRACE(static_cast<int>(control.ctl));
    const Rect r = PlaceInWindow(control);
    const bool about = control.ctl == Ctl::Frame3 || control.container == Ctl::Frame3;
    if (about) {
      EXPECT_GE(r.top, kCompactClientHeight);
      EXPECT_LE(r.top + r.height, kExpandedClientHeight);
    } else {
      EXPECT_LE(r.top + r.height, kCompactClientHeight);
    }
  }
}

TEST(Layout, TheListsThatServeAsStorageAreHidden) {
  for (Ctl c : {Ctl::Combo1, Ctl::Combo2, Ctl::RDriver}) EXPECT_FALSE(SpecOf(c).visible) << static_cast<int>(c);
  EXPECT_TRUE(SpecOf(Ctl::Combo0).visible);
}

TEST(TwipsToPixels, AtCommonResolutions) {
  struct Case {
    int32_t twips;
    int dpi;
    int32_t pixels;
  };
  const Case cases[] = {
      {15, 96, 1},      {7845, 96, 523},  {3360, 96, 224},  {6150, 96, 410},  {7, 96, 0},   {8, 96, 1},
      {12, 120, 1},     {7845, 120, 654}, {3360, 120, 280}, {6150, 120, 513}, {10, 144, 1}, {7845, 144, 785},
      {3360, 144, 336}, {6150, 144, 615}, {0, 144, 0},      {-15, 96, -1},    {-8, 96, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " twips at " << c.dpi << " dpi";
  }
}

TEST(PixelsToTwips, UndoesTheScaling) {
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
