// The Start button: validation, confirmation, the format, and the launch of the apply batch.
#include <gtest/gtest.h>

#include "fakes.h"

namespace morvane::testing {
namespace {

const std::wstring kConfirmT =
    L"警告：本操作将会删除[T:]盘上的所有数据，且不可恢复。\r\r若想继续，请单击“确定”。若想退出，请单击“取消”。";
const std::vector<Ctl> kInputs(std::begin(kRunInputs), std::end(kRunInputs));

// Everything is checked before anything is formatted. Drives: Q: does not exist, C: holds the
// running Windows, E: the image and D: the program (which
// field texts are refused has its own test: one of each kind here). A format or a launch that fails
// after the confirmation returns the window to rest without the apply's files.
TEST(Form1Install, AStartThatCannotGoAheadIsRefusedBeforeAnyChangeOrEndsAtRest) {
  struct Case {
    const wchar_t *target, *boot;
    void (*spoil)(Rig&) = nullptr;
    std::wstring says = L"";  // in the box; empty: any refusal
    bool whole = false;       // the box says exactly that
    bool confirmed = false;   // the refusal comes after the confirmation
  } cases[] = {
      {L"TT:", L"C:"}, {L"T:", L"C"},   {L"Q:", L"C:"},
      {L"c:", L"D:"},  {L"E:", L"C:"}, {L"d:", L"C:"},
      {L"T:", L"C:", [](Rig& r) { r.ChooseImage(L"E:\\empty.wim", L"<WIM></WIM>"); }, L"Windows源无效！", true},
      {L"T:", L"C:",  // an image typed as "T:install.wim" lies on the target T: too
       [](Rig& r) {
         r.sys.fullPaths[L"T:install.wim"] = L"T:\\install.wim";
         r.sys.AddFile(L"T:\\install.wim");
         r.ChooseImage(L"T:install.wim", WimXml({L"10"}));
       },
       L"[T:]盘：所选的映像文件"},
      {L"T:", L"C:", [](Rig& r) { r.sys.DeleteFile(L"D:\\Tools\\Bin\\wimlib-imagex.exe"); },
       L"wimlib-imagex.exe"},
      {L"T:", L"C:", [](Rig& r) { r.sys.entries.erase(L"C:\\Windows\\Temp"); }, L"C:\\Windows\\Temp"},
      {L"T:", L"C:",  // the apply line is written before the drive is wiped
       [](Rig& r) {
         r.sys.programFolder = L"D:\\เครื่องมือ";
         r.AddTools();
       },
       L"无法写入批处理文件"},
      // The boot tools the run will start: bcdboot where the boot files are rebuilt for a newer image.
      {L"T:", L"C:", [](Rig& r) { r.sys.DeleteFile(L"D:\\Tools\\Bin\\bcdboot.exe"); },
       L"找不到引导工具“D:\\Tools\\Bin\\bcdboot.exe”，无法安装。", true},
      {L"T:", L"C:", [](Rig& r) { r.sys.files[L"D:\\Tools\\Bin\\bootsect.exe"] = PeFile(0xAA64); },
       L"引导工具“D:\\Tools\\Bin\\bootsect.exe”是 ARM64 程序，这个系统只能运行 x64、x86 程序，无法安装。", true},
      {L"T:", L"C:",  // no rebuild, so no bcdboot needed: the run goes as far as the format
       [](Rig& r) {
         r.sys.DeleteFile(L"D:\\Tools\\Bin\\bcdboot.exe");
         r.sys.AddFolder(L"C:\\boot");
         r.ui.checked[Ctl::Check1] = false;
         r.sys.onRun = [](const std::wstring&) { return RunResult{true, 1}; };
       },
       L"格式化磁盘[T:]失败", false, true},
      {L"T:", L"C:", [](Rig& r) { r.sys.onRun = [](const std::wstring&) { return RunResult{true, 1}; }; },
       L"格式化磁盘[T:]失败", false, true},
      {L"T:", L"C:", [](Rig& r) { r.sys.unwritable.insert(kApplyXml); }, kApplyXml, false, true},
      {L"T:", L"C:", [](Rig& r) { r.sys.unwritable.insert(kApplyBat); }, kApplyBat, false, true},
      {L"T:", L"C:", [](Rig& r) { r.sys.startWatchedFails = true; }, kApplyBat, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(std::wstring(c.target) + L" / " + c.boot + L" " + c.says));
    Rig rig;
    rig.StartApply({L"10", L"10"}, 0, false);
    rig.ui.SetText(Ctl::Text3, c.target);
    rig.ui.SetText(Ctl::Text2, c.boot);
    if (c.spoil) c.spoil(rig);
    rig.journal.clear();
    rig.form.OnCommand4();
    rig.ExpectError(c.confirmed ? 2 : 1, c.says);
    EXPECT_TRUE(!c.whole || rig.ui.boxes[0].text == c.says);
    EXPECT_TRUE(c.confirmed || rig.journal.size() == 1u) << "the box alone: no run, no write";
    EXPECT_EQ(rig.ui.disabledOrder, c.confirmed ? kInputs : std::vector<Ctl>());
    EXPECT_EQ(rig.ui.enabledOrder, c.confirmed ? kInputs : std::vector<Ctl>());
    EXPECT_EQ(rig.Logged(L"start ").size(), rig.sys.startWatchedFails ? 1u : 0u);
    EXPECT_TRUE(rig.Logged(L"timer on").empty());
    EXPECT_FALSE(rig.sys.HasFile(kApplyXml) || rig.sys.HasFile(kApplyBat));
    const Lines states = c.confirmed ? Lines{L"taskbar state 1", L"taskbar state 0"} : Lines{};
    EXPECT_EQ(rig.Logged(L"taskbar state"), states);
    const bool formatFailed = c.says == L"格式化磁盘[T:]失败";  // then nothing is written, nor shown as running
    EXPECT_TRUE(!formatFailed || rig.Logged(L"write ").empty());
    EXPECT_TRUE(!formatFailed || rig.Logged(Shown(Ctl::Command4, L"正在安装")).empty());
    rig.ExpectIdle();
  }
}

// The confirmed Start locks the window at once: while the target is formatted nothing the user does
// (Start again, a drop, the pickers, a close) changes anything, and closing and the end of the
// session are refused with a box. (A cancelled confirmation: the Wine suite.)
TEST(Form1Install, AConfirmedStartFormatsThenWritesAndStartsTheApplyInOrder) {
  Rig rig;
  rig.StartApply({L"10"}, 0, false);
  rig.ChooseImage(L"E:\\My Images\\install.wim", WimXml({L"10", L"10", L"10"}));
  rig.sys.shortPaths[L"E:\\My Images\\install.wim"] = L"E:\\MYIMAG~1\\install.wim";
  rig.ui.SetListIndex(Ctl::Combo0, 2);  // the third image: number 3
  rig.sys.AddFile(kApplyXml, "Done applying WIM image.\r\n");  // left by an earlier run
  rig.sys.AddFile(kApplyErr, "[ERROR] old\r\n");
  rig.sys.AddFile(L"E:\\other.wim");
  rig.ui.SetText(Ctl::Text2, L"T:");  // the boot files may go to the drive that is installed to
  rig.journal.clear();
  rig.sys.onRun = [&](const std::wstring&) {
    EXPECT_EQ(rig.ui.disabledOrder, kInputs);
    EXPECT_FALSE(rig.form.OnQueryClose());
    EXPECT_FALSE(rig.form.OnQueryEndSession());
    rig.form.OnCommand4();  // pressed again
    rig.form.OnDrop(true, {L"E:\\other.wim"});
    rig.ui.pickedFiles.push_back(L"E:\\other.wim");
    rig.form.OnCommand1();
    rig.ui.pickedFolders.push_back(L"D:\\");
    rig.form.OnCommand3();
    return RunResult{true, 0};
  };

  rig.form.OnCommand4();

  EXPECT_EQ(rig.ui.boxes[0],
            (FakeWindow::Box{kConfirmT, L"操作提示：", MsgIcon::Exclamation, MsgButtons::OkCancel}));
  EXPECT_EQ(rig.ui.boxes[1], (FakeWindow::Box{L"正在安装系统，无法关闭！", L"警告！", MsgIcon::Stop, MsgButtons::Ok}));
  EXPECT_EQ(rig.journal,
            (Lines{
                L"box 操作提示： " + kConfirmT,
                L"taskbar state 1",
                Shown(Ctl::Status, L"正在格式化磁盘 [T:]"),
                L"run C:\\Windows\\System32\\format.com T: /FS:NTFS /v:Win /q /x /y",
                L"box 警告！ 正在安装系统，无法关闭！",
                L"box 警告！ 正在安装系统，无法关闭！",
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
  EXPECT_EQ(rig.ui.Text(Ctl::Text1), L"E:\\My Images\\install.wim");
  EXPECT_EQ(rig.ui.Text(Ctl::Text3), L"T:");
  EXPECT_TRUE(rig.form.running());
  for (Ctl c : kRunInputs) EXPECT_FALSE(rig.ui.IsEnabled(c)) << static_cast<int>(c);
  EXPECT_FALSE(rig.form.OnQueryClose());  // and while the apply runs
}

}  // namespace
}  // namespace morvane::testing
