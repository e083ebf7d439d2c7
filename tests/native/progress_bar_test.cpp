#include "progress/progress_bar.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <ostream>
#include <utility>
#include <vector>

namespace morvane {
namespace {

constexpr uint32_t kSetPos = 0x402;
constexpr uint32_t kSetRange32 = 0x406;
constexpr uint32_t kSetMarquee = 0x40A;
constexpr uint32_t kBaseStyle = 0x50000000;  // WS_CHILD | WS_VISIBLE

// One thing the model asked of the window system.
struct Call {
  enum Kind { kCreate, kDestroy, kSend, kMove } kind;
  uint32_t a = 0;  // Create: style; Send: message
  intptr_t b = 0;  // Create/Move: width; Send: wParam
  intptr_t c = 0;  // Create/Move: height; Send: lParam

  bool operator==(const Call& o) const {
    return kind == o.kind && a == o.a && b == o.b && c == o.c;
  }
};

Call Created(uint32_t style, int w, int h) { return {Call::kCreate, style, w, h}; }
Call Destroyed() { return {Call::kDestroy}; }
Call Sent(uint32_t msg, intptr_t wp, intptr_t lp) { return {Call::kSend, msg, wp, lp}; }
Call Moved(int w, int h) { return {Call::kMove, 0, w, h}; }

void PrintTo(const Call& c, std::ostream* os) {
  static const char* const names[] = {"Create", "Destroy", "Send", "Move"};
  *os << names[c.kind] << "(0x" << std::hex << c.a << std::dec << ", " << c.b << ", " << c.c << ")";
}

// Records every call; creation succeeds unless failures were queued. Like the real window, a
// message to a bar that does not exist goes nowhere, so only delivered ones are recorded.
class FakeBackend : public ProgressBackend {
 public:
  bool Create(uint32_t style, int w, int h) override {
    if (exists_) createdOverLiveBar = true;
    bool ok = outcomes_.empty() ? true : outcomes_.front();
    if (!outcomes_.empty()) outcomes_.pop_front();
    calls.push_back(Created(style, w, h));
    exists_ = ok;
    return ok;
  }
  void Destroy() override {
    calls.push_back(Destroyed());
    exists_ = false;
  }
  bool Exists() const override { return exists_; }
  void Send(uint32_t msg, intptr_t wp, intptr_t lp) override {
    if (exists_) calls.push_back(Sent(msg, wp, lp));
    else sentWithoutBar.push_back(Sent(msg, wp, lp));
  }
  void Move(int w, int h) override { calls.push_back(Moved(w, h)); }
  int ClientWidthPx() const override { return width; }
  int ClientHeightPx() const override { return height; }

  void FailNextCreate() { outcomes_.push_back(false); }
  std::vector<Call> Take() { return std::exchange(calls, {}); }

  int width = 200;
  int height = 20;
  std::vector<Call> calls;
  std::vector<Call> sentWithoutBar;
  bool createdOverLiveBar = false;

 private:
  bool exists_ = false;
  std::deque<bool> outcomes_;
};

class ProgressBarModelTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_FALSE(backend.createdOverLiveBar) << "an inner bar leaked"; }

  FakeBackend backend;
  ProgressBarModel model{backend};
};

using Calls = std::vector<Call>;

TEST_F(ProgressBarModelTest, DefaultsBeforeAnyWindow) {
  EXPECT_FALSE(model.HasInnerWindow());
  EXPECT_EQ(model.Value(), 0);
  EXPECT_EQ(model.Max(), 100);
  EXPECT_EQ(model.Min(), 0);
  EXPECT_EQ(model.Orientation(), 0);
  EXPECT_FALSE(model.Smooth());
  EXPECT_FALSE(model.Marquee());
  EXPECT_EQ(model.Velocity(), 0);
  EXPECT_TRUE(backend.calls.empty());
}

TEST_F(ProgressBarModelTest, InitializeBuildsHorizontalBarOverClientAreaAndAppliesRange) {
  backend.width = 321;
  backend.height = 17;
  model.Initialize();
  EXPECT_TRUE(model.HasInnerWindow());
  EXPECT_EQ(backend.Take(), (Calls{Created(kBaseStyle, 321, 17), Sent(kSetRange32, 0, 100),
                                   Sent(kSetPos, 0, 0)}));
}

TEST_F(ProgressBarModelTest, GettersSendNothing) {
  model.Initialize();
  backend.Take();
  (void)model.Value();
  (void)model.Max();
  (void)model.Min();
  (void)model.Orientation();
  (void)model.Smooth();
  (void)model.Marquee();
  (void)model.Velocity();
  EXPECT_TRUE(backend.calls.empty());
}

// --- range and position while the bar exists ---

TEST_F(ProgressBarModelTest, RangeAndPositionGoToTheBarAndAreStored) {
  model.Initialize();
  backend.Take();

  model.SetMin(-5);
  model.SetMax(250);
  model.SetValue(42);
  EXPECT_EQ(backend.Take(), (Calls{Sent(kSetRange32, -5, 100), Sent(kSetRange32, -5, 250),
                                   Sent(kSetPos, 42, 0)}));
  EXPECT_EQ(model.Min(), -5);
  EXPECT_EQ(model.Max(), 250);
  EXPECT_EQ(model.Value(), 42);
}

TEST_F(ProgressBarModelTest, SettersNeitherClampNorCheck) {
  model.Initialize();
  backend.Take();

  model.SetValue(150);
  EXPECT_EQ(model.Value(), 150);
  model.SetValue(-7);
  EXPECT_EQ(model.Value(), -7);
  model.SetMin(300);  // above the maximum
  EXPECT_EQ(model.Min(), 300);
  model.SetMax(INT32_MIN);
  EXPECT_EQ(model.Max(), INT32_MIN);
  model.SetVelocity(-1);
  EXPECT_EQ(model.Velocity(), -1);
  EXPECT_EQ(backend.Take(),
            (Calls{Sent(kSetPos, 150, 0), Sent(kSetPos, -7, 0), Sent(kSetRange32, 300, 100),
                   Sent(kSetRange32, 300, INT32_MIN)}));
}

// --- no bar: range and position are dropped, not kept for later ---

TEST_F(ProgressBarModelTest, RangeAndPositionAreDroppedBeforeInitialize) {
  model.SetValue(30);
  model.SetMax(500);
  model.SetMin(10);
  EXPECT_EQ(model.Value(), 0);
  EXPECT_EQ(model.Max(), 100);
  EXPECT_EQ(model.Min(), 0);
  EXPECT_TRUE(backend.calls.empty());
}

TEST_F(ProgressBarModelTest, FailedCreationDropsSetsUntilAStyleChangeSucceeds) {
  backend.FailNextCreate();
  model.Initialize();
  EXPECT_FALSE(model.HasInnerWindow());
  EXPECT_EQ(backend.Take(), (Calls{Created(kBaseStyle, 200, 20)}));

  model.SetValue(40);
  model.SetMax(80);
  model.SetMin(5);
  EXPECT_EQ(model.Value(), 0);
  EXPECT_EQ(model.Max(), 100);
  EXPECT_EQ(model.Min(), 0);
  EXPECT_TRUE(backend.calls.empty());

  model.SetSmooth(true);
  EXPECT_TRUE(model.HasInnerWindow());
  EXPECT_EQ(backend.Take(), (Calls{Created(kBaseStyle | 0x01, 200, 20), Sent(kSetRange32, 0, 100),
                                   Sent(kSetPos, 0, 0)}));
  model.SetValue(40);
  EXPECT_EQ(model.Value(), 40);
}

TEST_F(ProgressBarModelTest, FailedRecreationLosesTheBarButKeepsStoredState) {
  model.Initialize();
  model.SetMax(60);
  model.SetValue(25);
  backend.Take();

  backend.FailNextCreate();
  model.SetOrientation(1);
  EXPECT_FALSE(model.HasInnerWindow());
  EXPECT_EQ(backend.Take(), (Calls{Destroyed(), Created(kBaseStyle | 0x04, 200, 20)}));
  EXPECT_EQ(model.Max(), 60);
  EXPECT_EQ(model.Value(), 25);

  model.SetOrientation(0);
  EXPECT_EQ(backend.Take(), (Calls{Created(kBaseStyle, 200, 20), Sent(kSetRange32, 0, 60),
                                   Sent(kSetPos, 25, 0)}));
}

// --- rebuilding on style changes ---

TEST_F(ProgressBarModelTest, StyleChangeRebuildsTheBarAndCarriesRangeAndPosition) {
  model.Initialize();
  model.SetMin(10);
  model.SetMax(200);
  model.SetValue(77);
  backend.Take();

  backend.width = 90;
  backend.height = 300;
  model.SetOrientation(1);
  EXPECT_EQ(backend.Take(), (Calls{Destroyed(), Created(kBaseStyle | 0x04, 90, 300),
                                   Sent(kSetRange32, 10, 200), Sent(kSetPos, 77, 0)}));
  EXPECT_EQ(model.Orientation(), 1);
}

TEST_F(ProgressBarModelTest, StyleSettersRebuildEvenWhenTheValueIsUnchanged) {
  model.Initialize();
  backend.Take();
  model.SetSmooth(false);
  model.SetMarquee(false);
  model.SetOrientation(0);
  Calls once{Destroyed(), Created(kBaseStyle, 200, 20), Sent(kSetRange32, 0, 100),
             Sent(kSetPos, 0, 0)};
  Calls thrice;
  for (int i = 0; i < 3; ++i) thrice.insert(thrice.end(), once.begin(), once.end());
  EXPECT_EQ(backend.Take(), thrice);
}

TEST_F(ProgressBarModelTest, StyleIsStoredAndAppliedEvenWithoutABar) {
  // Before Initialize there is no host either: creation fails, the style is kept for later.
  backend.FailNextCreate();
  model.SetSmooth(true);
  EXPECT_TRUE(model.Smooth());
  model.Initialize();
  EXPECT_EQ(backend.calls.back(), Sent(kSetPos, 0, 0));
  EXPECT_EQ(backend.calls[1], Created(kBaseStyle | 0x01, 200, 20));
}

struct StyleCase {
  int32_t orientation;
  bool smooth;
  bool marquee;
  uint32_t style;
};

class ProgressBarStyleTest : public ::testing::TestWithParam<StyleCase> {};

TEST_P(ProgressBarStyleTest, ComposesTheInnerStyle) {
  const StyleCase& c = GetParam();
  FakeBackend backend;
  ProgressBarModel model(backend);
  model.Initialize();
  model.SetOrientation(c.orientation);
  model.SetSmooth(c.smooth);
  model.SetMarquee(c.marquee);
  ASSERT_TRUE(model.HasInnerWindow());
  uint32_t lastStyle = 0;
  for (const Call& call : backend.calls)
    if (call.kind == Call::kCreate) lastStyle = call.a;
  EXPECT_EQ(lastStyle, c.style);
}

INSTANTIATE_TEST_SUITE_P(
    OrientationSmoothMarquee, ProgressBarStyleTest,
    ::testing::Values(StyleCase{0, false, false, 0x50000000}, StyleCase{1, false, false, 0x50000004},
                      StyleCase{2, false, false, 0x50000000},  // only 1 is vertical
                      StyleCase{-1, false, false, 0x50000000},
                      StyleCase{0, true, false, 0x50000001}, StyleCase{0, false, true, 0x50000008},
                      StyleCase{1, true, true, 0x5000000D}, StyleCase{2, true, true, 0x50000009}));

// --- marquee and velocity ---

TEST_F(ProgressBarModelTest, VelocityIsStoredButNotSentWithoutMarquee) {
  model.Initialize();
  backend.Take();
  model.SetVelocity(30);
  EXPECT_EQ(model.Velocity(), 30);
  EXPECT_TRUE(backend.calls.empty());
  EXPECT_TRUE(backend.sentWithoutBar.empty());
}

TEST_F(ProgressBarModelTest, MarqueeStartsWithStoredVelocityAfterRangeAndPosition) {
  model.Initialize();
  model.SetVelocity(30);
  model.SetValue(12);
  backend.Take();

  model.SetMarquee(true);
  EXPECT_EQ(backend.Take(), (Calls{Destroyed(), Created(kBaseStyle | 0x08, 200, 20),
                                   Sent(kSetRange32, 0, 100), Sent(kSetPos, 12, 0),
                                   Sent(kSetMarquee, 1, 30)}));
}

TEST_F(ProgressBarModelTest, MarqueeRestartsOnEveryRebuildAndStopsWhenTurnedOff) {
  model.Initialize();
  model.SetMarquee(true);
  backend.Take();

  model.SetVelocity(50);
  EXPECT_EQ(backend.Take(), (Calls{Sent(kSetMarquee, 1, 50)}));

  model.SetSmooth(true);
  EXPECT_EQ(backend.Take(), (Calls{Destroyed(), Created(kBaseStyle | 0x09, 200, 20),
                                   Sent(kSetRange32, 0, 100), Sent(kSetPos, 0, 0),
                                   Sent(kSetMarquee, 1, 50)}));

  model.SetMarquee(false);
  EXPECT_EQ(backend.Take(), (Calls{Destroyed(), Created(kBaseStyle | 0x01, 200, 20),
                                   Sent(kSetRange32, 0, 100), Sent(kSetPos, 0, 0)}));
  model.SetVelocity(70);
  EXPECT_TRUE(backend.calls.empty());
  EXPECT_EQ(model.Velocity(), 70);
}

TEST_F(ProgressBarModelTest, DefaultVelocityZeroIsPassedThrough) {
  model.Initialize();
  model.SetMarquee(true);
  EXPECT_EQ(backend.calls.back(), Sent(kSetMarquee, 1, 0));
}

// --- size and lifetime ---

TEST_F(ProgressBarModelTest, ResizeMovesTheBarToTheClientSize) {
  model.Initialize();
  backend.Take();
  backend.width = 640;
  backend.height = 33;
  model.Resize();
  EXPECT_EQ(backend.Take(), (Calls{Moved(640, 33)}));
}

TEST_F(ProgressBarModelTest, ResizeWithoutABarDoesNothing) {
  model.Resize();
  backend.FailNextCreate();
  model.Initialize();
  backend.Take();
  model.Resize();
  EXPECT_TRUE(backend.calls.empty());
}

TEST_F(ProgressBarModelTest, TerminateDestroysTheBarOnceAndLaterSetsAreDropped) {
  model.Initialize();
  model.SetValue(9);
  backend.Take();

  model.Terminate();
  model.Terminate();
  EXPECT_EQ(backend.Take(), (Calls{Destroyed()}));
  EXPECT_FALSE(model.HasInnerWindow());

  model.SetValue(10);
  model.SetMax(20);
  EXPECT_EQ(model.Value(), 9);
  EXPECT_EQ(model.Max(), 100);
  EXPECT_TRUE(backend.calls.empty());
}

TEST_F(ProgressBarModelTest, InitializeAgainResetsTheMaximumOnly) {
  model.Initialize();
  model.SetMin(3);
  model.SetMax(500);
  model.SetValue(44);
  model.Terminate();
  backend.Take();

  model.Initialize();
  EXPECT_EQ(model.Max(), 100);
  EXPECT_EQ(model.Min(), 3);
  EXPECT_EQ(backend.Take(), (Calls{Created(kBaseStyle, 200, 20), Sent(kSetRange32, 3, 100),
                                   Sent(kSetPos, 44, 0)}));
}

}  // namespace
}  // namespace morvane
