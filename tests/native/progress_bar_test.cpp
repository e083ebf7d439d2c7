// The progress bar's model: what it asks of the window system, in which order, and what it keeps.
// The window that Value drives is the one the program uses; the other properties keep one test each.
#include "progress/progress_bar.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace morvane {
namespace {

// Logs every call ("create 50000001 200x20|", "range 0 100|", "pos 42 0|", "marquee 1 30|", "destroy|",
// "move 640x33|"). Like a real window, a message to a bar that does not exist goes nowhere.
struct FakeBackend : ProgressBackend {
  bool Create(uint32_t style, int w, int h) override {
    EXPECT_FALSE(exists) << "a second inner bar over a live one";
    char line[48];
    std::snprintf(line, sizeof line, "create %08X %dx%d|", static_cast<unsigned>(style), w, h);
    log += line;
    exists = !std::exchange(failNextCreate, false);
    return exists;
  }
  void Destroy() override {
    log += "destroy|";
    exists = false;
  }
  bool Exists() const override { return exists; }
  void Send(uint32_t msg, intptr_t wp, intptr_t lp) override {
    const char* name = msg == 0x402 ? "pos " : msg == 0x406 ? "range " : msg == 0x40A ? "marquee " : "? ";
    if (exists) log += name + std::to_string(wp) + " " + std::to_string(lp) + "|";
  }
  void Move(int w, int h) override { log += "move " + std::to_string(w) + "x" + std::to_string(h) + "|"; }
  int ClientWidthPx() const override { return width; }
  int ClientHeightPx() const override { return height; }

  int width = 200, height = 20;
  bool exists = false, failNextCreate = false;
  std::string log;
};

// Plays the steps on a new model and returns the window system's log. A step is a call ("init",
// "resize", "end" for Terminate, "value 30", "min 10", "max 500", "orientation 1", "smooth 1",
// "marquee 1", "velocity 30"), "width 90" (the host's new client width), "fail" (the next bar
// cannot be made) or "read" (logs "read " and what Value returns).
std::string Play(const std::vector<std::string>& steps) {
  FakeBackend backend;
  ProgressBarModel model(backend);
  for (const std::string& step : steps) {
    const std::string call = step.substr(0, step.find(' '));
    const int32_t n = call == step ? 0 : std::stoi(step.substr(call.size() + 1));
    if (call == "init") model.Initialize();
    if (call == "resize") model.Resize();
    if (call == "end") model.Terminate();
    if (call == "value") model.SetValue(n);
    if (call == "min") model.SetMin(n);
    if (call == "max") model.SetMax(n);
    if (call == "orientation") model.SetOrientation(n);
    if (call == "smooth") model.SetSmooth(n != 0);
    if (call == "marquee") model.SetMarquee(n != 0);
    if (call == "velocity") model.SetVelocity(n);
    if (call == "width") backend.width = n;
    if (call == "fail") backend.failNextCreate = true;
    if (call == "read") backend.log += "read " + std::to_string(model.Value()) + "|";
  }
  return backend.log;
}

// The watch sets Value and reads it back for the taskbar: a set that did not reach a bar must not
// be read back, and a value beyond the range is kept as set. The bar follows the host's client area.
TEST(ProgressBarModel, TheBarTheProgramUsesFollowsItsHostWindow) {
  EXPECT_EQ(Play({"value 30", "resize", "read", "width 3", "init", "value 150", "read", "width 9", "resize",
                  "end", "end", "resize", "value 10", "read"}),
            "read 0|create 50000000 3x20|range 0 100|pos 0 0|pos 150 0|read 150|move 9x20|destroy|read 150|");
}

// Without a bar both are dropped; a new Initialize puts the maximum back to 100 and keeps the rest.
TEST(ProgressBarModel, MinAndMaxSendTheWholeRange) {
  EXPECT_EQ(Play({"max 500", "min 10", "init", "min -5", "max 250", "value 44", "end", "init"}),
            "create 50000000 200x20|range 0 100|pos 0 0|range -5 100|range -5 250|pos 44 0|destroy|"
            "create 50000000 200x20|range -5 100|pos 44 0|");
}

// Each builds a new bar with its bits over the client area, handed the range and the position (and
// the marquee speed); only an orientation of 1 is vertical.
TEST(ProgressBarModel, OrientationSmoothAndMarqueeBuildANewBarWithTheirBits) {
  std::string expected = "create 50000000 200x20|range 0 100|pos 0 0|range 10 100|range 10 200|pos 77 0|";
  for (const std::string bits : {"4", "0", "0", "0", "1", "9", "D"}) {
    expected += "destroy|create 5000000" + bits + " 90x20|range 10 200|pos 77 0|";
    if (bits == "9" || bits == "D") expected += "marquee 1 0|";
  }
  EXPECT_EQ(Play({"init", "min 10", "max 200", "value 77", "width 90", "orientation 1", "orientation 2",
                  "orientation -1", "orientation 0", "smooth 1", "marquee 1", "orientation 1"}),
            expected);
}

// The marquee runs at the stored velocity on every new bar that has it; a bar without it is sent none.
TEST(ProgressBarModel, VelocityIsSentOnlyToAMarquee) {
  EXPECT_EQ(Play({"init", "velocity 30", "marquee 1", "velocity 50", "smooth 1", "marquee 0", "velocity 70"}),
            "create 50000000 200x20|range 0 100|pos 0 0|destroy|create 50000008 200x20|range 0 100|pos 0 0|"
            "marquee 1 30|marquee 1 50|destroy|create 50000009 200x20|range 0 100|pos 0 0|marquee 1 50|"
            "destroy|create 50000001 200x20|range 0 100|pos 0 0|");
}

// While no bar could be made, Value and Max are dropped until a style change makes one; a style set
// before Initialize is kept.
TEST(ProgressBarModel, FailedCreationDropsSetsUntilAStyleChangeSucceeds) {
  EXPECT_EQ(Play({"fail", "smooth 1", "fail", "init", "value 40", "max 80", "read", "orientation 0"}),
            "create 50000001 200x20|create 50000001 200x20|read 0|"
            "create 50000001 200x20|range 0 100|pos 0 0|");
}

}  // namespace
}  // namespace morvane
