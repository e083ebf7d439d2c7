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

using Calls = std::vector<std::string>;

// Records every call as a line ("create 0x50000001 200x20", "range 0 100", "pos 42", "marquee 1 30",
// "destroy", "move 640x33"). Like a real window, a message to a bar that does not exist goes nowhere.
class FakeBackend : public ProgressBackend {
 public:
  bool Create(uint32_t style, int w, int h) override {
    EXPECT_FALSE(exists_) << "a second inner bar over a live one";
    char line[48];
    std::snprintf(line, sizeof line, "create 0x%08X %dx%d", static_cast<unsigned>(style), w, h);
    calls.push_back(line);
    exists_ = !failNextCreate;
    failNextCreate = false;
    return exists_;
  }
  void Destroy() override {
    calls.push_back("destroy");
    exists_ = false;
  }
  bool Exists() const override { return exists_; }
  void Send(uint32_t msg, intptr_t wp, intptr_t lp) override {
    const char* name = msg == 0x402 ? "pos" : msg == 0x406 ? "range" : msg == 0x40A ? "marquee" : "?";
    if (exists_) calls.push_back(name + (" " + std::to_string(wp)) + " " + std::to_string(lp));
  }
  void Move(int w, int h) override { calls.push_back("move " + std::to_string(w) + "x" + std::to_string(h)); }
  int ClientWidthPx() const override { return width; }
  int ClientHeightPx() const override { return height; }

  Calls Take() { return std::exchange(calls, {}); }

  int width = 200, height = 20;
  bool failNextCreate = false;
  Calls calls;

 private:
  bool exists_ = false;
};

class ProgressBarModelTest : public ::testing::Test {
 protected:
  FakeBackend backend;
  ProgressBarModel model{backend};
};

TEST_F(ProgressBarModelTest, InitializeBuildsTheBarOverTheClientAreaThenRangeThenPosition) {
  backend.width = 321;
  backend.height = 17;
  model.Initialize();
  EXPECT_TRUE(model.HasInnerWindow());
  EXPECT_EQ(backend.Take(), (Calls{"create 0x50000000 321x17", "range 0 100", "pos 0 0"}));
}

// The watch sets Value and reads it back for the taskbar: a set that did not reach a bar must not
// be read back, and a value beyond the range is kept as set.
TEST_F(ProgressBarModelTest, ValueIsStoredAndSentOnlyWhileThereIsABar) {
  model.SetValue(30);
  EXPECT_EQ(model.Value(), 0);
  model.Initialize();
  backend.Take();
  model.SetValue(150);
  EXPECT_EQ(model.Value(), 150);
  EXPECT_EQ(backend.Take(), (Calls{"pos 150 0"}));

  model.Terminate();
  model.Terminate();
  EXPECT_EQ(backend.Take(), (Calls{"destroy"}));
  model.SetValue(10);
  EXPECT_EQ(model.Value(), 150);
  EXPECT_TRUE(backend.calls.empty());
}

TEST_F(ProgressBarModelTest, MinAndMaxSendTheWholeRangeAndAreDroppedWithoutABar) {
  model.SetMax(500);
  model.SetMin(10);
  EXPECT_EQ(model.Max(), 100);
  EXPECT_EQ(model.Min(), 0);
  model.Initialize();
  backend.Take();
  model.SetMin(-5);
  model.SetMax(250);
  EXPECT_EQ(backend.Take(), (Calls{"range -5 100", "range -5 250"}));
  EXPECT_EQ(model.Min(), -5);
  EXPECT_EQ(model.Max(), 250);
  // A new Initialize puts the maximum back to 100 and keeps the rest.
  model.SetValue(44);
  model.Terminate();
  backend.Take();
  model.Initialize();
  EXPECT_EQ(backend.Take(), (Calls{"create 0x50000000 200x20", "range -5 100", "pos 44 0"}));
}

TEST_F(ProgressBarModelTest, StyleChangeBuildsANewBarThatCarriesRangeAndPosition) {
  model.Initialize();
  model.SetMin(10);
  model.SetMax(200);
  model.SetValue(77);
  backend.Take();
  backend.width = 90;
  backend.height = 300;
  model.SetOrientation(1);
  EXPECT_EQ(backend.Take(), (Calls{"destroy", "create 0x50000004 90x300", "range 10 200", "pos 77 0"}));
  EXPECT_EQ(model.Orientation(), 1);
}

TEST_F(ProgressBarModelTest, StyleBitsOfEveryCombination) {
  struct Row {
    int32_t orientation;
    bool smooth, marquee;
    const char* created;
  };
  const Row rows[] = {
      {0, false, false, "create 0x50000000 200x20"}, {1, false, false, "create 0x50000004 200x20"},
      {2, false, false, "create 0x50000000 200x20"},  // only 1 is vertical
      {-1, false, false, "create 0x50000000 200x20"}, {0, true, false, "create 0x50000001 200x20"},
      {0, false, true, "create 0x50000008 200x20"},  {1, true, true, "create 0x5000000D 200x20"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.created);
    FakeBackend fresh;
    ProgressBarModel bar(fresh);
    bar.Initialize();
    bar.SetOrientation(row.orientation);
    bar.SetSmooth(row.smooth);
    bar.SetMarquee(row.marquee);
    std::string lastCreated;
    for (const std::string& call : fresh.calls) {
      if (call.rfind("create", 0) == 0) lastCreated = call;
    }
    EXPECT_EQ(lastCreated, row.created);
  }
}

TEST_F(ProgressBarModelTest, FailedCreationDropsSetsUntilAStyleChangeSucceeds) {
  backend.failNextCreate = true;
  model.SetSmooth(true);  // before Initialize: no bar, but the style is kept
  backend.failNextCreate = true;
  model.Initialize();
  EXPECT_FALSE(model.HasInnerWindow());
  model.SetValue(40);
  model.SetMax(80);
  model.Resize();
  EXPECT_EQ(model.Value(), 0);
  EXPECT_EQ(model.Max(), 100);
  EXPECT_EQ(backend.Take(), (Calls{"create 0x50000001 200x20", "create 0x50000001 200x20"}));

  model.SetOrientation(0);
  EXPECT_EQ(backend.Take(), (Calls{"create 0x50000001 200x20", "range 0 100", "pos 0 0"}));
  model.SetValue(40);
  EXPECT_EQ(model.Value(), 40);
}

TEST_F(ProgressBarModelTest, MarqueeRunsAtTheStoredVelocityOnEveryNewBar) {
  model.Initialize();
  model.SetVelocity(30);  // stored, not sent without marquee
  model.SetValue(12);
  backend.Take();
  model.SetMarquee(true);
  EXPECT_EQ(backend.Take(), (Calls{"destroy", "create 0x50000008 200x20", "range 0 100", "pos 12 0", "marquee 1 30"}));
  model.SetVelocity(50);
  EXPECT_EQ(backend.Take(), (Calls{"marquee 1 50"}));
  model.SetSmooth(true);
  EXPECT_EQ(backend.calls.back(), "marquee 1 50");
  model.SetMarquee(false);
  EXPECT_EQ(backend.Take().back(), "pos 12 0") << "no marquee on a bar without it";
  model.SetVelocity(70);
  EXPECT_EQ(model.Velocity(), 70);
  EXPECT_TRUE(backend.calls.empty());
}

TEST_F(ProgressBarModelTest, ResizeMovesTheBarToTheClientSize) {
  model.Resize();
  EXPECT_TRUE(backend.calls.empty());
  model.Initialize();
  backend.Take();
  backend.width = 640;
  backend.height = 33;
  model.Resize();
  EXPECT_EQ(backend.Take(), (Calls{"move 640x33"}));
}

}  // namespace
}  // namespace morvane
