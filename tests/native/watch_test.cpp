// The apply progress watch: WatchTick over recorded and real outputs of the image tool's apply.
#include "install/watch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace morvane {
namespace {

namespace fs = std::filesystem;
using Kind = TickResult::Kind;

const std::wstring kCreating = L"正在创建文件";
const std::wstring kExtracting = L"正在提取文件";
const std::wstring kApplying = L"正在应用文件";

// The output file's bytes as the window reads them: its code page maps ASCII to itself, and the
// markers are ASCII; every other byte stands for one character of its own.
std::wstring Widen(const std::string& bytes) {
  std::wstring text;
  for (unsigned char ch : bytes) text += static_cast<wchar_t>(ch);
  return text;
}

// Reports in the form the tool writes them on Windows: each begins with a carriage return, so
// the reports of a stage overwrite each other in a console; a stage's last report ends the line.
std::string CreatingReport(int done, int total) {
  return "\rCreating files: " + std::to_string(done) + " of " + std::to_string(total) + " (" +
         std::to_string(done * 100 / total) + "%) done";
}
std::string ExtractingReport(int mib, int total) {
  return "\rExtracting file data: " + std::to_string(mib) + " MiB of " + std::to_string(total) + " MiB (" +
         std::to_string(mib * 100 / total) + "%) done";
}
std::string MetadataReport(int done, int total) {
  return "\rApplying metadata to files: " + std::to_string(done) + " of " + std::to_string(total) + " (" +
         std::to_string(done * 100 / total) + "%) done";
}
const std::string kHeader =
    "Applying image 1 (\"Windows 10 Pro\") from \"D:\\sources\\install.wim\" to NTFS volume \"C:\\\"\r\n";
const std::string kDone = "Done applying WIM image.\r\n";

// A whole apply, one piece of output per report, in the order the tool writes them.
std::vector<std::string> WindowsTranscript(int steps) {
  std::vector<std::string> pieces{kHeader};
  for (int i = 0; i <= steps; ++i) pieces.push_back(CreatingReport(i * 40, steps * 40));
  pieces.back() += "\r\n";
  for (int i = 0; i <= steps; ++i) pieces.push_back(ExtractingReport(i * 300, steps * 300));
  pieces.back() += "\r\n";
  for (int i = 0; i <= steps; ++i) pieces.push_back(MetadataReport(i * 40, steps * 40));
  pieces.back() += "\r\n";
  pieces.push_back(kDone);
  return pieces;
}

// What one tick showed: kind, status text, timer interval and bar (-1: left alone).
struct Shown {
  Kind kind;
  std::wstring status;
  int interval;  // -1: not touched
  int bar;       // -1: left alone

  bool operator==(const Shown& o) const {
    return kind == o.kind && status == o.status && interval == o.interval && bar == o.bar;
  }
};

void PrintTo(const Shown& s, std::ostream* os) {
  static const char* const kinds[] = {"Stage", "Complete", "Failed", "Reread"};
  *os << "{" << kinds[static_cast<int>(s.kind)] << ", "
      << (s.status == kCreating     ? "creating"
          : s.status == kExtracting ? "extracting"
          : s.status == kApplying   ? "applying"
          : s.status.empty()        ? "\"\""
                                    : "?")
      << ", interval " << s.interval << ", bar " << s.bar << "}";
}

Shown Show(const TickResult& r) {
  return {r.kind, r.status, r.interval.value_or(-1), r.bar ? *r.bar : -1};
}
Shown Stage(const std::wstring& status, int interval, int bar) { return {Kind::Stage, status, interval, bar}; }
// The tick that sees a stage finished shows 100 and asks for the short interval, so the next
// stage's text follows without waiting a whole extraction interval.
Shown Finished(const std::wstring& status) { return {Kind::Stage, status, kFinishedStageInterval, 100}; }
Shown Complete() { return {Kind::Complete, L"", -1, -1}; }
Shown Failed() { return {Kind::Failed, L"", -1, -1}; }

Shown TickOn(StageCounters& counters, const std::string& output, bool toolEnded = false) {
  return Show(WatchTick(counters, Widen(output), toolEnded));
}

// Plays an output the way the window meets it: one tick per growth of the file, then, once the
// tool has ended, the ticks that finish the run (at most one per stage and the completion).
std::vector<Shown> Play(const std::vector<std::string>& growth, StageCounters& counters) {
  std::vector<Shown> shown;
  std::string output;
  for (const std::string& more : growth) {
    output += more;
    shown.push_back(TickOn(counters, output));
    if (shown.back().kind != Kind::Stage) return shown;
  }
  for (int i = 0; i < 4; ++i) {
    shown.push_back(TickOn(counters, output, true));
    if (shown.back().kind != Kind::Stage) break;
  }
  return shown;
}

// ---------------------------------------------------------------------------------------------

TEST(WatchTick, ShortWindowsRunReportByReport) {
  StageCounters counters;
  const std::vector<Shown> shown = Play(WindowsTranscript(2), counters);
  // The bar lags one report behind the tool: a report is read once the next one has begun.
  EXPECT_THAT(shown, ::testing::ElementsAre(Stage(kCreating, -1, -1),      // header only
                                            Stage(kCreating, -1, -1),      // one report
                                            Stage(kCreating, -1, 0),       // 0% read
                                            Stage(kCreating, -1, 50),      // 50% read
                                            Finished(kCreating),           // extraction began
                                            Stage(kExtracting, 1000, 0),   // its second report
                                            Stage(kExtracting, 1000, 50),
                                            Finished(kExtracting),         // metadata began
                                            Stage(kApplying, 100, 0),
                                            Stage(kApplying, 100, 50),
                                            Finished(kApplying),           // done line
                                            Complete()));
  EXPECT_EQ(counters.creating, 100);
  EXPECT_EQ(counters.extracting, 100);
  EXPECT_EQ(counters.metadata, 100);
}

// A long run, with the file growing by half reports too, as a tick can meet a report that the
// tool is still writing.
TEST(WatchTick, LongWindowsRunNeverGoesBack) {
  std::vector<std::string> growth;
  for (const std::string& piece : WindowsTranscript(50)) {
    growth.push_back(piece.substr(0, piece.size() / 2));
    growth.push_back(piece.substr(piece.size() / 2));
  }
  StageCounters counters;
  const std::vector<Shown> shown = Play(growth, counters);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back(), Complete());

  const std::wstring order[] = {kCreating, kExtracting, kApplying};
  const int intervals[] = {-1, 1000, 100};
  int stage = 0;
  int lastBar = -1;
  int hundreds = 0;
  for (size_t i = 0; i + 1 < shown.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(shown[i].kind, Kind::Stage);
    if (shown[i].status != order[stage]) {
      ASSERT_LT(stage, 2);
      EXPECT_EQ(lastBar, 100) << "a stage is left only after its bar showed 100";
      ++stage;
      lastBar = -1;
      ASSERT_EQ(shown[i].status, order[stage]);
    }
    EXPECT_EQ(shown[i].interval, shown[i].bar == 100 ? kFinishedStageInterval : intervals[stage]);
    if (shown[i].bar >= 0) {
      EXPECT_GE(shown[i].bar, lastBar) << "the bar of a stage only moves forward";
      EXPECT_TRUE(shown[i].bar == 100 || shown[i].bar % 2 == 0) << "only percentages the tool reported";
      lastBar = shown[i].bar;
      if (lastBar == 100) ++hundreds;
    }
  }
  EXPECT_EQ(stage, 2);
  EXPECT_EQ(lastBar, 100);
  EXPECT_EQ(hundreds, 3);
}

TEST(WatchTick, CompletesOnlyAfterTheDoneLine) {
  const std::vector<std::string> pieces = WindowsTranscript(3);
  std::string withoutDone;
  for (size_t i = 0; i + 1 < pieces.size(); ++i) withoutDone += pieces[i];
  StageCounters counters;
  for (int i = 0; i < 20; ++i) EXPECT_EQ(TickOn(counters, withoutDone).kind, Kind::Stage);
  EXPECT_EQ(counters.metadata, 66);
  EXPECT_EQ(TickOn(counters, withoutDone + kDone), Finished(kApplying));
  EXPECT_EQ(TickOn(counters, withoutDone + kDone), Complete());
}

TEST(WatchTick, ThreeCreatingMarkersReadTheSecondReport) {
  StageCounters counters;
  const std::string output = kHeader + "\rCreating files: 1 of 10 (10%) done\rCreating files: 2 of 10 (20%) done"
                                       "\rCreating files: 3 of 10 (3";
  EXPECT_EQ(TickOn(counters, output), Stage(kCreating, -1, 20));
  EXPECT_EQ(counters.creating, 20);
  // A finished report after the last marker is not read either.
  EXPECT_EQ(TickOn(counters, output + "0%) done"), Stage(kCreating, -1, 20));
}

TEST(WatchTick, EmptyOutputChangesNothing) {
  StageCounters counters;
  counters.creating = 12;
  EXPECT_EQ(TickOn(counters, ""), Stage(kCreating, -1, -1));
  EXPECT_EQ(counters.creating, 12);
  EXPECT_EQ(TickOn(counters, "\r\n"), Stage(kCreating, -1, -1));  // as the launch leaves the file
}

TEST(WatchTick, OneMarkerOfTheStageChangesNothing) {
  StageCounters counters;
  EXPECT_EQ(TickOn(counters, kHeader + CreatingReport(5, 10)), Stage(kCreating, -1, -1));
  EXPECT_EQ(counters.creating, 0);
}

TEST(WatchTick, LaterMarkerFinishesTheStageBeforeAnythingIsRead) {
  {
    // Two creating reports and the first extracting one.
    StageCounters counters;
    const std::string output = kHeader + CreatingReport(5, 10) + CreatingReport(10, 10) + ExtractingReport(0, 9);
    EXPECT_EQ(TickOn(counters, output), Finished(kCreating));
    EXPECT_EQ(counters.creating, 100);
    EXPECT_EQ(TickOn(counters, output), Stage(kExtracting, 1000, -1));
    EXPECT_EQ(counters.extracting, 0);
  }
  {
    // The tool skips the creating stage for a small image: a lone later marker is enough.
    StageCounters counters;
    EXPECT_EQ(TickOn(counters, kHeader + ExtractingReport(0, 9)), Finished(kCreating));
  }
  {
    // A skipped stage is finished by any later stage's marker, not just the next one's.
    StageCounters counters;
    const std::string output = kHeader + MetadataReport(1, 10);
    EXPECT_EQ(TickOn(counters, output), Finished(kCreating));
    EXPECT_EQ(TickOn(counters, output), Finished(kExtracting));
    EXPECT_EQ(TickOn(counters, output), Stage(kApplying, 100, -1));
  }
  {
    // The done line finishes every stage, also one whose marker occurs only once.
    StageCounters counters;
    counters.creating = counters.extracting = 100;
    EXPECT_EQ(TickOn(counters, kHeader + MetadataReport(1, 1) + "\r\n" + kDone), Finished(kApplying));
    EXPECT_EQ(counters.metadata, 100);
  }
}

TEST(WatchTick, MarkersInOtherLetterCaseAreNotMarkers) {
  StageCounters counters;
  const std::string lower =
      "\rcreating files: 1 of 4 (25%) done\rcreating files: 2 of 4 (50%) done\rcreating files: 3 of 4 (75%) done";
  EXPECT_EQ(TickOn(counters, lower), Stage(kCreating, -1, -1));
  const std::string output = CreatingReport(1, 4) + CreatingReport(2, 4) + CreatingReport(3, 4) +
                             "\rEXTRACTING FILE DATA: 0 MiB\rApplying Metadata To Files:\rdone applying wim image.";
  EXPECT_EQ(TickOn(counters, output), Stage(kCreating, -1, 50)) << "no later marker: the stage goes on";
  counters = StageCounters{100, 100, 0};
  EXPECT_EQ(TickOn(counters, MetadataReport(1, 4) + MetadataReport(2, 4) + "\rDONE APPLYING WIM IMAGE."),
            Stage(kApplying, 100, 25));
}

TEST(WatchTick, UnreadablePercentageLeavesCounterAndBar) {
  const char* const reports[] = {
      "Creating files: 3 of 10 done", "Creating files: 3 of 10 (%) done", "Creating files: 3 of 10 (abc%) done",
      "Creating files: 3 of 10 (101%) done", "Creating files: 3 of 10 (1000%) done",
      "Creating files: 3 of 10 (-5%) done", "Creating files: 3 of 10 ( 30%) done",
      "Creating files: 3 of 10 (30 %) done", "Creating files: 3 of 10 (99999999999999999999%) done",
      "Creating files: 3 of 10 (30) done",
  };
  for (const char* report : reports) {
    SCOPED_TRACE(report);
    StageCounters counters;
    counters.creating = 37;
    EXPECT_EQ(TickOn(counters, std::string("\r") + report + "\rCreating files: "), Stage(kCreating, -1, -1));
    EXPECT_EQ(counters.creating, 37);
  }
}

TEST(WatchTick, CountersAtOrAboveHundredComplete) {
  const StageCounters finished[] = {{100, 100, 100}, {100, 150, 32767}};
  for (StageCounters counters : finished) {
    // The output is not looked at any more, whatever it holds, and the tool's end does not matter.
    EXPECT_EQ(TickOn(counters, ""), Complete());
    EXPECT_EQ(TickOn(counters, CreatingReport(1, 2) + CreatingReport(2, 2), true), Complete());
  }
  StageCounters counters{100, 100, 99};
  EXPECT_EQ(TickOn(counters, kHeader).kind, Kind::Stage);
}

TEST(WatchTick, CountersAboveHundredCountAsFinishedStages) {
  StageCounters counters{120, 0, 0};
  EXPECT_EQ(TickOn(counters, "").status, kExtracting);
  counters = StageCounters{100, 101, 0};
  EXPECT_EQ(TickOn(counters, "").status, kApplying);
}

TEST(WatchTick, ToolThatEndsWithoutTheDoneLineFails) {
  StageCounters counters;
  std::string output = kHeader + CreatingReport(1, 10) + CreatingReport(2, 10);
  EXPECT_EQ(TickOn(counters, output), Stage(kCreating, -1, 10));
  EXPECT_EQ(TickOn(counters, output, true), Failed());
  EXPECT_EQ(counters.creating, 10) << "a failed run keeps the last percentage";

  counters = StageCounters{100, 0, 0};
  output += "\r\n" + ExtractingReport(1, 10) + ExtractingReport(2, 10) + "\r\nERROR: disk full\r\n";
  EXPECT_EQ(TickOn(counters, output, true), Failed());
  EXPECT_EQ(TickOn(counters, "", true), Failed()) << "a tool that never wrote anything";

  // An output that cannot be read after the end is read again on the next ticks, soon, before the
  // run fails; a read that succeeds starts the count again.
  const Shown reread{Kind::Reread, L"", kFinishedStageInterval, -1};
  counters = StageCounters{};
  for (int i = 0; i < kUnreadOutputRetries; ++i) EXPECT_EQ(Show(WatchTick(counters, L"", true, false)), reread);
  EXPECT_EQ(Show(WatchTick(counters, L"", true, false)), Failed());
  counters = StageCounters{};
  EXPECT_EQ(Show(WatchTick(counters, L"", true, false)), reread);
  EXPECT_EQ(TickOn(counters, kHeader, false), Stage(kCreating, -1, -1));
  EXPECT_EQ(counters.unread, 0);
  EXPECT_EQ(Show(WatchTick(counters, L"", false, false)), Stage(kCreating, -1, -1)) << "the tool still runs";

  // Ended with the done line: the remaining ticks finish the run.
  counters = StageCounters{};
  std::vector<Shown> shown;
  for (int i = 0; i < 4; ++i) shown.push_back(TickOn(counters, output + kDone, true));
  EXPECT_THAT(shown, ::testing::ElementsAre(Finished(kCreating), Finished(kExtracting),
                                            Finished(kApplying), Complete()));
}

struct PercentCase {
  const wchar_t* report;
  std::optional<int16_t> percent;
};

void PrintTo(const PercentCase& c, std::ostream* os) {
  *os << '"' << std::string(c.report, c.report + std::wcslen(c.report)) << '"';
}

class ReportPercentTest : public ::testing::TestWithParam<PercentCase> {};

TEST_P(ReportPercentTest, ReadsTheWholePercentage) {
  EXPECT_EQ(ReportPercent(GetParam().report), GetParam().percent);
}

INSTANTIATE_TEST_SUITE_P(
    Reports, ReportPercentTest,
    ::testing::Values(PercentCase{L" 1 of 3 (33%) done\r", 33}, PercentCase{L"(0%)", 0}, PercentCase{L"(100%)", 100},
                      PercentCase{L"(007%)", 7}, PercentCase{L"(9%) then (50%)", 9},
                      PercentCase{L"(101%)", std::nullopt}, PercentCase{L"(1000%)", std::nullopt},
                      PercentCase{L"(65536%)", std::nullopt}, PercentCase{L"(32767%)", std::nullopt},
                      PercentCase{L"(%)", std::nullopt}, PercentCase{L"(x%)", std::nullopt},
                      PercentCase{L"(-1%)", std::nullopt}, PercentCase{L"(+1%)", std::nullopt},
                      PercentCase{L"(1.5%)", std::nullopt}, PercentCase{L"( 5%)", std::nullopt},
                      PercentCase{L"(5 %)", std::nullopt}, PercentCase{L"(\uFF15%)", std::nullopt},
                      PercentCase{L"5%)", std::nullopt}, PercentCase{L"(5%", std::nullopt},
                      PercentCase{L"(5) %)", std::nullopt}, PercentCase{L"", std::nullopt}));

// ---------------------------------------------------------------------------------------------
// The Linux build of the tool, applying a small image for real.

constexpr const char* kTool = "/usr/bin/wimlib-imagex";

class RealApplyOutput : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (access(kTool, X_OK) != 0) return;
    char pattern[] = "/tmp/morvane-apply-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    const fs::path dir = pattern;
    fs::create_directories(dir / "src" / "Windows");
    fs::create_directories(dir / "target");
    // Enough file data for several reports: the tool reports every 32 KiB or so.
    std::string data;
    uint32_t seed = 7;
    for (int i = 0; i < 256 * 1024; ++i) {
      seed = seed * 1103515245u + 12345u;
      data += static_cast<char>(seed >> 24);
    }
    std::ofstream(dir / "src" / "Windows" / "data.bin", std::ios::binary) << data;
    std::ofstream(dir / "src" / "readme.txt") << "text\n";
    const std::string wim = (dir / "image.wim").string();
    const std::string out = (dir / "apply.xml").string();
    const std::string capture = std::string(kTool) + " capture '" + (dir / "src").string() + "' '" + wim +
                                "' 'Test' >/dev/null 2>&1";
    // Only standard output is captured, as the apply batch file does.
    const std::string apply = std::string(kTool) + " apply '" + wim + "' 1 '" + (dir / "target").string() +
                              "' >'" + out + "' 2>/dev/null";
    if (std::system(capture.c_str()) == 0 && std::system(apply.c_str()) == 0) {
      std::ifstream in(out, std::ios::binary);
      output_ = std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }

  void SetUp() override {
    if (access(kTool, X_OK) != 0) GTEST_SKIP() << kTool << " is not installed";
    ASSERT_FALSE(output_.empty()) << "the tool's capture or apply failed";
  }

  static inline std::string output_;
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(RealApplyOutput, HoldsExtractingReportsAndTheDoneLine) {
  EXPECT_GE(Count(output_, "Extracting file data:"), 3u);
  EXPECT_EQ(Count(output_, "Done applying WIM image."), 1u);
}

TEST_F(RealApplyOutput, WatchCompletesOverGrowingOutput) {
  // The file as ticks meet it: cut behind every carriage return or line feed, and in between.
  std::vector<std::string> growth;
  size_t from = 0;
  for (size_t i = 0; i < output_.size(); ++i) {
    if (output_[i] == '\r' || output_[i] == '\n') {
      const size_t mid = from + (i + 1 - from) / 2;
      growth.push_back(output_.substr(from, mid - from));
      growth.push_back(output_.substr(mid, i + 1 - mid));
      from = i + 1;
    }
  }
  growth.push_back(output_.substr(from));

  StageCounters counters;
  const std::vector<Shown> shown = Play(growth, counters);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back(), Complete());
  bool sawExtractingPercent = false;
  int lastBar = -1;
  for (size_t i = 0; i + 1 < shown.size(); ++i) {
    ASSERT_EQ(shown[i].kind, Kind::Stage);
    if (shown[i].status == kExtracting && shown[i].bar >= 0 && shown[i].bar < 100) {
      sawExtractingPercent = true;
      EXPECT_GE(shown[i].bar, lastBar);
      lastBar = shown[i].bar;
    }
  }
  EXPECT_TRUE(sawExtractingPercent) << "the extraction's own percentages were shown";
  EXPECT_EQ(counters.extracting, 100);
}

TEST_F(RealApplyOutput, WholeOutputFinishesInFourTicks) {
  StageCounters counters;
  std::vector<Shown> shown;
  for (int i = 0; i < 4; ++i) shown.push_back(TickOn(counters, output_, true));
  EXPECT_THAT(shown, ::testing::ElementsAre(Finished(kCreating), Finished(kExtracting),
                                            Finished(kApplying), Complete()));
}

}  // namespace
}  // namespace morvane
