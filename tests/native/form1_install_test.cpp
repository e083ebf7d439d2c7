// The Start button: validation, confirmation, the format, and the launch of the apply batch.
#include <gtest/gtest.h>

#include <iterator>

#include "fakes.h"

namespace morvane::testing {
namespace {

const std::wstring kFormatLine = L"run C:\\Windows\\System32\\format.com T: /FS:NTFS /v:Win /q /x /y";
const std::wstring kConfirmT =
    L"警告：本操作将会删除[T:]盘上的所有数据，且不可恢复。\r\r若想继续，请单击“确定”。若想退出，请单击“取消”。";
const std::vector<Ctl> kInputs(std::begin(kRunInputs), std::end(kRunInputs));
const FakeWindow::Box kConfirmBox{kConfirmT, L"操作提示：", MsgIcon::Exclamation, MsgButtons::OkCancel};

bool Logged(const Lines& log, const std::wstring& prefix) { return !Starting(log, prefix).empty(); }

// Everything is checked before anything is formatted. Drives: Q: does not exist, X: is the
// preinstallation drive, C: holds the running Windows, E: the image and D: the program.
TEST(Form1Install, AStartThatCannotGoAheadIsRefusedBeforeAnyChange) {
  using Spoil = void (*)(Rig&);
  struct Case {
    const wchar_t *target, *boot;
    Spoil spoil = nullptr;
    std::wstring says = L"";  // in the box; empty: any refusal
    bool whole = false;  // the box says exactly that
  } cases[] = {
      {L"T", L"C:"},  {L"TT:", L"C:"},  {L"T:\\", L"C:"}, {L"", L"C:"},   {L"1:", L"C:"}, {L"T:", L"C"},
      {L"T:", L""},   {L"T:", L"C:\\"}, {L"Q:", L"C:"},   {L"X:", L"C:"}, {L"x:", L"C:"}, {L"C:", L"C:"},
      {L"c:", L"D:"}, {L"E:", L"C:"},   {L"D:", L"C:"},   {L"d:", L"C:"},
      {L"T:", L"C:", [](Rig& r) { r.ChooseImage(L"E:\\empty.wim", L"<WIM></WIM>"); }, L"Windows源无效！", true},
      {L"T:", L"C:", [](Rig& r) { r.ui.SetListIndex(Ctl::Combo0, -1); }, L"Windows源无效！", true},
      {L"T:", L"C:", [](Rig& r) { r.sys.DeleteFile(L"E:\\sources\\install.wim"); }, L"Windows源无效！", true},
      {L"T:", L"C:", [](Rig& r) { r.sys.entries.erase(L"E:\\sources\\install.wim"); }, L"Windows源无效！", true},
      {L"T:", L"C:", [](Rig& r) { r.sys.AddFolder(L"E:\\sources\\install.wim"); }, L"Windows源无效！", true},
      {L"T:", L"C:",  // an image typed as "T:install.wim" lies on the target T: too
       [](Rig& r) {
         r.sys.fullPaths[L"T:install.wim"] = L"T:\\install.wim";
         r.sys.AddFile(L"T:\\install.wim");
         r.ChooseImage(L"T:install.wim", WimXml({L"10"}));
       },
       L"[T:]盘：所选的映像文件"},
      {L"T:", L"C:", [](Rig& r) { r.sys.DeleteFile(L"D:\\Tools\\Bin\\wimlib-imagex.exe"); }, L"wimlib-imagex.exe"},
      {L"T:", L"C:", [](Rig& r) { r.sys.entries.erase(L"C:\\Windows\\Temp"); }, L"C:\\Windows\\Temp"},
      {L"T:", L"C:",  // the apply line is written before the drive is wiped
       [](Rig& r) {
         r.sys.programFolder = L"D:\\เครื่องมือ";
         r.PlaceTools();
       },
       L"无法写入批处理文件"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(std::wstring(c.target) + L" / " + c.boot + L" " + c.says));
    Rig rig;
    rig.sys.SetDrives({{L"C:", DriveType::Fixed},
                       {L"D:", DriveType::Fixed},
                       {L"E:", DriveType::Fixed},
                       {L"T:", DriveType::Fixed},
                       {L"X:", DriveType::Fixed}});
    rig.Load();
    rig.Prepare({L"10", L"10", L"10"});
    rig.ui.SetText(Ctl::Text3, c.target);
    rig.ui.SetText(Ctl::Text2, c.boot);
    if (c.spoil) c.spoil(rig);
    rig.ClearLogs();
    rig.form.OnCommand4();
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    const FakeWindow::Box& box = rig.ui.boxes[0];
    EXPECT_EQ(box.caption, L"错误");
    EXPECT_EQ(box.icon, MsgIcon::Stop);
    EXPECT_EQ(box.buttons, MsgButtons::Ok);
    EXPECT_NE(box.text.find(c.says), std::wstring::npos) << Narrow(box.text);
    if (c.whole) {
      EXPECT_EQ(box.text, c.says);
    }
    EXPECT_EQ(rig.journal.size(), 1u) << "the box alone: no run, no write, no taskbar call";
    EXPECT_TRUE(rig.ui.disabledOrder.empty());
    EXPECT_EQ(rig.ui.Text(Ctl::Status), L"状态");
    EXPECT_FALSE(rig.form.running());
  }
}

TEST(Form1Install, ACancelledConfirmationChangesNothing) {
  Rig rig;
  rig.Load();
  rig.Prepare();
  rig.ui.SetText(Ctl::Text2, L"T:");  // the boot files may go to the drive that is installed to
  rig.ui.answers.push_back(MsgAnswer::Cancel);
  rig.form.OnCommand4();
  EXPECT_EQ(rig.ui.boxes, std::vector<FakeWindow::Box>{kConfirmBox});
  EXPECT_EQ(rig.journal.size(), 1u);
  EXPECT_EQ(rig.ui.taskbarCalls, Lines{L"create"});
  EXPECT_TRUE(rig.ui.disabledOrder.empty());
  EXPECT_FALSE(rig.sys.HasFile(kApplyXml));
  rig.ExpectIdle();
}

TEST(Form1Install, AConfirmedStartFormatsThenWritesAndStartsTheApplyInOrder) {
  Rig rig;
  rig.Load();
  rig.StartApply();  // a run before this one, which leaves its stage counters behind
  rig.FinishStages();
  rig.form.OnTimer();
  ASSERT_FALSE(rig.form.running());
  rig.ChooseImage(L"E:\\My Images\\install.wim", WimXml({L"10", L"10", L"10"}));
  rig.sys.shortPaths[L"E:\\My Images\\install.wim"] = L"E:\\MYIMAG~1\\install.wim";
  rig.ui.SetListIndex(Ctl::Combo0, 2);  // the third image: number 3
  rig.sys.AddFile(kApplyXml, "Done applying WIM image.\r\n");  // left by an earlier run
  rig.sys.AddFile(kApplyErr, "[ERROR] old\r\n");
  rig.journal.clear();

  rig.form.OnCommand4();

  EXPECT_EQ(rig.journal,
            (Lines{
                L"box 操作提示： " + kConfirmT,
                L"taskbar state 1",
                Shown(Ctl::Status, L"正在格式化磁盘 [T:]"),
                kFormatLine,
                L"taskbar state 0",
                Shown(Ctl::Command4, L"正在安装"),
                L"delete " + kApplyErr,
                L"write " + kApplyXml + L" \r\n",
                L"write " + kApplyBat +
                    L" \"D:\\Tools\\Bin\\wimlib-imagex.exe\" apply \"E:\\MYIMAG~1\\install.wim\" 3 T:\\ "
                    L">\"C:\\Windows\\temp\\apply.xml\" 2>\"C:\\Windows\\temp\\apply.err\"\r\n",
                L"start C:\\Windows\\System32\\cmd.exe /d /v:off /c \"\"C:\\Windows\\temp\\apply.bat\"\"",
                L"timer on",
            }));
  EXPECT_EQ(rig.sys.FileText(kApplyXml), L"\r\n");
  EXPECT_EQ(rig.ui.timerInterval, 100);
  const StageCounters& s = rig.form.state().stages;
  EXPECT_EQ(s.creating + s.extracting + s.metadata, 0);
  EXPECT_TRUE(rig.form.running());
  rig.ui.disabledOrder.resize(kInputs.size());  // disabled once more with the caption: harmless
  EXPECT_EQ(rig.ui.disabledOrder, kInputs);
  for (Ctl c : kRunInputs) EXPECT_FALSE(rig.ui.IsEnabled(c)) << static_cast<int>(c);
}

TEST(Form1Install, TheWindowIsLockedFromTheConfirmationOn) {
  Rig rig;
  rig.Load();
  rig.Prepare();
  rig.sys.AddFile(L"E:\\other.wim");
  bool allowed = true;
  rig.sys.onRun = [&](const std::wstring& line) {
    EXPECT_EQ(L"run " + line, kFormatLine);
    EXPECT_EQ(rig.ui.disabledOrder, kInputs);
    EXPECT_EQ(rig.ui.Text(Ctl::Command4), L"开始安装");  // the caption changes after the format
    allowed = rig.form.OnQueryClose();
    rig.form.OnCommand4();  // pressed again
    rig.form.OnDrop(true, {L"E:\\other.wim"});
    rig.ui.pickedFiles.push_back(L"E:\\other.wim");
    rig.form.OnCommand1();
    rig.ui.pickedFolders.push_back(L"D:\\");
    rig.form.OnCommand3();
    return RunResult{true, 0};
  };
  rig.form.OnCommand4();

  EXPECT_FALSE(allowed);
  ASSERT_EQ(rig.ui.boxes.size(), 2u);  // the confirmation and the refused close
  EXPECT_EQ(rig.ui.boxes[1].text, L"正在安装系统，无法关闭！");
  EXPECT_EQ(rig.ui.Text(Ctl::Text1), L"E:\\sources\\install.wim");
  EXPECT_EQ(rig.ui.Text(Ctl::Text3), L"T:");
  EXPECT_EQ(rig.Runs().size(), 1u);
  EXPECT_EQ(Starting(rig.sys.log, L"start ").size(), 1u);
  EXPECT_FALSE(rig.form.OnQueryClose());  // and while the apply runs
  EXPECT_FALSE(rig.ui.closed);
}

TEST(Form1Install, AFormatOrAnApplyThatFailsReturnsToIdle) {
  struct Case {
    const char* what;
    RunResult format;
    std::wstring unwritable;
    bool startFails = false;
    bool tempGoes = false;  // the Temp folder goes while the target is formatted
  } cases[] = {
      {"format exit code 1", {true, 1}, L""},
      {"format not started", {false, 0}, L""},
      {"output file", {true, 0}, kApplyXml},
      {"batch file", {true, 0}, kApplyBat},
      {"start", {true, 0}, L"", true},
      {"temp folder gone", {true, 0}, L"", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.Load();
    rig.Prepare();
    rig.sys.unwritable.insert(c.unwritable);
    rig.sys.startWatchedFails = c.startFails;
    rig.sys.onRun = [&](const std::wstring&) {
      if (c.tempGoes) rig.sys.entries.erase(L"C:\\Windows\\Temp");
      return c.format;
    };
    rig.form.OnCommand4();
    ASSERT_EQ(rig.ui.boxes.size(), 2u);
    EXPECT_EQ(rig.ui.boxes[1].caption, L"错误");
    EXPECT_EQ(rig.ui.boxes[1].icon, MsgIcon::Stop);
    EXPECT_EQ(Logged(rig.sys.log, L"start "), c.startFails);
    EXPECT_FALSE(Logged(rig.journal, L"timer on"));
    EXPECT_FALSE(rig.sys.HasFile(kApplyXml));
    EXPECT_FALSE(rig.sys.HasFile(kApplyBat));
    EXPECT_EQ(rig.ui.enabledOrder, kInputs);
    if (!c.format.started || c.format.exitCode != 0) {
      EXPECT_NE(rig.ui.boxes[1].text.find(L"T:"), std::wstring::npos);
      EXPECT_EQ(rig.ui.taskbarCalls, (Lines{L"create", L"state 1", L"state 0"}));
      EXPECT_FALSE(Logged(rig.sys.log, L"write "));
      EXPECT_FALSE(Logged(rig.journal, Shown(Ctl::Command4, L"正在安装")));
    }
    rig.ExpectIdle();
  }
}

}  // namespace
}  // namespace morvane::testing
