// The apply progress watch: WatchTick over recorded outputs of the image tool's apply.
#include "install/watch.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace morvane {
namespace {

using Kind = TickResult::Kind;
// What one tick showed: kind, status text, timer interval (-1: not touched) and bar (-1: left alone).
using Shown = std::tuple<Kind, std::wstring, int, int>;

// Reports in the form the tool writes them on Windows: each begins with a carriage return, so
// the reports of a stage overwrite each other in a console.
std::wstring Report(const std::wstring& marker, int done, int total) {
  return L"\r" + marker + L" " + std::to_wstring(done) + L" of " + std::to_wstring(total) + L" (" +
         std::to_wstring(done * 100 / total) + L"%) done";
}
std::wstring Creating(int done, int total) { return Report(L"Creating files:", done, total); }
std::wstring Extracting(int done, int total) { return Report(L"Extracting file data:", done, total); }
std::wstring Metadata(int done, int total) { return Report(L"Applying metadata to files:", done, total); }
const std::wstring kHeader = L"Applying image 1 (\"Pro\") from \"D:\\a.wim\" to NTFS volume \"C:\\\"\r\n";
const std::wstring kDone = L"Done applying WIM image.\r\n";

// The stages' texts and the timer intervals they ask for (the first leaves the timer alone). The
// tick that sees a stage finished shows 100 and asks for the short interval, so the next stage's
// text follows without waiting a whole extraction interval.
const wchar_t* const kStatus[] = {L"正在创建文件", L"正在提取文件", L"正在应用文件"};
const int kInterval[] = {-1, 1000, 100};
Shown In(int stage, int bar = -1) { return {Kind::Stage, kStatus[stage], kInterval[stage], bar}; }
Shown Finished(int stage) { return {Kind::Stage, kStatus[stage], kFinishedStageInterval, 100}; }
const Shown kComplete{Kind::Complete, L"", -1, -1}, kFailed{Kind::Failed, L"", -1, -1};

Shown TickOn(StageCounters& counters, const std::wstring& output, bool toolEnded, bool read = true) {
  const TickResult r = WatchTick(counters, output, toolEnded, read);
  return {r.kind, r.status, r.interval.value_or(-1), r.bar ? *r.bar : -1};
}

// A row: its name, the counters before, the output's growth (one piece per tick; the last one stays),
// whether the tool has ended, what each tick shows and the counters after.
using Texts = std::vector<std::wstring>;
using Row = std::tuple<std::string, StageCounters, Texts, bool, std::vector<Shown>, StageCounters>;

TEST(WatchTick, Outputs) {
  // A whole apply, three reports per stage, one piece of output per report; a stage's last report
  // ends the line. The bar lags one report behind the tool: a report is read once the next has begun.
  Texts windows{kHeader};
  for (const auto stage : {Creating, Extracting, Metadata}) {
    for (int i = 0; i <= 2; ++i) windows.push_back(stage(i, 2));
    windows.back() += L"\r\n";
  }
  std::wstring withoutDone;
  for (const std::wstring& piece : windows) withoutDone += piece;
  windows.push_back(kDone);
  const std::wstring twoReports = kHeader + Creating(1, 10) + Creating(2, 10);
  std::vector<Row> rows = {
      {"a Windows run, report by report", {}, windows, false,
       {In(0), In(0), In(0, 0), In(0, 50), Finished(0), In(1, 0), In(1, 50), Finished(1), In(2, 0), In(2, 50),
        Finished(2), kComplete},
       {100, 100, 100}},
      {"one report of the stage", {}, {kHeader + Creating(5, 10)}, false, {In(0)}, {}},
      {"the report between the last two markers, not the one being written", {},
       {twoReports + L"\rCreating files: 3 of 10 (3"}, false, {In(0, 20)}, {20, 0, 0}},
      {"a later stage's marker finishes the stage before its reports are read", {},
       {kHeader + Creating(5, 10) + Creating(10, 10) + Extracting(0, 9)}, false, {Finished(0), In(1)}, {100}},
      {"skipped stages are finished by any later stage's marker", {}, {kHeader + Metadata(1, 10)}, false,
       {Finished(0), Finished(1), In(2)}, {100, 100, 0}},
      {"the done line finishes a stage whose marker occurs once", {100, 100, 0},
       {Metadata(1, 1) + L"\r\n" + kDone}, false, {Finished(2), kComplete}, {100, 100, 100}},
      {"no done line: the last stage runs on", {100, 100}, {withoutDone}, false, {In(2, 50), In(2, 50)},
       {100, 100, 50}},
      {"markers in another letter case are not markers", {},
       {L"\rcreating files: 1 of 4 (25%) done\rcreating files: 2 of 4 (50%) done\rcreating files: 3"}, false,
       {In(0)}, {}},
      {"later markers in another letter case do not finish the stage", {},
       {Creating(1, 4) + Creating(2, 4) + L"\rEXTRACTING FILE DATA: \rApplying Metadata To Files:"}, false,
       {In(0, 25)}, {25}},
      {"a done line in another letter case does not finish the stage", {100, 100, 0},
       {Metadata(1, 4) + Metadata(2, 4) + L"\rdone applying wim image."}, false, {In(2, 25)}, {100, 100, 25}},
      {"99 is no finished stage", {100, 100, 99}, {kHeader}, false, {In(2)}, {100, 100, 99}},
      {"a counter above 100 is a finished stage", {120, 0, 0}, {L""}, false, {In(1)}, {120, 0, 0}},
      {"finished counters complete whatever the output says", {100, 150, 32767}, {twoReports}, true,
       {kComplete}, {100, 150, 32767}},
      {"an ended tool without its done line fails", {10, 0, 0}, {twoReports}, true, {kFailed}, {10, 0, 0}},
      {"the tool ended with its done line: the next ticks finish the run", {}, {twoReports + kDone}, true,
       {Finished(0), Finished(1), Finished(2), kComplete}, {100, 100, 100}},
  };
  // A report's percentage: only a whole number from 0 to 100 between the first "(" and "%)".
  const std::pair<std::wstring, int> percents[] = {
      {L" 1 of 3 (33%) done\r", 33}, {L"(0%)", 0}, {L"(100%)", 100}, {L"(007%)", 7}, {L"(9%) then (50%)", 9},
      {L"(101%)", -1}, {L"(4294967296%)", -1}, {L"(%)", -1}, {L"(x%)", -1}, {L"(-1%)", -1}, {L"( 5%)", -1},
      {L"(\uFF15%)", -1}, {L"5%)", -1}, {L"(5%", -1}, {L"(5) %)", -1},  // U+FF15: a full-width digit
  };
  for (const auto& [report, percent] : percents) {
    const int16_t kept = static_cast<int16_t>(percent < 0 ? 37 : percent);
    rows.push_back({"percentage of \"" + std::string(report.begin(), report.end()) + "\"", {37},
                    {L"\rCreating files:" + report + L"\rCreating files:"}, false, {In(0, percent)}, {kept}});
  }
  for (const auto& [name, before, growth, toolEnded, ticks, after] : rows) {
    SCOPED_TRACE(name);
    StageCounters counters = before;
    std::wstring output;
    std::vector<Shown> shown;
    for (size_t i = 0; i < ticks.size(); ++i) {
      if (i < growth.size()) output += growth[i];
      shown.push_back(TickOn(counters, output, toolEnded));
    }
    EXPECT_EQ(shown, ticks);
    EXPECT_EQ(std::make_tuple(counters.creating, counters.extracting, counters.metadata),
              std::make_tuple(after.creating, after.extracting, after.metadata));
  }
}

// An output that cannot be read after the tool's end is read again on the next ticks, soon, before
// the run fails (a passing sharing violation is no failed installation); a read that succeeds
// starts the count again.
TEST(WatchTick, AnUnreadableOutputIsReadAgainBeforeTheRunFails) {
  const Shown reread{Kind::Reread, L"", kFinishedStageInterval, -1};
  StageCounters counters;
  for (int i = 0; i < kUnreadOutputRetries; ++i) EXPECT_EQ(TickOn(counters, L"", true, false), reread);
  EXPECT_EQ(TickOn(counters, L"", true, false), kFailed);
  counters = StageCounters{0, 0, 0, 3};
  EXPECT_EQ(TickOn(counters, kHeader, false), In(0));
  EXPECT_EQ(counters.unread, 0);
  EXPECT_EQ(TickOn(counters, L"", false, false), In(0)) << "the tool still runs";
}

}  // namespace
}  // namespace morvane
