// The progress watch of a running apply, driven tick by tick over the tool's growing output.
#include <gtest/gtest.h>

#include "fakes.h"

namespace morvane::testing {
namespace {

// A progress report as the tool writes it: each overwrites the previous one in a console.
std::string Report(const std::string& marker, int done, int total, const std::string& unit = "") {
  return "\r" + marker + " " + std::to_string(done) + unit + " of " + std::to_string(total) + unit + " (" +
         std::to_string(done * 100 / total) + "%) done";
}
const std::string kCreating = "Creating files:";
const std::string kExtracting = "Extracting file data:";
const std::string kMetadata = "Applying metadata to files:";
const std::string kDone = "\r\nDone applying WIM image.\r\n";
const std::wstring kCreatingText = L"正在创建文件";
const std::wstring kExtractingText = L"正在提取文件";
const std::wstring kApplyingText = L"正在应用文件";

std::string WholeWindowsOutput() {
  return "Applying image 1 (\"Image 1\") from \"E:\\sources\\install.wim\" to NTFS volume \"T:\\\":\r\n" +
         Report(kCreating, 0, 40) + Report(kCreating, 40, 40) + "\r\n" + Report(kExtracting, 0, 900) +
         Report(kExtracting, 900, 900) + "\r\n" + Report(kMetadata, 0, 40) + Report(kMetadata, 40, 40) + kDone;
}

// The completion ran: the boot code written, the apply's output gone, the window at rest.
void ExpectCompleted(Rig& rig) {
  EXPECT_EQ(Starting(rig.sys.log, L"run D:\\Tools\\Bin\\bootsect.exe /nt60 C: /mbr").size(), 1u);
  EXPECT_FALSE(rig.sys.HasFile(kApplyXml));
  rig.ExpectIdle();
}

// One tick: what is appended to the output before it, and what the window shows after it.
struct Step {
  std::string more;
  std::wstring status;
  int interval;
  int bar;
  Lines taskbar;  // the calls this tick made
};

TEST(Form1Watch, TheToolsOutputRunsThroughTheStagesToTheCompletion) {
  const std::vector<Step> windows = {
      {"", kCreatingText, 100, 0, {}},
      {"Applying image 1\r\n" + Report(kCreating, 0, 400), kCreatingText, 100, 0, {}},
      {Report(kCreating, 100, 400) + Report(kCreating, 200, 400), kCreatingText, 100, 25, {L"value 25/100"}},
      {Report(kCreating, 400, 400) + "\r\n" + Report(kExtracting, 0, 3000), kCreatingText, 100, 100,
       {L"value 100/100"}},
      {"", kExtractingText, 1000, 100, {}},
      {Report(kExtracting, 300, 3000) + Report(kExtracting, 600, 3000), kExtractingText, 1000, 10, {L"value 10/100"}},
      // a finished stage comes back soon, so that the next one is shown at once
      {Report(kExtracting, 3000, 3000) + "\r\n" + Report(kMetadata, 0, 400), kExtractingText, 100, 100,
       {L"value 100/100"}},
      {"", kApplyingText, 100, 100, {}},
      {Report(kMetadata, 200, 400) + Report(kMetadata, 300, 400), kApplyingText, 100, 50, {L"value 50/100"}},
      {Report(kMetadata, 400, 400) + kDone, kApplyingText, 100, 100, {L"value 100/100"}},
      {"", L"状态", 100, 0, {L"value 0/100"}},
  };
  // The tool built for Linux reports only the extraction, in MiB, and ends its lines with "\n".
  const std::vector<Step> linux = {
      {Report(kExtracting, 0, 1000, " MiB"), kCreatingText, 100, 100, {L"value 100/100"}},
      {Report(kExtracting, 300, 1000, " MiB") + Report(kExtracting, 600, 1000, " MiB"), kExtractingText, 1000, 30,
       {L"value 30/100"}},
      {Report(kExtracting, 1000, 1000, " MiB") + "\nDone applying WIM image.\n", kExtractingText, 100, 100,
       {L"value 100/100"}},
      {"", kApplyingText, 100, 100, {L"value 100/100"}},
      {"", L"状态", 100, 0, {L"value 0/100"}},
  };
  for (const auto& steps : {windows, linux}) {
    SCOPED_TRACE(steps.size() == windows.size() ? "Windows" : "Linux");
    Rig rig;
    rig.Load();
    rig.StartApply();
    ASSERT_TRUE(rig.ui.timerEnabled);
    for (size_t i = 0; i < steps.size(); ++i) {
      SCOPED_TRACE("tick " + std::to_string(i + 1));
      const Step& s = steps[i];
      rig.sys.files[kApplyXml] += s.more;
      rig.ui.taskbarCalls.clear();
      rig.form.OnTimer();
      EXPECT_EQ(rig.ui.Text(Ctl::Status), s.status);
      EXPECT_EQ(rig.ui.timerInterval, s.interval);
      EXPECT_EQ(rig.ui.bar, s.bar);
      EXPECT_EQ(rig.ui.taskbarCalls, s.taskbar);
    }
    ExpectCompleted(rig);
  }
}

TEST(Form1Watch, AToolThatEndsWithoutItsDoneLineFailsWithItsErrorLine) {
  Rig rig;
  rig.Load();
  rig.StartApply();
  rig.sys.files[kApplyXml] = "Applying image 1\r\n" + Report(kCreating, 0, 40) + Report(kCreating, 10, 40);
  rig.form.OnTimer();
  rig.ui.bar = 42;
  rig.sys.AddFile(kApplyErr,
                  "[ERROR] Can't open \"T:\\Windows\": Access is denied\r\n"
                  "[ERROR] Can't open \"T:\\pagefile.sys\": Access is denied\r\n"
                  "ERROR: Exiting with error code 47:\r\n       Failed to open a file.\r\n");
  rig.sys.watchedEnded = true;
  rig.sys.log.clear();
  rig.ui.taskbarCalls.clear();

  rig.form.OnTimer();

  ASSERT_EQ(rig.ui.boxes.size(), 2u);  // the confirmation, then the failure
  const FakeWindow::Box& box = rig.ui.boxes[1];
  EXPECT_EQ(box.caption, L"错误");
  EXPECT_EQ(box.icon, MsgIcon::Stop);
  EXPECT_NE(box.text.find(L"[ERROR] Can't open \"T:\\pagefile.sys\": Access is denied"), std::wstring::npos)
      << Narrow(box.text);
  EXPECT_TRUE(rig.Runs().empty()) << "no boot tool runs";
  EXPECT_TRUE(rig.Spawns().empty()) << "no restart";
  for (const auto& path : {kApplyXml, kApplyBat, kApplyErr}) EXPECT_FALSE(rig.sys.HasFile(path)) << Narrow(path);
  EXPECT_EQ(rig.ui.taskbarCalls, Lines{L"value 0/100"});
  rig.ExpectIdle();
}

TEST(Form1Watch, AnEndedToolWithItsDoneLineCompletesAtOnce) {
  for (const bool byTimer : {false, true}) {
    SCOPED_TRACE(byTimer ? "timer tick" : "end notice");
    Rig rig;
    rig.Load();
    rig.StartApply();
    rig.sys.files[kApplyXml] = WholeWindowsOutput();
    rig.sys.watchedEnded = true;
    rig.ClearLogs();
    if (byTimer) {
      rig.form.OnTimer();
    } else {
      rig.form.OnWatchedEnded();
    }
    Lines statuses = Starting(rig.journal, Shown(Ctl::Status, L""));
    statuses.resize(3);
    EXPECT_EQ(statuses, (Lines{Shown(Ctl::Status, kCreatingText), Shown(Ctl::Status, kExtractingText),
                               Shown(Ctl::Status, kApplyingText)}));
    ExpectCompleted(rig);
    ASSERT_EQ(rig.ui.boxes.size(), 2u);  // the confirmation and the completion's own

    const size_t seen = rig.journal.size();  // a late notice or tick finds nothing to do
    rig.form.OnWatchedEnded();
    rig.form.OnTimer();
    EXPECT_EQ(rig.journal.size(), seen);
  }
}

// Each launch starts the watch at 100 ms, and an output that cannot be read just after the tool's end
// (a passing sharing violation) is read again on the next ticks instead of failing the run.
TEST(Form1Watch, ALaunchStartsAt100MsAndAnUnreadableEndIsReadAgain) {
  Rig rig;
  rig.Load();
  rig.ui.timerInterval = 1000;  // left by a run that failed in its second stage
  rig.StartApply();
  EXPECT_EQ(rig.ui.timerInterval, 100);
  rig.sys.files[kApplyXml] = WholeWindowsOutput();
  rig.sys.failingReads[kApplyXml] = 3;
  rig.sys.watchedEnded = true;
  rig.ui.timerInterval = 1000;
  rig.form.OnWatchedEnded();
  EXPECT_TRUE(rig.ui.timerEnabled);
  EXPECT_EQ(rig.ui.timerInterval, 100);
  rig.form.OnTimer();
  rig.form.OnTimer();
  EXPECT_EQ(rig.ui.boxes.size(), 1u) << "no failure while the output may still be read";
  rig.form.OnTimer();
  ExpectCompleted(rig);
  EXPECT_EQ(rig.ui.boxes.back().caption, L"提示：");
}

TEST(Form1Watch, AVersion5SystemGetsNoTaskbarCallsAtAll) {
  Rig rig;
  rig.sys.sysVer = 5;
  rig.Load();
  rig.StartApply();
  rig.sys.files[kApplyXml] = "Creating files: (0%)" + Report(kCreating, 50, 100) + "\rCreating files: ";
  rig.form.OnTimer();
  EXPECT_EQ(rig.ui.bar, 50);
  rig.sys.files[kApplyXml] += "\r\nExtracting file data:" + kDone;
  rig.sys.watchedEnded = true;
  rig.form.OnTimer();
  ExpectCompleted(rig);
  EXPECT_TRUE(rig.ui.taskbarCalls.empty());
}

TEST(Form1Status, AClickReportsTheBarExceptAtTheRestingText) {
  Rig rig;
  rig.Load();
  rig.form.OnStatusClick();
  EXPECT_TRUE(rig.ui.boxes.empty());

  rig.StartApply();
  rig.sys.files[kApplyXml] = "\rCreating files: (0%)" + Report(kCreating, 37, 100) + "\rCreating files: ";
  rig.form.OnTimer();
  rig.form.OnStatusClick();
  ASSERT_EQ(rig.ui.boxes.size(), 2u);
  EXPECT_EQ(rig.ui.boxes[1], (FakeWindow::Box{L"当前进度：37 %", L"", MsgIcon::None, MsgButtons::Ok}));

  rig.sys.files[kApplyXml] = WholeWindowsOutput();
  rig.sys.watchedEnded = true;
  rig.form.OnWatchedEnded();
  const size_t boxes = rig.ui.boxes.size();
  rig.form.OnStatusClick();
  EXPECT_EQ(rig.ui.boxes.size(), boxes);
}

}  // namespace
}  // namespace morvane::testing
