// The steps after the image is applied: the Windows folders, the boot repair, the restart and the
// window given back.
#include <gtest/gtest.h>

#include "fakes.h"

namespace morvane::testing {
namespace {

const std::wstring kStageDone = L"这个阶段的安装完成，重新启动后，Sysprep部署阶段将开始！";
const std::wstring kRestart = L"spawn shutdown.exe -r -f -t 5";
using Box = FakeWindow::Box;
using Boxes = std::vector<Box>;

// Windows folders count on fixed drives other than X: (the preinstallation environment), also as a
// plain file, not when hidden (nor on optical or network drives: the same test as removable ones);
// bcdboot rebuilds them from the last, each after its status, the installed system's last of all
// (bcdboot makes it the default entry), then bootsect writes the boot code
// (that the window cannot close meanwhile: the Wine matrix's close during the last box).
TEST(Form1Completion, RebuildsEveryWindowsFolderFromTheLastThenWritesTheBootCode) {
  Rig rig;
  rig.sys.programFolder = L"D:\\Morvane Tools";  // a blank: the tools' paths are quoted
  rig.sys.AddFolder(L"C:\\Windows\\SysWOW64");  // the image tool comes from Bin64, the boot tools never
  rig.sys.drives = {{L"C:", DriveType::Fixed}, {L"D:", DriveType::Fixed}, {L"E:", DriveType::Removable},
                    {L"G:", DriveType::Fixed}, {L"T:", DriveType::Fixed}, {L"X:", DriveType::Fixed}};
  rig.sys.AddFile(L"D:\\Windows");
  rig.sys.files[L"G:\\Windows"] = "";  // hidden
  rig.sys.AddFolder(L"E:\\Windows");
  rig.sys.AddFolder(L"X:\\Windows");
  rig.StartApply();
  rig.FinishStages(true);

  EXPECT_EQ(rig.ui.lists[Ctl::RDriver], (Lines{L"C:\\Windows", L"D:\\Windows", L"T:\\Windows"}));
  Lines steps;  // the runs and the status line around them
  for (const auto& line : rig.journal) {
    if (line.rfind(Shown(Ctl::Status, L""), 0) == 0 || line.rfind(L"run ", 0) == 0) steps.push_back(line);
  }
  const std::wstring tools = L"run \"D:\\Morvane Tools\\Bin\\";
  const std::wstring d = tools + L"bcdboot.exe\" D:\\Windows /s C: ";
  const std::wstring c = tools + L"bcdboot.exe\" C:\\Windows /s C: ";
  const std::wstring t = tools + L"bcdboot.exe\" T:\\Windows /s C: ";
  const std::wstring boot = Shown(Ctl::Status, L"正在更新Boot"), idle = Shown(Ctl::Status, L"状态");
  EXPECT_EQ(steps, (Lines{boot, d + L"/l zh-cn", d + L"/f uefi /l zh-cn",  // the last folder first
                          boot, c + L"/l zh-cn", c + L"/f uefi /l zh-cn",
                          boot, t + L"/l zh-cn", t + L"/f uefi /l zh-cn",  // the installed system last, once
                          Shown(Ctl::Status, L"正在更新MBR"), tools + L"bootsect.exe\" /nt60 C: /mbr", idle, idle}));
}

// The selected image's major version chooses the boot tools (older: bootsect /nt52 alone); the
// boot folder and the rebuild tick decide whether bcdboot runs and which stores go first. Boot
// tool failures count only where they leave the installed system (T:\Windows) without boot files,
// or where a tool could not be started at all: then the user is told and nothing restarts.
TEST(Form1Completion, TheImageTheBootFolderAndTheInstalledSystemJudgeTheBootRepair) {
  const RunResult ok{true, 0}, fails{true, 1}, missing{false, 0};
  const std::wstring bcd = L"C:\\boot\\bcd", efi = L"C:\\EFI\\Microsoft\\Boot\\bcd";
  const Entry none = Entry::None, file = Entry::File, folder = Entry::Folder;
  struct Case {
    const char* what;
    const wchar_t* failing;  // the runs whose line holds this text end with `result`
    RunResult result;
    const wchar_t* named = nullptr;  // in the problem box; nullptr: no problem, the restart goes ahead
    const wchar_t* target = L"T:";
    Lines majors = {L"10"};
    int index = 0;
    bool rebuild = true;
    Entry boot = Entry::Folder, bootBcd = Entry::None, efiBcd = Entry::None;  // None: hidden or system
    bool bcdGoes = false, efiGoes = false;
    bool ownWindows = true;  // the image brought its Windows folder to the target
  } cases[] = {
      {"own folder fails in both forms", L"T:\\Windows /s", fails, L"bcdboot.exe（T:\\Windows）"},
      {"own folder, lower-case target", L"T:\\Windows /s", fails, L"bcdboot.exe（T:\\Windows，UEFI）", L"t:"},
      {"Windows 7 bcdboot: no /f", L"/f uefi", fails},
      {"own folder fails in the first form", L"T:\\Windows /s C: /l", fails},
      {"another folder fails", L"C:\\Windows /s", fails},
      {"bcdboot missing for another folder", L"C:\\Windows /s", missing, L"无法启动 bcdboot.exe（C:\\Windows）"},
      {"no Windows folder reached the target", nullptr, ok, L"bcdboot.exe（T:\\Windows）", L"T:", {L"10"}, 0, true,
       folder, none, none, false, false, false},
      {"no MAJOR element: newer", nullptr, ok, nullptr, L"T:", {L""}},
      {"second image older", nullptr, ok, nullptr, L"T:", {L"10", L"5"}, 1},
      {"second image newer", nullptr, ok, nullptr, L"T:", {L"5", L"10"}, 1},
      {"unticked: bcdboot would fail", L"bcdboot.exe", fails, nullptr, L"T:", {L"10"}, 0, false, folder, file,
       file},
      {"unticked, \\boot hidden", nullptr, ok, nullptr, L"T:", {L"10"}, 0, false, none, file, none, true},
      {"stores go first", nullptr, ok, nullptr, L"T:", {L"10"}, 0, true, folder, file, file, true, true},
      {"a store folder stays", nullptr, ok, nullptr, L"T:", {L"10"}, 0, true, folder, folder, none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.sys.AddFile(L"C:\\Windows\\System32\\shutdown.exe");
    rig.sys.entries[L"C:\\boot"] = c.boot;  // an entry None is one the look-up does not see
    rig.sys.files[bcd] = rig.sys.files[efi] = "bcd";
    rig.sys.entries[bcd] = c.bootBcd;
    rig.sys.entries[efi] = c.efiBcd;
    rig.StartApply(c.majors, c.index);
    rig.ui.texts[Ctl::Text3] = c.target;
    rig.ui.checked[Ctl::Check1] = c.rebuild;
    if (!c.ownWindows) rig.sys.entries.erase(L"T:\\Windows");
    rig.sys.onRun = [&](const std::wstring& line) {
      return c.failing && line.find(c.failing) != line.npos ? c.result : ok;
    };
    rig.FinishStages(true);
    EXPECT_EQ(rig.sys.HasFile(bcd), !c.bcdGoes);
    EXPECT_EQ(rig.sys.HasFile(efi), !c.efiGoes);
    const bool newer = c.majors[static_cast<size_t>(c.index)] != L"5";
    const Lines runs = rig.Logged(L"run ");
    EXPECT_EQ(runs.size(), newer && (c.rebuild || c.boot == Entry::None) ? 5u : 1u) << "every step runs";
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.back(), newer ? L"run D:\\Tools\\Bin\\bootsect.exe /nt60 C: /mbr"
                                 : L"run D:\\Tools\\Bin\\bootsect.exe /nt52 C: /mbr");
    ASSERT_FALSE(rig.ui.boxes.empty());
    EXPECT_EQ(rig.ui.boxes[0].caption, L"提示：");
    const std::wstring says = c.named ? c.named : kStageDone;  // the problem, or the restart box
    EXPECT_NE(rig.ui.boxes[0].text.find(says), std::wstring::npos) << Narrow(rig.ui.boxes[0].text);
    EXPECT_EQ(rig.Logged(L"spawn "), c.named ? Lines{} : Lines{kRestart});
  }
}

// What the user is told at the end, and the restart: scheduled before the question, cancelled on
// request (that no box of it lets the window close: the Wine suite). After it the window is given
// back (focus, session end, inputs in order) and the apply's files are gone, also when they went
// missing before.
TEST(Form1Completion, TheUserIsToldAndTheRestartFollowsTheTick) {
  const Box restart{kStageDone + L"\n您的电脑将在5秒后重新启动！若想取消自动重启任务，请单击“取消”。", L"提示：",
                    MsgIcon::Exclamation, MsgButtons::OkCancel};
  const Box manual{L"未发现shutdown关机程序，请手动重启电脑！以完成安装！", L"提示：", MsgIcon::Information,
                   MsgButtons::Ok};
  const Box noDrives{L"未发现任何磁盘或光驱", L"Error!", MsgIcon::Information, MsgButtons::Ok};
  const Box done{kStageDone, L"提示：", MsgIcon::Information, MsgButtons::Ok};
  const std::wstring cancel = L"spawn shutdown.exe -a";
  struct Case {
    const char* what;
    bool autoRestart;
    Entry shutdown;
    MsgAnswer answer;
    Boxes boxes;
    Lines spawns;
    bool fixedDrives = true, filesGone = false;
  } cases[] = {
      {"restart, OK", true, Entry::File, MsgAnswer::Ok, {restart}, {kRestart}},
      {"restart cancelled", true, Entry::File, MsgAnswer::Cancel, {restart}, {kRestart, cancel}},
      {"shutdown missing", true, Entry::None, MsgAnswer::Ok, {manual}, {}},
      {"shutdown a folder", true, Entry::Folder, MsgAnswer::Ok, {manual}, {}},
      {"restart unticked", false, Entry::File, MsgAnswer::Ok, {done}, {}},
      {"apply files gone before", false, Entry::File, MsgAnswer::Ok, {done}, {}, true, true},
      {"no fixed drive: the boot code all the same", false, Entry::None, MsgAnswer::Ok, {noDrives, done}, {},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.ui.focus = Ctl::Command4;
    rig.StartApply();
    EXPECT_EQ(rig.ui.focus, std::nullopt);  // the window itself holds it while the inputs are locked
    EXPECT_EQ(rig.ui.sessionBlock, L"正在安装系统，无法关闭！");
    rig.sys.AddFile(kApplyErr, "");
    rig.ui.checked[Ctl::Check2] = c.autoRestart;
    if (c.shutdown != Entry::None) rig.sys.entries[L"C:\\Windows\\System32\\shutdown.exe"] = c.shutdown;
    if (!c.fixedDrives) rig.sys.drives = {{L"E:", DriveType::Removable}, {L"F:", DriveType::CdRom}};
    rig.ui.answers.push_back(c.answer);
    rig.FinishStages();
    if (c.filesGone) rig.sys.files.clear();  // the apply's files among them
    rig.journal.clear();
    rig.ui.boxes.clear();
    rig.form.OnTimer();  // the completion
    EXPECT_EQ(rig.ui.boxes, c.boxes);
    EXPECT_EQ(rig.Logged(L"spawn "), c.spawns);
    const auto& j = rig.journal;
    EXPECT_TRUE(c.spawns.empty() || std::find(j.begin(), j.end(), kRestart) <
                                        std::find(j.begin(), j.end(), L"box 提示： " + restart.text))
        << "scheduled first";
    // The installed system gets its boot files also where the scan found no fixed drive.
    EXPECT_EQ(rig.Logged(L"run ").size(), c.fixedDrives ? 5u : 3u) << "the boot code all the same";
    EXPECT_EQ(rig.ui.focus, Ctl::Command4);
    EXPECT_EQ(rig.ui.sessionBlock, L"");
    EXPECT_EQ(rig.ui.enabledOrder, std::vector<Ctl>(std::begin(kRunInputs), std::end(kRunInputs)));
    EXPECT_FALSE(rig.sys.HasFile(kApplyXml) || rig.sys.HasFile(kApplyBat) || rig.sys.HasFile(kApplyErr));
    rig.ExpectIdle();
  }
}

}  // namespace
}  // namespace morvane::testing
