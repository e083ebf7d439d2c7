// The progress watch of a running apply, driven tick by tick over the tool's growing output.
#include <gtest/gtest.h>

#include "fakes.h"

namespace morvane::testing {
namespace {

// A progress report as the tool writes it: each overwrites the previous one in a console.
std::string Report(const std::string& marker, int done, int total) {
  return "\r" + marker + " " + std::to_string(done) + " of " + std::to_string(total) + " (" +
         std::to_string(done * 100 / total) + "%) done";
}
const std::string kCreating = "Creating files:";
const std::string kExtracting = "Extracting file data:";
const std::string kMetadata = "Applying metadata to files:";
const std::string kDone = "\r\nDone applying WIM image.\r\n";
const std::wstring kCreatingText = L"正在创建文件";
const std::wstring kExtractingText = L"正在提取文件";
const std::wstring kApplyingText = L"正在应用文件";

// The window shows what the watch reads (the report parsing itself has its own tests): the stage,
// the bar and the taskbar button, the long interval of the extraction, then the completion; a click
// on the status line tells the bar, except at the resting text. A version 5 system gets no taskbar
// calls at all, and each launch starts the watch at 100 ms and from the first stage.
TEST(Form1Watch, TheToolsOutputRunsThroughTheStagesToTheCompletion) {
  struct Step {
    std::string more;  // appended to the output before the tick
    std::wstring status;
    int interval, bar;
    bool toTaskbar = true;  // the tick gives the taskbar button the bar's value
  } steps[] = {
      {"Applying image 1\r\n" + Report(kCreating, 0, 400), kCreatingText, 100, 0, false},
      {Report(kCreating, 100, 400) + Report(kCreating, 200, 400), kCreatingText, 100, 25},
      {Report(kCreating, 400, 400) + "\r\n" + Report(kExtracting, 0, 3000), kCreatingText, 100, 100},
      {Report(kExtracting, 300, 3000) + Report(kExtracting, 600, 3000), kExtractingText, 1000, 10},
      // a finished stage comes back soon, so that the next one is shown at once
      {Report(kExtracting, 3000, 3000) + "\r\n" + Report(kMetadata, 0, 400), kExtractingText, 100, 100},
      {Report(kMetadata, 200, 400) + Report(kMetadata, 300, 400), kApplyingText, 100, 50},
      {Report(kMetadata, 400, 400) + kDone, kApplyingText, 100, 100},
      {"", L"状态", 100, 0},
  };
  for (const int16_t sysVer : {10, 5}) {
    SCOPED_TRACE("version " + std::to_string(sysVer));
    Rig rig;
    rig.sys.sysVer = sysVer;
    rig.Load();
    EXPECT_EQ(rig.Logged(L"taskbar create").size(), sysVer > 5 ? 1u : 0u);
    for (int run = 1; run <= 2; ++run) {  // the second in the same session
      SCOPED_TRACE("run " + std::to_string(run));
      rig.ui.timerInterval = 1000;  // as left by a run that failed in its second stage
      rig.StartApply();
      EXPECT_EQ(rig.ui.timerInterval, 100);
      const Lines states = sysVer > 5 ? Lines({L"taskbar state 1", L"taskbar state 0"}) : Lines();
      EXPECT_EQ(rig.Logged(L"taskbar "), states);
      for (const Step& s : steps) {
        SCOPED_TRACE("tick " + std::to_string(&s - steps + 1));
        rig.sys.files[kApplyXml] += s.more;
        rig.journal.clear();
        rig.form.OnTimer();
        EXPECT_EQ(rig.ui.Text(Ctl::Status), s.status);
        EXPECT_EQ(rig.ui.timerInterval, s.interval);
        EXPECT_EQ(rig.ui.bar, s.bar);
        const std::wstring value = std::to_wstring(s.bar);
        const Lines taskbar{L"taskbar value " + value + L"/100"};
        EXPECT_EQ(rig.Logged(L"taskbar "), sysVer > 5 && s.toTaskbar ? taskbar : Lines{});
        rig.ui.boxes.clear();
        rig.form.OnStatusClick();
        const FakeWindow::Box told{L"当前进度：" + value + L" %", L"", MsgIcon::None, MsgButtons::Ok};
        EXPECT_EQ(rig.ui.boxes, s.status == L"状态" ? std::vector<FakeWindow::Box>{} : std::vector{told});
      }
      rig.ExpectIdle();
    }
  }
}

// An ended tool with its done line completes at once, by the end notice or a tick; without it the
// run fails with the tool's last error line: no boot tool, no restart. An output that cannot be
// read just after the end (a passing sharing violation) is read again on the next ticks, at 100 ms,
// instead of failing the run.
TEST(Form1Watch, AnEndedToolCompletesWithItsDoneLineAndFailsWithoutIt) {
  const std::string whole = "Applying image 1\r\n" + Report(kCreating, 40, 40) + "\r\n" +
                            Report(kExtracting, 900, 900) + "\r\n" + Report(kMetadata, 40, 40) + kDone;
  struct Case {
    const char* what;
    bool byTimer;
    int failingReads;
    bool done = true;
  } cases[] = {{"end notice", false, 0},
               {"timer tick", true, 0},
               {"end notice, output locked for 3 reads", false, 3},
               {"no done line", true, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.StartApply();
    rig.sys.files[kApplyXml] = c.done ? whole : "Applying image 1\r\n" + Report(kCreating, 10, 40);
    rig.sys.AddFile(kApplyErr,
                    "[ERROR] Can't open \"T:\\Windows\": Access is denied\r\n"
                    "[ERROR] Can't open \"T:\\pagefile.sys\": Access is denied\r\n"
                    "ERROR: Exiting with error code 47:\r\n       Failed to open a file.\r\n");
    rig.sys.failingReads[kApplyXml] = c.failingReads;
    rig.sys.watchedEnded = true;
    rig.ui.timerInterval = 1000;
    rig.ui.bar = 42;
    rig.journal.clear();
    c.byTimer ? rig.form.OnTimer() : rig.form.OnWatchedEnded();
    for (int read = 0; read < c.failingReads; ++read) {
      EXPECT_TRUE(rig.ui.timerEnabled);
      EXPECT_EQ(rig.ui.timerInterval, 100);
      EXPECT_EQ(rig.ui.boxes.size(), 1u) << "no failure while the output may still be read";
      rig.form.OnTimer();
    }
    EXPECT_EQ(rig.Logged(L"taskbar value 0/100").size(), 1u);
    EXPECT_FALSE(rig.sys.HasFile(kApplyXml) || rig.sys.HasFile(kApplyBat) || rig.sys.HasFile(kApplyErr));
    rig.ExpectIdle();
    EXPECT_EQ(rig.Logged(L"run ").empty(), !c.done) << "the boot repair, or no boot tool at all";
    if (!c.done) {
      // the error box after the confirmation, with the tool's last error line
      rig.ExpectError(2, L"[ERROR] Can't open \"T:\\pagefile.sys\": Access is denied");
      EXPECT_TRUE(rig.Logged(L"spawn ").empty()) << "no restart";
      continue;
    }
    ASSERT_EQ(rig.ui.boxes.size(), 2u);  // the confirmation and the completion's own
    EXPECT_EQ(rig.ui.boxes.back().caption, L"提示：");
    const size_t seen = rig.journal.size();  // a late notice or tick finds nothing to do
    rig.form.OnWatchedEnded();
    rig.form.OnTimer();
    EXPECT_EQ(rig.journal.size(), seen);
  }
}

}  // namespace
}  // namespace morvane::testing
