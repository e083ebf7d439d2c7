// The progress bar's model: what it asks of the window system, in which order, and what it keeps.
// The window that Value drives is the one the program uses; the other properties keep one test each.
#include "progress/progress_bar.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

namespace morvane {
namespace {

// Logs every call ("create 50000001 200x20|", "range 0 100|", "pos 42 0|", "marquee 1 30|", "destroy|",
// "move 640x33|"). Like a real window, a message to a bar that does not exist goes nowhere.
class FakeBackend : public ProgressBackend {
 public:
  bool Create(uint32_t style, int w, int h) override {
    EXPECT_FALSE(exists_) << "a second inner bar over a live one";
    char line[48];
    std::snprintf(line, sizeof line, "create %08X %dx%d|", static_cast<unsigned>(style), w, h);
    log += line;
    exists_ = !std::exchange(failNextCreate, false);
    return exists_;
  }
  void Destroy() override {
    log += "destroy|";
    exists_ = false;
  }
  bool Exists() const override { return exists_; }
  void Send(uint32_t msg, intptr_t wp, intptr_t lp) override {
    const char* name = msg == 0x402 ? "pos " : msg == 0x406 ? "range " : msg == 0x40A ? "marquee " : "? ";
    if (exists_) log += name + std::to_string(wp) + " " + std::to_string(lp) + "|";
  }
  void Move(int w, int h) override { log += "move " + std::to_string(w) + "x" + std::to_string(h) + "|"; }
  int ClientWidthPx() const override { return width; }
  int ClientHeightPx() const override { return height; }

  int width = 200, height = 20;
  bool failNextCreate = false;
  std::string log;

 private:
  bool exists_ = false;
};

// A new bar with the style's bits over the client area (90x20 in these tests), handed range,
// position and marquee speed.
std::string Rebuilt(const std::string& style, const std::string& handed = "range 0 100|pos 0 0|") {
  return "destroy|create " + style + " 90x20|" + handed;
}

class ProgressBarModelTest : public ::testing::Test {
 protected:
  FakeBackend backend;
  ProgressBarModel model{backend};
};

// The watch sets Value and reads it back for the taskbar: a set that did not reach a bar must not
// be read back, and a value beyond the range is kept as set.
TEST_F(ProgressBarModelTest, TheBarTheProgramUsesFollowsItsHostWindow) {
  model.SetValue(30);
  model.Resize();
  EXPECT_EQ(model.Value(), 0);
  backend.width = 321;
  model.Initialize();
  model.SetValue(150);
  EXPECT_EQ(model.Value(), 150);
  backend.height = 17;
  model.Resize();
  model.Terminate();
  model.Terminate();
  model.Resize();
  model.SetValue(10);
  EXPECT_EQ(model.Value(), 150);
  EXPECT_EQ(backend.log, "create 50000000 321x20|range 0 100|pos 0 0|pos 150 0|move 321x17|destroy|");
}

// Without a bar both are dropped; a new Initialize puts the maximum back to 100 and keeps the rest.
TEST_F(ProgressBarModelTest, MinAndMaxSendTheWholeRange) {
  model.SetMax(500);
  model.SetMin(10);
  model.Initialize();
  model.SetMin(-5);
  model.SetMax(250);
  model.SetValue(44);
  model.Terminate();
  model.Initialize();
  EXPECT_EQ(backend.log,
            "create 50000000 200x20|range 0 100|pos 0 0|range -5 100|range -5 250|pos 44 0|destroy|"
            "create 50000000 200x20|range -5 100|pos 44 0|");
}

// Each builds a new bar; only an orientation of 1 is vertical.
TEST_F(ProgressBarModelTest, OrientationSmoothAndMarqueeBuildANewBarWithTheirBits) {
  model.Initialize();
  model.SetMin(10);
  model.SetMax(200);
  model.SetValue(77);
  backend.width = 90;
  backend.log.clear();
  for (int32_t orientation : {1, 2, -1, 0}) model.SetOrientation(orientation);
  model.SetSmooth(true);
  model.SetMarquee(true);
  model.SetOrientation(1);
  const std::string handed = "range 10 200|pos 77 0|", marquee = handed + "marquee 1 0|";
  EXPECT_EQ(backend.log, Rebuilt("50000004", handed) + Rebuilt("50000000", handed) + Rebuilt("50000000", handed) +
                             Rebuilt("50000000", handed) + Rebuilt("50000001", handed) +
                             Rebuilt("50000009", marquee) + Rebuilt("5000000D", marquee));
}

// The marquee runs at the stored velocity on every new bar that has it; a bar without it is sent none.
TEST_F(ProgressBarModelTest, VelocityIsSentOnlyToAMarquee) {
  model.Initialize();
  backend.width = 90;
  model.SetVelocity(30);
  model.SetMarquee(true);
  model.SetVelocity(50);
  model.SetSmooth(true);
  model.SetMarquee(false);
  model.SetVelocity(70);
  EXPECT_EQ(backend.log, "create 50000000 200x20|range 0 100|pos 0 0|" + Rebuilt("50000008") +
                             "marquee 1 30|marquee 1 50|" + Rebuilt("50000009") + "marquee 1 50|" + Rebuilt("50000001"));
}

// While no bar could be made, Value and Max are dropped and Resize does nothing, until a style
// change makes one.
TEST_F(ProgressBarModelTest, FailedCreationDropsSetsUntilAStyleChangeSucceeds) {
  backend.failNextCreate = true;
  model.SetSmooth(true);  // before Initialize: no bar, but the style is kept
  backend.failNextCreate = true;
  model.Initialize();
  model.SetValue(40);
  model.SetMax(80);
  model.Resize();
  EXPECT_EQ(model.Value(), 0);
  model.SetOrientation(0);
  EXPECT_EQ(backend.log, "create 50000001 200x20|create 50000001 200x20|create 50000001 200x20|"
                         "range 0 100|pos 0 0|");
}

}  // namespace
}  // namespace morvane
