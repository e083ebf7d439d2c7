// The apply progress watch: WatchTick over recorded and real outputs of the image tool's apply.
#include "install/watch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace morvane {
namespace {

namespace fs = std::filesystem;
using Kind = TickResult::Kind;

const std::wstring kCreating = L"正在创建文件";
const std::wstring kExtracting = L"正在提取文件";
const std::wstring kApplying = L"正在应用文件";

// Reports in the form the tool writes them on Windows: each begins with a carriage return, so
// the reports of a stage overwrite each other in a console.
std::string Report(const std::string& marker, int done, int total) {
  return "\r" + marker + " " + std::to_string(done) + " of " + std::to_string(total) + " (" +
         std::to_string(done * 100 / total) + "%) done";
}
std::string Creating(int done, int total) { return Report("Creating files:", done, total); }
std::string Extracting(int done, int total) { return Report("Extracting file data:", done, total); }
std::string Metadata(int done, int total) { return Report("Applying metadata to files:", done, total); }
const std::string kHeader = "Applying image 1 (\"Windows 10 Pro\") from \"D:\\sources\\install.wim\" to NTFS volume \"C:\\\"\r\n";
const std::string kDone = "Done applying WIM image.\r\n";

// A whole apply with three reports per stage, one piece of output per report; a stage's last report
// ends the line.
std::vector<std::string> WindowsTranscript() {
  std::vector<std::string> pieces{kHeader};
  for (const auto stage : {Creating, Extracting, Metadata}) {
    for (int i = 0; i <= 2; ++i) pieces.push_back(stage(i, 2));
    pieces.back() += "\r\n";
  }
  pieces.push_back(kDone);
  return pieces;
}

// What one tick showed: kind, status text, timer interval (-1: not touched) and bar (-1: left alone).
struct Shown {
  Kind kind;
  std::wstring status;
  int interval;
  int bar;

  bool operator==(const Shown& o) const {
    return kind == o.kind && status == o.status && interval == o.interval && bar == o.bar;
  }
};

void PrintTo(const Shown& s, std::ostream* os) {
  static const char* const kinds[] = {"Stage", "Complete", "Failed", "Reread"};
  *os << "{" << kinds[static_cast<int>(s.kind)] << ", "
      << (s.status == kCreating ? "creating" : s.status == kExtracting ? "extracting" : s.status == kApplying ? "applying" : "-")
      << ", interval " << s.interval << ", bar " << s.bar << "}";
}

Shown Stage(const std::wstring& status, int interval, int bar) { return {Kind::Stage, status, interval, bar}; }
// The tick that sees a stage finished shows 100 and asks for the short interval, so the next
// stage's text follows without waiting a whole extraction interval.
Shown Finished(const std::wstring& status) { return {Kind::Stage, status, kFinishedStageInterval, 100}; }
Shown Complete() { return {Kind::Complete, L"", -1, -1}; }
Shown Failed() { return {Kind::Failed, L"", -1, -1}; }

// The output file's bytes as the window reads them: its code page maps ASCII to itself, and the
// markers are ASCII; every other byte stands for one character of its own.
Shown TickOn(StageCounters& counters, const std::string& output, bool toolEnded = false) {
  const TickResult r = WatchTick(counters, std::wstring(output.begin(), output.end()), toolEnded);
  return {r.kind, r.status, r.interval.value_or(-1), r.bar ? *r.bar : -1};
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

TEST(WatchTick, WindowsRunReportByReport) {
  StageCounters counters;
  // The bar lags one report behind the tool: a report is read once the next one has begun.
  EXPECT_THAT(Play(WindowsTranscript(), counters),
              ::testing::ElementsAre(Stage(kCreating, -1, -1),     // header only
                                     Stage(kCreating, -1, -1),     // one report
                                     Stage(kCreating, -1, 0),      // 0% read
                                     Stage(kCreating, -1, 50),     // 50% read
                                     Finished(kCreating),          // extraction began
                                     Stage(kExtracting, 1000, 0),  // its second report
                                     Stage(kExtracting, 1000, 50), Finished(kExtracting),  // metadata began
                                     Stage(kApplying, 100, 0), Stage(kApplying, 100, 50),
                                     Finished(kApplying),  // done line
                                     Complete()));
}

// The same output ticked again and again, from given counters.
struct TickCase {
  const char* name;
  StageCounters before;
  std::string output;
  bool toolEnded;
  std::vector<Shown> ticks;
  StageCounters after;
};

TEST(WatchTick, Outputs) {
  const std::string twoReports = kHeader + Creating(1, 10) + Creating(2, 10);
  std::string withoutDone;
  for (const std::string& piece : WindowsTranscript()) withoutDone += piece == kDone ? "" : piece;
  const TickCase cases[] = {
      {"empty output", {12, 0, 0}, "", false, {Stage(kCreating, -1, -1)}, {12, 0, 0}},
      {"one report of the stage", {}, kHeader + Creating(5, 10), false, {Stage(kCreating, -1, -1)}, {}},
      {"the report between the last two markers, not the one being written", {},
       twoReports + "\rCreating files: 3 of 10 (3", false, {Stage(kCreating, -1, 20)}, {20, 0, 0}},
      {"a percentage out of range is ignored", {37, 0, 0}, "\rCreating files: 3 of 10 (101%) done\rCreating files: ",
       false, {Stage(kCreating, -1, -1)}, {37, 0, 0}},
      {"a later stage's marker finishes the stage before its reports are read", {},
       kHeader + Creating(5, 10) + Creating(10, 10) + Extracting(0, 9), false,
       {Finished(kCreating), Stage(kExtracting, 1000, -1)}, {100, 0, 0}},
      {"skipped stages are finished by any later stage's marker", {}, kHeader + Metadata(1, 10), false,
       {Finished(kCreating), Finished(kExtracting), Stage(kApplying, 100, -1)}, {100, 100, 0}},
      {"the done line finishes a stage whose marker occurs once", {100, 100, 0}, Metadata(1, 1) + "\r\n" + kDone, false,
       {Finished(kApplying), Complete()}, {100, 100, 100}},
      {"without the done line the last stage runs on", {100, 100, 0}, withoutDone, false,
       {Stage(kApplying, 100, 50), Stage(kApplying, 100, 50)}, {100, 100, 50}},
      {"markers in another letter case are not markers", {},
       "\rcreating files: 1 of 4 (25%) done\rcreating files: 2 of 4 (50%) done\rcreating files: 3", false,
       {Stage(kCreating, -1, -1)}, {}},
      {"later markers in another letter case do not finish the stage", {},
       Creating(1, 4) + Creating(2, 4) + Creating(3, 4) + "\rEXTRACTING FILE DATA: \rApplying Metadata To Files:",
       false, {Stage(kCreating, -1, 50)}, {50, 0, 0}},
      {"a done line in another letter case does not finish the stage", {100, 100, 0},
       Metadata(1, 4) + Metadata(2, 4) + "\rdone applying wim image.", false, {Stage(kApplying, 100, 25)},
       {100, 100, 25}},
      {"99 is no finished stage", {100, 100, 99}, kHeader, false, {Stage(kApplying, 100, -1)}, {100, 100, 99}},
      {"a counter above 100 is a finished stage", {120, 0, 0}, "", false, {Stage(kExtracting, 1000, -1)}, {120, 0, 0}},
      {"finished counters complete whatever the output says", {100, 150, 32767}, twoReports, true, {Complete()},
       {100, 150, 32767}},
      {"a tool that ends without the done line fails, keeping the percentage", {10, 0, 0}, twoReports, true,
       {Failed()}, {10, 0, 0}},
      {"a tool that ends having written nothing fails", {100, 0, 0}, "", true, {Failed()}, {100, 0, 0}},
      {"a tool that ended with its done line: the remaining ticks finish the run", {}, twoReports + kDone, true,
       {Finished(kCreating), Finished(kExtracting), Finished(kApplying), Complete()}, {100, 100, 100}},
  };
  for (const TickCase& c : cases) {
    SCOPED_TRACE(c.name);
    StageCounters counters = c.before;
    std::vector<Shown> shown;
    for (size_t i = 0; i < c.ticks.size(); ++i) shown.push_back(TickOn(counters, c.output, c.toolEnded));
    EXPECT_EQ(shown, c.ticks);
    EXPECT_EQ(counters.creating, c.after.creating);
    EXPECT_EQ(counters.extracting, c.after.extracting);
    EXPECT_EQ(counters.metadata, c.after.metadata);
  }
}

// An output that cannot be read after the tool's end is read again on the next ticks, soon, before
// the run fails (a passing sharing violation is no failed installation); a read that succeeds
// starts the count again.
TEST(WatchTick, AnUnreadableOutputIsReadAgainBeforeTheRunFails) {
  const auto unread = [](StageCounters& counters, bool toolEnded) {
    const TickResult r = WatchTick(counters, L"", toolEnded, false);
    return Shown{r.kind, r.status, r.interval.value_or(-1), r.bar ? *r.bar : -1};
  };
  const Shown reread{Kind::Reread, L"", kFinishedStageInterval, -1};
  StageCounters counters;
  for (int i = 0; i < kUnreadOutputRetries; ++i) EXPECT_EQ(unread(counters, true), reread);
  EXPECT_EQ(unread(counters, true), Failed());
  counters = StageCounters{};
  EXPECT_EQ(unread(counters, true), reread);
  EXPECT_EQ(TickOn(counters, kHeader), Stage(kCreating, -1, -1));
  EXPECT_EQ(counters.unread, 0);
  EXPECT_EQ(unread(counters, false), Stage(kCreating, -1, -1)) << "the tool still runs";
}

TEST(ReportPercent, OnlyAWholeNumberFrom0To100BetweenTheFirstParenAndPercent) {
  const std::pair<const wchar_t*, std::optional<int16_t>> cases[] = {
      {L" 1 of 3 (33%) done\r", 33}, {L"(0%)", 0}, {L"(100%)", 100}, {L"(007%)", 7}, {L"(9%) then (50%)", 9},
      {L"(101%)", std::nullopt},     {L"(1000%)", std::nullopt},  {L"(65536%)", std::nullopt},
      {L"(%)", std::nullopt},        {L"(x%)", std::nullopt},     {L"(-1%)", std::nullopt},
      {L"(+1%)", std::nullopt},      {L"(1.5%)", std::nullopt},   {L"( 5%)", std::nullopt},
      {L"(5 %)", std::nullopt},      {L"(\uFF15%)", std::nullopt},  // a full-width digit
      {L"5%)", std::nullopt},        {L"(5%", std::nullopt},      {L"(5) %)", std::nullopt},
  };
  for (const auto& [report, percent] : cases) {
    SCOPED_TRACE(std::string(report, report + std::char_traits<wchar_t>::length(report)));
    EXPECT_EQ(ReportPercent(report), percent);
  }
}

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
    const std::string wim = (dir / "image.wim").string();
    const std::string out = (dir / "apply.xml").string();
    const std::string capture = std::string(kTool) + " capture '" + (dir / "src").string() + "' '" + wim + "' 'Test' >/dev/null 2>&1";
    // Only standard output is captured, as the apply batch file does.
    const std::string apply = std::string(kTool) + " apply '" + wim + "' 1 '" + (dir / "target").string() + "' >'" + out + "' 2>/dev/null";
    if (std::system(capture.c_str()) == 0 && std::system(apply.c_str()) == 0) {
      std::ifstream in(out, std::ios::binary);
      output_ = std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }

  void SetUp() override {
    if (access(kTool, X_OK) != 0) GTEST_SKIP() << kTool << " is not installed";
    ASSERT_NE(output_.find("Done applying WIM image."), std::string::npos) << "the tool's capture or apply failed";
  }

  static inline std::string output_;
};

TEST_F(RealApplyOutput, WatchShowsTheExtractionAndCompletesOverGrowingOutput) {
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
  int extractingPercents = 0;
  int lastBar = -1;
  for (size_t i = 0; i + 1 < shown.size(); ++i) {
    ASSERT_EQ(shown[i].kind, Kind::Stage);
    if (shown[i].status == kExtracting && shown[i].bar >= 0 && shown[i].bar < 100) {
      ++extractingPercents;
      EXPECT_GE(shown[i].bar, lastBar) << "the bar of a stage only moves forward";
      lastBar = shown[i].bar;
    }
  }
  EXPECT_GE(extractingPercents, 2) << "the extraction's own percentages were shown";
}

}  // namespace
}  // namespace morvane
