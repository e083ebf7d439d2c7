// The Start button: validation, confirmation, the format, and the launch of the apply batch.
#include <gtest/gtest.h>

#include <iterator>

#include "fakes.h"

namespace morvane::testing {
namespace {

const std::wstring kApplyXml = L"C:\\Windows\\temp\\apply.xml";
const std::wstring kApplyBat = L"C:\\Windows\\temp\\apply.bat";
const std::wstring kApplyErr = L"C:\\Windows\\temp\\apply.err";
const std::wstring kFormatLine = L"run C:\\Windows\\System32\\format.com T: /FS:NTFS /v:Win /q /x /y";
const std::wstring kConfirmT =
    L"警告：本操作将会删除[T:]盘上的所有数据，且不可恢复。\r\r若想继续，请单击“确定”。若想退出，请单击“取消”。";

const std::vector<Ctl> kInputs(std::begin(kRunInputs), std::end(kRunInputs));
const FakeWindow::Box kConfirmBox{kConfirmT, L"操作提示：", MsgIcon::Exclamation, MsgButtons::OkCancel};

// A loaded window with three images listed and the target T: chosen; the logs start empty.
void Prepare(Rig& rig) {
  rig.Load();
  rig.ChooseImage(L"E:\\sources\\install.wim", WimXml({L"10", L"10", L"10"}));
  rig.ui.SetText(Ctl::Text3, L"T:");
  rig.journal.clear();
  rig.ui.log.clear();
  rig.sys.log.clear();
}

bool Logged(const std::vector<std::wstring>& log, const std::wstring& prefix) { return !Starting(log, prefix).empty(); }

void ExpectIdle(Rig& rig) {
  EXPECT_EQ(rig.ui.Text(Ctl::Command4), L"开始安装");
  EXPECT_EQ(rig.ui.Text(Ctl::Status), L"状态");
  EXPECT_EQ(rig.ui.bar, 0);
  EXPECT_FALSE(rig.ui.timerEnabled);
  EXPECT_FALSE(rig.form.running());
  for (Ctl c : kRunInputs) EXPECT_TRUE(rig.ui.IsEnabled(c)) << static_cast<int>(c);
  const size_t boxes = rig.ui.boxes.size();
  EXPECT_TRUE(rig.form.OnQueryClose());
  EXPECT_EQ(rig.ui.boxes.size(), boxes);
}

TEST(Form1Install, AnInvalidSourceIsRefusedWithNothingChanged) {
  struct Case {
    const char* what;
    void (*spoil)(Rig&);
  } cases[] = {
      {"no image listed", [](Rig& r) { r.ChooseImage(L"E:\\empty.wim", L"<WIM></WIM>"); }},
      {"nothing selected", [](Rig& r) { r.ui.SetListIndex(Ctl::Combo0, -1); }},
      {"file gone",
       [](Rig& r) {
         r.sys.files.erase(L"E:\\sources\\install.wim");
         r.sys.entries.erase(L"E:\\sources\\install.wim");
       }},
      {"file hidden now", [](Rig& r) { r.sys.entries.erase(L"E:\\sources\\install.wim"); }},
      {"a folder now", [](Rig& r) { r.sys.AddFolder(L"E:\\sources\\install.wim"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    Prepare(rig);
    c.spoil(rig);
    rig.journal.clear();
    rig.form.OnCommand4();
    EXPECT_EQ(rig.ui.boxes,
              (std::vector<FakeWindow::Box>{{L"Windows源无效！", L"错误", MsgIcon::Stop, MsgButtons::Ok}}));
    EXPECT_EQ(rig.journal.size(), 1u);  // the box, nothing else
    EXPECT_TRUE(rig.ui.disabledOrder.empty());
  }
}

TEST(Form1Install, DriveFieldsAreCheckedBeforeAnythingIsFormatted) {
  // Target and boot drive. Q: does not exist, X: is the preinstallation drive, C: holds the
  // running Windows, E: the image and D: the program.
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"T", L"C:"},  {L"TT:", L"C:"},  {L"T:\\", L"C:"}, {L"", L"C:"},   {L"1:", L"C:"}, {L"T:", L"C"},
      {L"T:", L""},   {L"T:", L"C:\\"}, {L"Q:", L"C:"},   {L"X:", L"C:"}, {L"x:", L"C:"}, {L"C:", L"C:"},
      {L"c:", L"D:"}, {L"E:", L"C:"},   {L"D:", L"C:"},   {L"d:", L"C:"},
  };
  for (const auto& [target, boot] : cases) {
    SCOPED_TRACE(Narrow(target + L" / " + boot));
    Rig rig;
    rig.sys.SetDrives({{L"C:", DriveType::Fixed},
                       {L"D:", DriveType::Fixed},
                       {L"E:", DriveType::Fixed},
                       {L"T:", DriveType::Fixed},
                       {L"X:", DriveType::Fixed}});
    Prepare(rig);
    rig.ui.SetText(Ctl::Text3, target);
    rig.ui.SetText(Ctl::Text2, boot);
    rig.journal.clear();
    rig.form.OnCommand4();
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].caption, L"错误");
    EXPECT_EQ(rig.ui.boxes[0].icon, MsgIcon::Stop);
    EXPECT_EQ(rig.journal.size(), 1u) << "no run, no write, no taskbar call";
    EXPECT_TRUE(rig.ui.disabledOrder.empty());
    EXPECT_EQ(rig.ui.Text(Ctl::Status), L"状态");
    EXPECT_FALSE(rig.form.running());
  }

  Rig relative;  // an image typed as "T:install.wim" lies on the target T: too
  relative.sys.fullPaths[L"T:install.wim"] = L"T:\\install.wim";
  relative.sys.AddFile(L"T:\\install.wim");
  Prepare(relative);
  relative.ChooseImage(L"T:install.wim", WimXml({L"10"}));
  relative.form.OnCommand4();
  ASSERT_EQ(relative.ui.boxes.size(), 1u);
  EXPECT_NE(relative.ui.boxes[0].text.find(L"[T:]盘：所选的映像文件"), std::wstring::npos);

  Rig same;  // the boot files may go to the drive that is installed to
  Prepare(same);
  same.ui.SetText(Ctl::Text2, L"T:");
  same.ui.answers.push_back(MsgAnswer::Cancel);
  same.form.OnCommand4();
  EXPECT_EQ(same.ui.boxes, std::vector<FakeWindow::Box>{kConfirmBox});
}

TEST(Form1Install, CancelledConfirmationChangesNothing) {
  Rig rig;
  Prepare(rig);
  rig.ui.answers.push_back(MsgAnswer::Cancel);
  rig.form.OnCommand4();
  EXPECT_EQ(rig.ui.boxes, std::vector<FakeWindow::Box>{kConfirmBox});
  EXPECT_EQ(rig.journal.size(), 1u);
  EXPECT_EQ(rig.ui.taskbarCalls, std::vector<std::wstring>{L"create"});
  EXPECT_TRUE(rig.ui.disabledOrder.empty());
  EXPECT_FALSE(rig.sys.HasFile(kApplyXml));
  ExpectIdle(rig);
}

TEST(Form1Install, ConfirmedStartFormatsThenWritesAndStartsTheApplyInOrder) {
  Rig rig;
  rig.Load();
  rig.StartApply();  // a run before this one, which leaves its stage counters behind
  rig.FinishStages();
  rig.form.OnTimer();
  ASSERT_FALSE(rig.form.running());
  rig.ChooseImage(L"E:\\My Images\\install.wim", WimXml({L"10", L"10", L"10"}));
  rig.sys.shortPaths[L"E:\\My Images\\install.wim"] = L"E:\\MYIMAG~1\\install.wim";
  rig.ui.SetListIndex(Ctl::Combo0, 2);  // the third image: number 3
  rig.ui.SetText(Ctl::Text3, L"T:");
  rig.sys.AddFile(kApplyXml, "Done applying WIM image.\r\n");  // left by an earlier run
  rig.sys.AddFile(kApplyErr, "[ERROR] old\r\n");
  rig.journal.clear();

  rig.form.OnCommand4();

  const std::vector<std::wstring> expected = {
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
  };
  EXPECT_EQ(rig.journal, expected);
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
  Prepare(rig);
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
  EXPECT_EQ(Starting(rig.sys.log, L"run ").size(), 1u);
  EXPECT_EQ(Starting(rig.sys.log, L"start ").size(), 1u);

  EXPECT_FALSE(rig.form.OnQueryClose());  // and while the apply runs
  EXPECT_FALSE(rig.ui.closed);
}

TEST(Form1Install, AFailedFormatStopsBeforeTheApply) {
  for (const RunResult format : {RunResult{true, 1}, RunResult{false, 0}}) {
    SCOPED_TRACE(format.started ? "exit code 1" : "not started");
    Rig rig;
    Prepare(rig);
    rig.sys.onRun = [&](const std::wstring&) { return format; };
    rig.form.OnCommand4();
    ASSERT_EQ(rig.ui.boxes.size(), 2u);
    EXPECT_EQ(rig.ui.boxes[1].caption, L"错误");
    EXPECT_EQ(rig.ui.boxes[1].icon, MsgIcon::Stop);
    EXPECT_NE(rig.ui.boxes[1].text.find(L"T:"), std::wstring::npos);
    EXPECT_EQ(rig.ui.taskbarCalls, (std::vector<std::wstring>{L"create", L"state 1", L"state 0"}));
    EXPECT_FALSE(Logged(rig.sys.log, L"write "));
    EXPECT_FALSE(Logged(rig.sys.log, L"start "));
    EXPECT_FALSE(Logged(rig.journal, Shown(Ctl::Command4, L"正在安装")));
    EXPECT_EQ(rig.ui.enabledOrder, kInputs);
    ExpectIdle(rig);
  }
}

TEST(Form1Install, AnApplyThatCannotBeSetUpReturnsToIdle) {
  struct Case {
    const char* what;
    std::wstring unwritable;
    bool startFails;
    bool tempGoes = false;  // the Temp folder goes while the target is formatted
  } cases[] = {{"output file", kApplyXml, false},
               {"batch file", kApplyBat, false},
               {"start", L"", true},
               {"temp folder gone", L"", false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    Prepare(rig);
    rig.sys.unwritable.push_back(c.unwritable);
    if (c.tempGoes) rig.sys.onRun = [&rig](const std::wstring&) { return rig.sys.entries.erase(L"C:\\Windows\\Temp"), RunResult{true, 0}; };
    rig.sys.startWatchedFails = c.startFails;
    rig.form.OnCommand4();
    ASSERT_EQ(rig.ui.boxes.size(), 2u);
    EXPECT_EQ(rig.ui.boxes[1].caption, L"错误");
    EXPECT_EQ(Logged(rig.sys.log, L"start "), c.startFails);
    EXPECT_FALSE(Logged(rig.journal, L"timer on"));
    EXPECT_FALSE(rig.sys.HasFile(kApplyXml));
    EXPECT_FALSE(rig.sys.HasFile(kApplyBat));
    ExpectIdle(rig);
  }
}

TEST(Form1Install, AVersion5SystemGetsNoTaskbarCallsAtAll) {
  Rig rig;
  rig.sys.sysVer = 5;
  rig.Load();
  rig.StartApply();
  ASSERT_TRUE(rig.ui.timerEnabled);
  rig.sys.files[kApplyXml] = "Creating files: (0%)\rCreating files: 50 of 100 (50%) done\rCreating files: ";
  rig.form.OnTimer();
  EXPECT_EQ(rig.ui.bar, 50);
  rig.sys.files[kApplyXml] += "\r\nExtracting file data:\r\nDone applying WIM image.\r\n";
  rig.sys.watchedEnded = true;
  rig.form.OnTimer();
  EXPECT_EQ(rig.ui.Text(Ctl::Command4), L"开始安装");
  EXPECT_TRUE(rig.ui.taskbarCalls.empty());
}

}  // namespace
}  // namespace morvane::testing

namespace morvane::testing {
namespace {

// What the apply needs is looked for before the drive is wiped.
TEST(Form1InstallPrechecks, WhatTheApplyNeedsIsCheckedBeforeTheFormat) {
  struct Case {
    const wchar_t* mentions;
    void (*spoil)(Rig&);
  } cases[] = {
      {L"wimlib-imagex.exe", [](Rig& r) { r.sys.DeleteFile(L"D:\\Tools\\Bin\\wimlib-imagex.exe"); }},
      {L"C:\\Windows\\Temp", [](Rig& r) { r.sys.entries.erase(L"C:\\Windows\\Temp"); }},
      {L"无法写入批处理文件", [](Rig& r) { r.sys.programFolder = L"D:\\เครื่องมือ", r.PlaceTools(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.mentions));
    Rig rig;
    rig.Load();
    rig.ChooseImage(L"E:\\a.wim", WimXml({L"10"}));
    rig.ui.SetText(Ctl::Text3, L"T:");
    c.spoil(rig);
    rig.sys.log.clear();
    rig.form.OnCommand4();
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].caption, L"错误");
    EXPECT_NE(rig.ui.boxes[0].text.find(c.mentions), std::wstring::npos) << Narrow(rig.ui.boxes[0].text);
    EXPECT_TRUE(rig.sys.log.empty());  // no format, nothing written
    EXPECT_FALSE(rig.form.running());
  }
}

TEST(Form1QueryFailure, AToolThatFailsListsNothingOfWhatItWrote) {
  Rig rig;
  rig.Load();
  rig.sys.AddFile(L"E:\\a.wim");
  rig.sys.onRun = [&](const std::wstring&) {
    rig.sys.AddFile(L"C:\\Windows\\temp\\WIMInfo.xml", Utf16Le(WimXml({L"10", L"6"})));
    return RunResult{true, 3};
  };
  rig.ui.Type(L"E:\\a.wim");
  EXPECT_EQ(rig.ui.ListCount(Ctl::Combo0), 0);
  EXPECT_EQ(rig.ui.ListCount(Ctl::Combo1), 0);
  EXPECT_EQ(rig.ui.ListCount(Ctl::Combo2), 0);
}

}  // namespace
}  // namespace morvane::testing
