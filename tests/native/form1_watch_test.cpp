// The progress watch of a running apply, driven tick by tick over the tool's growing output.
#include <gtest/gtest.h>

#include "fakes.h"

namespace morvane::testing {
namespace {

const std::wstring kApplyXml = L"C:\\Windows\\temp\\apply.xml";
const std::wstring kApplyBat = L"C:\\Windows\\temp\\apply.bat";
const std::wstring kApplyErr = L"C:\\Windows\\temp\\apply.err";

// A progress report as the tool writes it: each overwrites the previous one in a console.
std::string Report(const std::string& marker, int done, int total) {
  return "\r" + marker + " " + std::to_string(done) + " of " + std::to_string(total) + " (" +
         std::to_string(done * 100 / total) + "%) done";
}
const std::string kCreating = "Creating files:";
const std::string kExtracting = "Extracting file data:";
const std::string kMetadata = "Applying metadata to files:";
const std::string kDone = "\r\nDone applying WIM image.\r\n";

std::string WholeWindowsOutput() {
  return "Applying image 1 (\"Image 1\") from \"E:\\sources\\install.wim\" to NTFS volume \"T:\\\":\r\n" +
         Report(kCreating, 0, 40) + Report(kCreating, 40, 40) + "\r\n" + Report(kExtracting, 0, 900) +
         Report(kExtracting, 900, 900) + "\r\n" + Report(kMetadata, 0, 40) + Report(kMetadata, 40, 40) + kDone;
}

// One tick: what is appended to the output before it, and what the window shows after it.
struct Step {
  std::string more;
  std::wstring status;
  int interval;
  int bar;
  std::vector<std::wstring> taskbar;  // the calls this tick made
};

void RunSteps(Rig& rig, const std::vector<Step>& steps) {
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
}

void ExpectCompleted(Rig& rig) {
  EXPECT_FALSE(rig.ui.timerEnabled);
  EXPECT_EQ(rig.ui.Text(Ctl::Status), L"状态");
  EXPECT_EQ(rig.ui.Text(Ctl::Command4), L"开始安装");
  EXPECT_EQ(rig.ui.bar, 0);
  EXPECT_EQ(Starting(rig.sys.log, L"run D:\\Tools\\Bin\\bootsect.exe /nt60 C: /mbr").size(), 1u);
  EXPECT_FALSE(rig.sys.HasFile(kApplyXml));
  EXPECT_FALSE(rig.form.running());
}

const std::wstring kCreatingText = L"正在创建文件";
const std::wstring kExtractingText = L"正在提取文件";
const std::wstring kApplyingText = L"正在应用文件";

TEST(Form1Watch, WindowsOutputRunsThroughTheThreeStagesToTheCompletion) {
  Rig rig;
  rig.Load();
  rig.StartApply();
  ASSERT_TRUE(rig.ui.timerEnabled);
  using V = std::vector<std::wstring>;
  RunSteps(rig,
           {
               {"", kCreatingText, 100, 0, V{}},
               {"Applying image 1\r\n" + Report(kCreating, 0, 400), kCreatingText, 100, 0, V{}},
               {Report(kCreating, 100, 400) + Report(kCreating, 200, 400), kCreatingText, 100, 25, V{L"value 25/100"}},
               {Report(kCreating, 400, 400) + "\r\n" + Report(kExtracting, 0, 3000), kCreatingText, 100, 100,
                V{L"value 100/100"}},
               {"", kExtractingText, 1000, 100, V{}},
               {Report(kExtracting, 300, 3000) + Report(kExtracting, 600, 3000), kExtractingText, 1000, 10,
                V{L"value 10/100"}},
               // a finished stage comes back soon, so that the next one is shown at once
               {Report(kExtracting, 3000, 3000) + "\r\n" + Report(kMetadata, 0, 400), kExtractingText, 100, 100,
                V{L"value 100/100"}},
               {"", kApplyingText, 100, 100, V{}},
               {Report(kMetadata, 200, 400) + Report(kMetadata, 300, 400), kApplyingText, 100, 50, V{L"value 50/100"}},
               {Report(kMetadata, 400, 400) + kDone, kApplyingText, 100, 100, V{L"value 100/100"}},
               {"", L"状态", 100, 0, V{L"value 0/100"}},
           });
  const StageCounters& s = rig.form.state().stages;
  EXPECT_EQ(s.creating, 100);
  EXPECT_EQ(s.extracting, 100);
  EXPECT_EQ(s.metadata, 100);
  ExpectCompleted(rig);
}

TEST(Form1Watch, TheLinuxToolsOutputWithOnlyExtractingAndDoneCompletes) {
  Rig rig;
  rig.Load();
  rig.StartApply();
  using V = std::vector<std::wstring>;
  RunSteps(rig,
           {
               {"\rExtracting file data: 0 MiB of 1000 MiB (0%) done", kCreatingText, 100, 100, V{L"value 100/100"}},
               {"\rExtracting file data: 300 MiB of 1000 MiB (30%) done"
                "\rExtracting file data: 600 MiB of 1000 MiB (60%) done",
                kExtractingText, 1000, 30, V{L"value 30/100"}},
               {"\rExtracting file data: 1000 MiB of 1000 MiB (100%) done\nDone applying WIM image.\n", kExtractingText,
                100, 100, V{L"value 100/100"}},
               {"", kApplyingText, 100, 100, V{L"value 100/100"}},
               {"", L"状态", 100, 0, V{L"value 0/100"}},
           });
  ExpectCompleted(rig);
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
  EXPECT_TRUE(Starting(rig.sys.log, L"run ").empty()) << "no boot tool runs";
  EXPECT_TRUE(Starting(rig.sys.log, L"spawn ").empty()) << "no restart";
  EXPECT_FALSE(rig.sys.HasFile(kApplyXml));
  EXPECT_FALSE(rig.sys.HasFile(kApplyBat));
  EXPECT_FALSE(rig.sys.HasFile(kApplyErr));
  EXPECT_FALSE(rig.ui.timerEnabled);
  EXPECT_EQ(rig.ui.Text(Ctl::Status), L"状态");
  EXPECT_EQ(rig.ui.Text(Ctl::Command4), L"开始安装");
  EXPECT_EQ(rig.ui.bar, 0);
  EXPECT_EQ(rig.ui.taskbarCalls, std::vector<std::wstring>{L"value 0/100"});
  for (Ctl c : kRunInputs) EXPECT_TRUE(rig.ui.IsEnabled(c));
  EXPECT_TRUE(rig.form.OnQueryClose());
}

TEST(Form1Watch, AnEndedToolWithItsDoneLineCompletesAtOnce) {
  for (const bool byTimer : {false, true}) {
    SCOPED_TRACE(byTimer ? "timer tick" : "end notice");
    Rig rig;
    rig.Load();
    rig.StartApply();
    rig.sys.files[kApplyXml] = WholeWindowsOutput();
    rig.sys.watchedEnded = true;
    rig.journal.clear();

    if (byTimer) {
      rig.form.OnTimer();
    } else {
      rig.form.OnWatchedEnded();
    }

    std::vector<std::wstring> statuses = Starting(rig.journal, Shown(Ctl::Status, L""));
    statuses.resize(3);
    EXPECT_EQ(statuses,
              (std::vector<std::wstring>{Shown(Ctl::Status, kCreatingText), Shown(Ctl::Status, kExtractingText),
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

TEST(Form1Status, AClickReportsTheBarExceptAtTheRestingText) {
  Rig rig;
  rig.Load();
  rig.form.OnStatusClick();
  EXPECT_TRUE(rig.ui.boxes.empty());

  rig.StartApply();
  rig.sys.files[kApplyXml] = "\rCreating files: (0%)\rCreating files: 37 of 100 (37%) done\rCreating files: ";
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
