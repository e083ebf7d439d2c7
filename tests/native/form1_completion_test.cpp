// The steps after the image is applied: the Windows folders, the boot repair, the restart and the
// window given back.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "drives/find_windows.h"
#include "fakes.h"
#include "install/completion.h"

namespace morvane::testing {
namespace {

const std::wstring kApplyXml = L"C:\\Windows\\temp\\apply.xml";
const std::wstring kApplyBat = L"C:\\Windows\\temp\\apply.bat";
const std::wstring kApplyErr = L"C:\\Windows\\temp\\apply.err";
const std::wstring kShutdown = L"C:\\Windows\\System32\\shutdown.exe";
const std::wstring kStageDone = L"这个阶段的安装完成，重新启动后，Sysprep部署阶段将开始！";

const std::wstring kBcdboot = L"run \"D:\\Morvane Tools\\Bin\\bcdboot.exe\" ";
const std::wstring kBootsect = L"run \"D:\\Morvane Tools\\Bin\\bootsect.exe\" ";

using Lines = std::vector<std::wstring>;
using Box = FakeWindow::Box;
using Boxes = std::vector<Box>;
const Box kStageDoneBox{kStageDone, L"提示：", MsgIcon::Information, MsgButtons::Ok};

// The program in a folder with a blank; the apply of the image at `index` (whose images carry
// these major versions) started to T: with the boot drive C:.
void Start(Rig& rig, const std::vector<std::wstring>& majors = {L"10"}, int index = 0) {
  rig.sys.programFolder = L"D:\\Morvane Tools";
  rig.sys.programFile = L"D:\\Morvane Tools\\MorvaneSetup.exe";
  rig.Load();
  rig.ChooseImage(L"E:\\sources\\install.wim", WimXml(majors));
  rig.ui.SetListIndex(Ctl::Combo0, index);
  rig.ui.SetText(Ctl::Text3, L"T:");
  rig.form.OnCommand4();
  ASSERT_TRUE(rig.ui.timerEnabled);
}

// The watch has seen all three stages finish: this tick is the completion.
void Finish(Rig& rig) {
  rig.FinishStages();
  rig.sys.log.clear();
  rig.ui.boxes.clear();
  rig.journal.clear();
  rig.form.OnTimer();
}

Lines Runs(const Rig& rig) { return Starting(rig.sys.log, L"run "); }
Lines Spawns(const Rig& rig) { return Starting(rig.sys.log, L"spawn "); }

TEST(Form1Completion, RebuildsEveryWindowsFolderFromTheLastThenWritesTheBootCode) {
  Rig rig;
  rig.sys.AddFolder(L"C:\\Windows\\SysWOW64");  // the image tool comes from Bin64, the boot tools never
  rig.sys.AddFolder(L"D:\\Windows");
  Start(rig);
  bool closable = true;
  rig.sys.onRun = [&](const std::wstring&) {
    closable = closable && rig.form.OnQueryClose();
    return RunResult{true, 0};
  };
  Finish(rig);

  EXPECT_EQ(rig.ui.lists[Ctl::RDriver], (Lines{L"C:\\Windows", L"D:\\Windows"}));
  EXPECT_EQ(Runs(rig), (Lines{
                           kBcdboot + L"D:\\Windows /s C: /l zh-cn",
                           kBcdboot + L"D:\\Windows /s C: /f uefi /l zh-cn",
                           kBcdboot + L"C:\\Windows /s C: /l zh-cn",
                           kBcdboot + L"C:\\Windows /s C: /f uefi /l zh-cn",
                           kBootsect + L"/nt60 C: /mbr",
                       }));
  Lines steps;  // the status line around the runs
  for (const auto& line : rig.journal) {
    if (line.rfind(Shown(Ctl::Status, L""), 0) == 0) steps.push_back(line.substr(Shown(Ctl::Status, L"").size()));
    if (line.rfind(L"run ", 0) == 0) steps.push_back(L"run");
  }
  steps.resize(std::min<size_t>(steps.size(), 9));
  EXPECT_EQ(steps,
            (Lines{L"正在更新Boot", L"run", L"run", L"正在更新Boot", L"run", L"run", L"正在更新MBR", L"run", L"状态"}));
  EXPECT_FALSE(closable) << "the window closed while a boot tool ran";
}

TEST(Form1Completion, TheSelectedImagesMajorVersionChoosesTheBootTools) {
  struct Case {
    std::vector<std::wstring> majors;
    int index;
    bool newer;
  } cases[] = {
      {{L"10"}, 0, true}, {{L"5"}, 0, false},  {{L"5.0"}, 0, false},      {{L"6.1"}, 0, true},
      {{L""}, 0, true},   {{L"abc"}, 0, true}, {{L"10", L"5"}, 1, false}, {{L"5", L"10"}, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.majors[static_cast<size_t>(c.index)]) + " at " + std::to_string(c.index));
    Rig rig;
    Start(rig, c.majors, c.index);
    Finish(rig);
    const Lines runs = Runs(rig);
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.back(), kBootsect + (c.newer ? L"/nt60 C: /mbr" : L"/nt52 C: /mbr"));
    EXPECT_EQ(runs.size(), c.newer ? 3u : 1u);  // bcdboot twice for C:\Windows when newer
  }
}

TEST(Form1Completion, TheBootFolderAndTheRebuildTickDecideTheRebuild) {
  const std::wstring bcd = L"C:\\boot\\bcd", efiBcd = L"C:\\EFI\\Microsoft\\Boot\\bcd";
  struct Case {
    const char* what;
    bool rebuildTicked;
    Entry bootFolder, bootBcd, efiBcd;  // None with a file behind it: hidden or system
    bool rebuilds;
    Lines deleted;
  } cases[] = {
      {"unticked, visible \\boot", false, Entry::Folder, Entry::File, Entry::File, false, {}},
      {"unticked, \\boot hidden", false, Entry::None, Entry::File, Entry::None, true, {bcd}},
      {"ticked, both stores plain files", true, Entry::Folder, Entry::File, Entry::File, true, {bcd, efiBcd}},
      {"ticked, a folder and a hidden file", true, Entry::Folder, Entry::Folder, Entry::None, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    Start(rig);
    rig.ui.checked[Ctl::Check1] = c.rebuildTicked;
    if (c.bootFolder != Entry::None) rig.sys.entries[L"C:\\boot"] = c.bootFolder;
    for (const auto& [path, entry] : {std::pair{bcd, c.bootBcd}, std::pair{efiBcd, c.efiBcd}}) {
      rig.sys.files[path] = "bcd";
      if (entry != Entry::None) rig.sys.entries[path] = entry;
    }
    Finish(rig);

    Lines deletedStores;
    for (const auto& line : Starting(rig.sys.log, L"delete C:\\")) {
      if (line.find(L"\\temp\\") == line.npos) deletedStores.push_back(line.substr(7));
    }
    EXPECT_EQ(deletedStores, c.deleted);
    const Lines runs = Runs(rig);
    EXPECT_EQ(runs.size(), c.rebuilds ? 3u : 1u);
    EXPECT_EQ(runs.back(), kBootsect + L"/nt60 C: /mbr");
  }
}

TEST(Form1DriveScan, ListsVisibleWindowsEntriesOfFixedDrivesOtherThanX) {
  FakeWindow ui;
  FakeSystem sys;
  sys.SetDrives({{L"C:", DriveType::Fixed},
                 {L"D:", DriveType::Fixed},
                 {L"E:", DriveType::Removable},
                 {L"F:", DriveType::CdRom},
                 {L"G:", DriveType::Fixed},
                 {L"H:", DriveType::Remote},
                 {L"I:", DriveType::Fixed},
                 {L"X:", DriveType::Fixed}});
  sys.AddFile(L"D:\\Windows");     // a plain file counts
  sys.AddFolder(L"E:\\Windows");   // removable
  sys.AddFolder(L"F:\\Windows");   // optical
  sys.files[L"G:\\Windows"] = "";  // hidden: not seen
  sys.AddFolder(L"H:\\Windows");   // network
  sys.AddFolder(L"X:\\Windows");   // the preinstallation environment
  FindWindowsDirs(ui, sys);
  EXPECT_EQ(ui.lists[Ctl::RDriver], (Lines{L"C:\\Windows", L"D:\\Windows"}));
  EXPECT_TRUE(ui.boxes.empty());

  sys.SetDrives({{L"E:", DriveType::Fixed}, {L"X:", DriveType::Fixed}});  // a second scan starts afresh
  FindWindowsDirs(ui, sys);
  EXPECT_EQ(ui.lists[Ctl::RDriver], Lines{L"E:\\Windows"});

  sys.SetDrives({{L"I:", DriveType::Fixed}});  // fixed drives without Windows: empty, silent
  FindWindowsDirs(ui, sys);
  EXPECT_TRUE(ui.lists[Ctl::RDriver].empty());
  EXPECT_TRUE(ui.boxes.empty());

  std::vector<std::pair<std::wstring, DriveType>> drives;  // all 26 letters in use
  Lines expected;
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
    const std::wstring drive{letter, L':'};
    drives.push_back({drive, DriveType::Fixed});
    sys.AddFolder(drive + L"\\Windows");
    if (letter != L'X') expected.push_back(drive + L"\\Windows");
  }
  sys.SetDrives(drives);
  FindWindowsDirs(ui, sys);
  EXPECT_EQ(ui.lists[Ctl::RDriver], expected);
}

TEST(Form1Completion, WithoutFixedDrivesItSaysSoAndStillWritesTheBootCode) {
  Rig rig;
  Start(rig);
  rig.sys.SetDrives({{L"E:", DriveType::Removable}, {L"F:", DriveType::CdRom}});
  rig.sys.AddFolder(L"E:\\Windows");
  rig.ui.checked[Ctl::Check2] = false;
  Finish(rig);
  EXPECT_EQ(rig.ui.boxes,
            (Boxes{{L"未发现任何磁盘或光驱", L"Error!", MsgIcon::Information, MsgButtons::Ok}, kStageDoneBox}));
  EXPECT_TRUE(rig.ui.lists[Ctl::RDriver].empty());
  EXPECT_EQ(Runs(rig), Lines{kBootsect + L"/nt60 C: /mbr"});
}

TEST(Form1Completion, AutomaticRestartIsScheduledAndCancelledOnRequest) {
  const std::wstring restartText = kStageDone + L"\n您的电脑将在5秒后重新启动！若想取消自动重启任务，请单击“取消”。";
  for (const MsgAnswer answer : {MsgAnswer::Ok, MsgAnswer::Cancel}) {
    SCOPED_TRACE(answer == MsgAnswer::Ok ? "OK" : "Cancel");
    Rig rig;
    Start(rig);
    rig.sys.AddFile(kShutdown);
    rig.ui.answers.push_back(answer);
    bool closableWhileAsked = true;
    rig.ui.onBox = [&](const FakeWindow::Box& box) {
      if (box.caption == L"提示：") closableWhileAsked = rig.form.OnQueryClose();
    };
    Finish(rig);
    rig.ui.onBox = nullptr;

    ASSERT_EQ(rig.ui.boxes.size(), 2u);  // the restart box and the refused close
    EXPECT_EQ(rig.ui.boxes[0], (Box{restartText, L"提示：", MsgIcon::Exclamation, MsgButtons::OkCancel}));
    EXPECT_FALSE(closableWhileAsked);
    Lines expected{L"spawn shutdown.exe -r -f -t 5"};
    if (answer == MsgAnswer::Cancel) expected.push_back(L"spawn shutdown.exe -a");
    EXPECT_EQ(Spawns(rig), expected);
    const auto spawn = std::find(rig.journal.begin(), rig.journal.end(), expected[0]);
    const auto box = std::find(rig.journal.begin(), rig.journal.end(), L"box 提示： " + restartText);
    EXPECT_LT(spawn, box) << "the restart is scheduled before the user is asked";
  }
}

TEST(Form1Completion, WithoutShutdownOrWithoutAutomaticRestartOnlyABoxIsShown) {
  const Box manual{L"未发现shutdown关机程序，请手动重启电脑！以完成安装！", L"提示：", MsgIcon::Information,
                   MsgButtons::Ok};
  struct Case {
    const char* what;
    bool autoRestart;
    Entry shutdown;
    Box box;
  } cases[] = {
      {"shutdown missing", true, Entry::None, manual},
      {"shutdown a folder", true, Entry::Folder, manual},
      {"restart unticked", false, Entry::File, kStageDoneBox},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    Start(rig);
    rig.ui.checked[Ctl::Check2] = c.autoRestart;
    if (c.shutdown != Entry::None) rig.sys.entries[kShutdown] = c.shutdown;
    Finish(rig);
    EXPECT_EQ(rig.ui.boxes, Boxes{c.box});
    EXPECT_TRUE(Spawns(rig).empty());
  }
}

// Boot tool failures count only where they leave the installed system (T:\Windows) without boot
// files, or where a tool could not be started at all: then the user is told and nothing restarts.
TEST(Form1Completion, BootToolFailuresAreJudgedByTheInstalledSystem) {
  const RunResult fails{true, 1}, missing{false, 0};
  struct Case {
    const char* what;
    const wchar_t* failing;  // the runs whose line holds this text fail
    RunResult result;
    const wchar_t* major;
    bool rebuild;
    const wchar_t* named;  // in the problem box; nullptr: no problem, the restart goes ahead
    const wchar_t* target = L"T:";
  } cases[] = {
      {"own folder fails in both forms", L"T:\\Windows /s", fails, L"10", true, L"bcdboot.exe（T:\\Windows）"},
      {"own folder, lower-case target", L"T:\\Windows /s", fails, L"10", true, L"bcdboot.exe（T:\\Windows，UEFI）",
       L"t:"},
      {"Windows 7 bcdboot: no /f", L"/f uefi", fails, L"10", true, nullptr},
      {"own folder fails in the first form", L"T:\\Windows /s C: /l", fails, L"10", true, nullptr},
      {"another folder fails", L"C:\\Windows /s", fails, L"10", true, nullptr},
      {"bootsect fails", L"bootsect.exe", fails, L"10", true, nullptr},
      {"older image: bootsect fails", L"bootsect.exe", fails, L"5", true, nullptr},
      {"rebuild off: bcdboot would fail", L"bcdboot.exe", fails, L"10", false, nullptr},
      {"bcdboot missing", L"bcdboot.exe", missing, L"10", true, L"无法启动 bcdboot.exe（C:\\Windows）"},
      {"bcdboot missing for another folder", L"C:\\Windows /s", missing, L"10", true, L"无法启动 bcdboot.exe"},
      {"bootsect missing", L"bootsect.exe", missing, L"10", true, L"无法启动 bootsect.exe（/nt60 C:）"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.sys.AddFolder(L"T:\\Windows");
    rig.sys.AddFolder(L"C:\\boot");
    Start(rig, {c.major});
    rig.ui.texts[Ctl::Text3] = c.target;
    rig.ui.checked[Ctl::Check1] = c.rebuild;
    rig.sys.AddFile(kShutdown);
    rig.sys.onRun = [&](const std::wstring& line) {
      return line.find(c.failing) != line.npos ? c.result : RunResult{true, 0};
    };
    Finish(rig);
    EXPECT_EQ(Runs(rig).size(), c.major == std::wstring(L"5") || !c.rebuild ? 1u : 5u) << "every step still runs";
    ASSERT_FALSE(rig.ui.boxes.empty());
    const Box& box = rig.ui.boxes[0];
    EXPECT_EQ(box.caption, L"提示：");
    if (c.named) {
      EXPECT_NE(box.text.find(c.named), std::wstring::npos) << Narrow(box.text);
      EXPECT_EQ(box.text.find(kStageDone), std::wstring::npos);
      EXPECT_TRUE(Spawns(rig).empty());
    } else {
      EXPECT_EQ(box.text.find(L"引导文件没有写好"), std::wstring::npos) << Narrow(box.text);
      EXPECT_EQ(Spawns(rig), Lines{L"spawn shutdown.exe -r -f -t 5"});
    }
    EXPECT_EQ(rig.ui.Text(Ctl::Command4), L"开始安装");
  }
}

TEST(Form1Completion, TheWindowIsGivenBackAndTheApplyFilesAreGone) {
  Rig rig;
  rig.ui.focus = Ctl::Command4;
  Start(rig);
  EXPECT_EQ(rig.ui.focus, std::nullopt);  // the window itself holds it while the inputs are locked
  EXPECT_EQ(rig.ui.sessionBlock, L"正在安装系统，无法关闭！");
  rig.sys.AddFile(kApplyErr, "");
  rig.ui.checked[Ctl::Check2] = false;
  Finish(rig);
  EXPECT_EQ(rig.ui.focus, Ctl::Command4);
  EXPECT_EQ(rig.ui.sessionBlock, L"");
  EXPECT_EQ(rig.ui.Text(Ctl::Command4), L"开始安装");
  EXPECT_EQ(rig.ui.taskbarCalls.back(), L"value 0/100");
  EXPECT_EQ(rig.ui.enabledOrder, std::vector<Ctl>(std::begin(kRunInputs), std::end(kRunInputs)));
  for (Ctl c : kRunInputs) EXPECT_TRUE(rig.ui.IsEnabled(c));
  for (const auto& path : {kApplyXml, kApplyBat, kApplyErr}) EXPECT_FALSE(rig.sys.HasFile(path)) << Narrow(path);
  EXPECT_TRUE(rig.form.OnQueryClose());
  EXPECT_EQ(rig.ui.boxes.size(), 1u);

  Rig gone;  // the files went missing before the end: the steps carry on without a word
  Start(gone);
  gone.ui.checked[Ctl::Check2] = false;
  gone.FinishStages();
  for (const auto& path : {kApplyXml, kApplyBat, kApplyErr}) gone.sys.DeleteFile(path);
  gone.ui.boxes.clear();
  gone.form.OnTimer();  // the completion
  EXPECT_EQ(gone.ui.boxes, Boxes{kStageDoneBox});
  EXPECT_EQ(gone.ui.Text(Ctl::Command4), L"开始安装");
  EXPECT_FALSE(gone.form.running());
  EXPECT_TRUE(gone.form.OnQueryClose());
}

}  // namespace
}  // namespace morvane::testing
