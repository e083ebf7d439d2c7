// The steps after the image is applied: the Windows folders, the boot repair, the restart and the
// window given back.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "drives/find_windows.h"
#include "fakes.h"

namespace morvane::testing {
namespace {

const std::wstring kShutdown = L"C:\\Windows\\System32\\shutdown.exe";
const std::wstring kStageDone = L"这个阶段的安装完成，重新启动后，Sysprep部署阶段将开始！";
const std::wstring kBootsect = L"run D:\\Tools\\Bin\\bootsect.exe ";

using Box = FakeWindow::Box;
using Boxes = std::vector<Box>;
const Box kStageDoneBox{kStageDone, L"提示：", MsgIcon::Information, MsgButtons::Ok};

TEST(Form1Completion, RebuildsEveryWindowsFolderFromTheLastThenWritesTheBootCode) {
  Rig rig;
  rig.sys.programFolder = L"D:\\Morvane Tools";  // a blank: the tools' paths are quoted
  rig.sys.programFile = L"D:\\Morvane Tools\\MorvaneSetup.exe";
  rig.sys.AddFolder(L"C:\\Windows\\SysWOW64");  // the image tool comes from Bin64, the boot tools never
  rig.sys.AddFolder(L"D:\\Windows");
  rig.StartApply();
  bool closable = true;
  rig.sys.onRun = [&](const std::wstring&) {
    closable = closable && rig.form.OnQueryClose();
    return RunResult{true, 0};
  };
  rig.Complete();

  EXPECT_EQ(rig.ui.lists[Ctl::RDriver], (Lines{L"C:\\Windows", L"D:\\Windows"}));
  const std::wstring bcdboot = L"run \"D:\\Morvane Tools\\Bin\\bcdboot.exe\" ";
  EXPECT_EQ(rig.Runs(), (Lines{
                            bcdboot + L"D:\\Windows /s C: /l zh-cn",
                            bcdboot + L"D:\\Windows /s C: /f uefi /l zh-cn",
                            bcdboot + L"C:\\Windows /s C: /l zh-cn",
                            bcdboot + L"C:\\Windows /s C: /f uefi /l zh-cn",
                            L"run \"D:\\Morvane Tools\\Bin\\bootsect.exe\" /nt60 C: /mbr",
                        }));
  Lines steps;  // the status line around the runs
  const std::wstring status = Shown(Ctl::Status, L"");
  for (const auto& line : rig.journal) {
    if (line.rfind(status, 0) == 0) steps.push_back(line.substr(status.size()));
    if (line.rfind(L"run ", 0) == 0) steps.push_back(L"run");
  }
  steps.resize(std::min<size_t>(steps.size(), 9));
  EXPECT_EQ(steps, (Lines{L"正在更新Boot", L"run", L"run", L"正在更新Boot", L"run", L"run", L"正在更新MBR", L"run",
                          L"状态"}));
  EXPECT_FALSE(closable) << "the window closed while a boot tool ran";
}

// The selected image's major version chooses the boot tools (newer: bcdboot for C:\Windows twice,
// then bootsect /nt60); the boot folder and the rebuild tick decide whether bcdboot runs at all.
TEST(Form1Completion, TheImageVersionAndTheBootFolderChooseTheBootTools) {
  const std::wstring bcd = L"C:\\boot\\bcd", efiBcd = L"C:\\EFI\\Microsoft\\Boot\\bcd";
  struct Case {
    Lines majors;
    int index;
    bool newer;
    bool rebuildTicked = true;
    Entry bootFolder = Entry::None, bootBcd = Entry::None, efiBcd = Entry::None;  // None: hidden or system
    bool rebuilds = true;
    Lines deleted = {};
  } cases[] = {
      // which version texts count as newer has its own test
      {{L"10"}, 0, true},         {{L"5"}, 0, false},        {{L""}, 0, true},  // no MAJOR element
      {{L"10", L"5"}, 1, false}, {{L"5", L"10"}, 1, true},
      {{L"10"}, 0, true, false, Entry::Folder, Entry::File, Entry::File, false},  // unticked, \boot visible
      // unticked, \boot hidden
      {{L"10"}, 0, true, false, Entry::None, Entry::File, Entry::None, true, {bcd}},
      {{L"10"}, 0, true, true, Entry::Folder, Entry::File, Entry::File, true, {bcd, efiBcd}},
      {{L"10"}, 0, true, true, Entry::Folder, Entry::Folder, Entry::None, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("row " + std::to_string(&c - cases));
    Rig rig;
    rig.StartApply(c.majors, c.index);
    rig.ui.checked[Ctl::Check1] = c.rebuildTicked;
    if (c.bootFolder != Entry::None) rig.sys.entries[L"C:\\boot"] = c.bootFolder;
    for (const auto& [path, entry] : {std::pair{bcd, c.bootBcd}, std::pair{efiBcd, c.efiBcd}}) {
      rig.sys.files[path] = "bcd";
      if (entry != Entry::None) rig.sys.entries[path] = entry;
    }
    rig.Complete();
    Lines deletedStores;
    for (const auto& line : Starting(rig.sys.log, L"delete C:\\")) {
      if (line.find(L"\\temp\\") == line.npos) deletedStores.push_back(line.substr(7));
    }
    EXPECT_EQ(deletedStores, c.deleted);
    const Lines runs = rig.Runs();
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.back(), kBootsect + (c.newer ? L"/nt60 C: /mbr" : L"/nt52 C: /mbr"));
    EXPECT_EQ(runs.size(), c.newer && c.rebuilds ? 3u : 1u);
  }
}

TEST(Form1DriveScan, ListsVisibleWindowsEntriesOfFixedDrivesOtherThanX) {
  FakeWindow ui;
  FakeSystem sys;
  sys.SetDrives({{L"C:", DriveType::Fixed}, {L"D:", DriveType::Fixed}, {L"E:", DriveType::Removable},
                 {L"F:", DriveType::CdRom}, {L"G:", DriveType::Fixed}, {L"H:", DriveType::Remote},
                 {L"X:", DriveType::Fixed}});
  sys.AddFile(L"D:\\Windows");     // a plain file counts
  sys.AddFolder(L"E:\\Windows");   // removable
  sys.AddFolder(L"F:\\Windows");   // optical
  sys.files[L"G:\\Windows"] = "";  // hidden: not seen
  sys.AddFolder(L"H:\\Windows");   // network
  sys.AddFolder(L"X:\\Windows");   // the preinstallation environment
  FindWindowsDirs(ui, sys);
  EXPECT_EQ(ui.lists[Ctl::RDriver], (Lines{L"C:\\Windows", L"D:\\Windows"}));

  sys.SetDrives({{L"E:", DriveType::Fixed}, {L"X:", DriveType::Fixed}});  // a second scan starts afresh
  FindWindowsDirs(ui, sys);
  EXPECT_EQ(ui.lists[Ctl::RDriver], Lines{L"E:\\Windows"});

  sys.SetDrives({{L"I:", DriveType::Fixed}});  // fixed drives without Windows: empty, silent
  FindWindowsDirs(ui, sys);
  EXPECT_TRUE(ui.lists[Ctl::RDriver].empty());
  EXPECT_TRUE(ui.boxes.empty());
}

// What the user is told at the end, and the restart: scheduled before the question, cancelled on
// request. No box of the completion lets the window close; after it the window is given back (focus,
// session end, inputs in order, taskbar at rest) and the apply's files are gone, also when they went
// missing before the end.
TEST(Form1Completion, TheUserIsToldAndTheRestartFollowsTheTick) {
  const Box restart{kStageDone + L"\n您的电脑将在5秒后重新启动！若想取消自动重启任务，请单击“取消”。", L"提示：",
                    MsgIcon::Exclamation, MsgButtons::OkCancel};
  const Box manual{L"未发现shutdown关机程序，请手动重启电脑！以完成安装！", L"提示：", MsgIcon::Information,
                   MsgButtons::Ok};
  const Box noDrives{L"未发现任何磁盘或光驱", L"Error!", MsgIcon::Information, MsgButtons::Ok};
  const std::wstring schedule = L"spawn shutdown.exe -r -f -t 5", cancel = L"spawn shutdown.exe -a";
  struct Case {
    const char* what;
    bool autoRestart;
    Entry shutdown;
    MsgAnswer answer;
    Boxes boxes;
    Lines spawns;
    bool fixedDrives = true;
    bool filesGone = false;
  } cases[] = {
      {"restart, OK", true, Entry::File, MsgAnswer::Ok, {restart}, {schedule}},
      {"restart cancelled", true, Entry::File, MsgAnswer::Cancel, {restart}, {schedule, cancel}},
      {"shutdown missing", true, Entry::None, MsgAnswer::Ok, {manual}, {}},
      {"shutdown a folder", true, Entry::Folder, MsgAnswer::Ok, {manual}, {}},
      {"restart unticked", false, Entry::File, MsgAnswer::Ok, {kStageDoneBox}, {}},
      {"apply files gone before", false, Entry::File, MsgAnswer::Ok, {kStageDoneBox}, {}, true, true},
      {"no fixed drive: the boot code all the same", false, Entry::None, MsgAnswer::Ok,
       {noDrives, kStageDoneBox}, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.ui.focus = Ctl::Command4;
    rig.StartApply();
    EXPECT_EQ(rig.ui.focus, std::nullopt);  // the window itself holds it while the inputs are locked
    EXPECT_EQ(rig.ui.sessionBlock, L"正在安装系统，无法关闭！");
    rig.sys.AddFile(kApplyErr, "");
    rig.ui.enabledOrder.clear();
    rig.ui.checked[Ctl::Check2] = c.autoRestart;
    if (c.shutdown != Entry::None) rig.sys.entries[kShutdown] = c.shutdown;
    if (!c.fixedDrives) rig.sys.SetDrives({{L"E:", DriveType::Removable}, {L"F:", DriveType::CdRom}});
    rig.sys.AddFolder(L"E:\\Windows");
    rig.ui.answers.push_back(c.answer);
    Boxes told;
    rig.ui.onBox = [&](const Box& box) {
      if (box.caption == L"警告！") return;
      told.push_back(box);
      EXPECT_FALSE(rig.form.OnQueryClose());
    };
    rig.FinishStages();
    for (const auto& path : {kApplyXml, kApplyBat, kApplyErr}) {
      if (c.filesGone) rig.sys.DeleteFile(path);
    }
    rig.ClearLogs();
    rig.form.OnTimer();  // the completion
    EXPECT_EQ(told, c.boxes);
    EXPECT_EQ(rig.Spawns(), c.spawns);
    if (!c.spawns.empty()) {
      const auto box = std::find(rig.journal.begin(), rig.journal.end(), L"box 提示： " + restart.text);
      EXPECT_LT(std::find(rig.journal.begin(), rig.journal.end(), schedule), box) << "scheduled first";
    }
    if (!c.fixedDrives) {
      EXPECT_TRUE(rig.ui.lists[Ctl::RDriver].empty());
      EXPECT_EQ(rig.Runs(), Lines{kBootsect + L"/nt60 C: /mbr"});
    }
    EXPECT_EQ(rig.ui.focus, Ctl::Command4);
    EXPECT_EQ(rig.ui.sessionBlock, L"");
    EXPECT_EQ(rig.ui.taskbarCalls.back(), L"value 0/100");
    EXPECT_EQ(rig.ui.enabledOrder, std::vector<Ctl>(std::begin(kRunInputs), std::end(kRunInputs)));
    for (const auto& path : {kApplyXml, kApplyBat, kApplyErr}) {
      EXPECT_FALSE(rig.sys.HasFile(path)) << Narrow(path);
    }
    rig.ExpectIdle();
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
      {"own folder, lower-case target", L"T:\\Windows /s", fails, L"10", true,
       L"bcdboot.exe（T:\\Windows，UEFI）", L"t:"},
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
    rig.StartApply({c.major});
    rig.ui.texts[Ctl::Text3] = c.target;
    rig.ui.checked[Ctl::Check1] = c.rebuild;
    rig.sys.AddFile(kShutdown);
    rig.sys.onRun = [&](const std::wstring& line) {
      return line.find(c.failing) != line.npos ? c.result : RunResult{true, 0};
    };
    rig.Complete();
    const bool bcdboot = c.major != std::wstring(L"5") && c.rebuild;
    EXPECT_EQ(rig.Runs().size(), bcdboot ? 5u : 1u) << "every step still runs";
    ASSERT_FALSE(rig.ui.boxes.empty());
    const Box& box = rig.ui.boxes[0];
    EXPECT_EQ(box.caption, L"提示：");
    if (c.named) {
      EXPECT_NE(box.text.find(c.named), std::wstring::npos) << Narrow(box.text);
      EXPECT_EQ(box.text.find(kStageDone), std::wstring::npos);
      EXPECT_TRUE(rig.Spawns().empty());
    } else {
      EXPECT_EQ(box.text.find(L"引导文件没有写好"), std::wstring::npos) << Narrow(box.text);
      EXPECT_EQ(rig.Spawns(), Lines{L"spawn shutdown.exe -r -f -t 5"});
    }
    EXPECT_EQ(rig.ui.Text(Ctl::Command4), L"开始安装");
  }
}

}  // namespace
}  // namespace morvane::testing
