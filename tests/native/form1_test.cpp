// Whole flows of the window against the fake platform: start-up, the image query, Start, the watch,
// the boot repair and the restart, the view toggle and the focus.
#include "app/layout.h"
#include "fakes.h"

namespace morvane {
namespace {

// The tools folder is Bin64 where the Windows folder has a SysWOW64 folder (not a file of that
// name). A missing Temp folder is made at start-up, and the user told once when it cannot be; a
// hidden one is there all the same. Version 5 gets no taskbar object.
TEST(Form1, StartUp) {
  enum Temp { Visible, Missing, Uncreatable, Hidden };  // Hidden: making it would fail too
  const std::tuple<Entry, Temp, int16_t, const wchar_t*> rows[] = {{Entry::Folder, Visible, 10, L"\\Bin64"},
      {Entry::File, Missing, 5, L"\\Bin"}, {Entry::None, Uncreatable, 10, L"\\Bin"}, {Entry::None, Hidden, 10, L"\\Bin"}};
  for (const auto& [sysWow64, temp, sysVer, bin] : rows) {
    Rig rig;
    rig.sysVer = sysVer;
    if (sysWow64 != Entry::None) rig.entries[L"C:\\Windows\\SysWOW64"] = sysWow64;
    if (temp != Visible) rig.entries.erase(L"C:\\Windows\\Temp");
    if (temp >= Uncreatable) rig.unwritable.insert(L"C:\\Windows\\Temp");
    if (temp == Hidden) rig.hidden.insert(L"C:\\Windows\\TEMP");
    rig.form.OnLoad();
    EXPECT_EQ(rig.form.state().binDir, bin);
    EXPECT_EQ(rig.boxes.size(), temp == Uncreatable ? 1u : 0u) << temp;
    EXPECT_EQ(rig.FolderExists(L"C:\\Windows\\Temp"), temp != Uncreatable);
    EXPECT_EQ(rig.Logged(L"taskbar create").size(), sysVer > 5 ? 1u : 0u);
  }
}

// Only a file the look-up sees is queried, never a device or a folder, and only a tool that ended
// well is read. A path the batch file cannot carry goes by its short form, or is refused with a box.
TEST(Form1, TheImageQuery) {
  const std::tuple<wstring, uint32_t, const wchar_t*> rows[] = {
      {L"E:\\a.wim", 0, L"\"D:\\Tools\\Bin\\wimlib-imagex.exe\" info \"E:\\a.wim\" --extract-xml"},
      {L"E:\\a.wim", 1, L" info "}, {L"C:\\Windows", 0, nullptr}, {L"CON", 0, nullptr},
      {L"E:\\ภาพ\\b.wim", 0, L" info \"E:\\8D2F~1\\b.wim\" "}, {L"E:\\ภาพ\\a.wim", 0, nullptr}};
  for (const auto& [text, exitCode, batchHolds] : rows) {
    Rig rig;
    rig.Choose();
    for (auto* file : {L"CON", L"E:\\a.wim", L"E:\\ภาพ\\a.wim", L"E:\\ภาพ\\b.wim"}) rig.AddFile(file);
    rig.shortPaths[L"E:\\ภาพ\\b.wim"] = L"E:\\8D2F~1\\b.wim";
    rig.onRun = [code = exitCode](const wstring&) { return RunResult{true, code}; };
    rig.SetText(Ctl::Text1, text);
    const Lines writes = rig.Logged(L"write ");
    EXPECT_THAT(writes.empty() ? L"(none)" : writes[0], HasSubstr(batchHolds ? batchHolds : L"(none)")) << text;
    EXPECT_EQ(rig.ListCount(Ctl::Combo0), batchHolds && !exitCode ? 1 : 0) << text;
    EXPECT_EQ(rig.boxes.size(), text == L"E:\\ภาพ\\a.wim" ? 1u : 0u);
  }
}

// While a query waits for its tool, the text typed last is queried once after it, and a Start
// pressed meanwhile then goes ahead with those lists; a close asked for meanwhile ends the query's
// processes, leaves their output unread and wins over both.
TEST(Form1, WhatTheUserDoesDuringAQuery) {
  for (const bool close : {false, true}) {
    Rig rig;
    rig.form.OnLoad();
    for (auto* file : {L"E:\\a.wim", L"E:\\b.wim", L"E:\\c.wim"}) rig.AddFile(file);
    rig.onRun = [&](const wstring&) {
      if (rig.Logged(L"run ").size() == 1) {
        rig.SetText(Ctl::Text1, L"E:\\b.wim");
        rig.form.OnCommand4();
        rig.SetText(Ctl::Text1, L"E:\\c.wim");
        EXPECT_TRUE(!close || !rig.form.OnQueryClose());
      }
      return RunResult{true, 0};
    };
    rig.answers = {MsgAnswer::Cancel};
    rig.SetText(Ctl::Text1, L"E:\\a.wim");
    EXPECT_EQ(rig.closed, close);
    EXPECT_EQ(rig.Logged(L"cancel wait").size(), close ? 1u : 0u);
    EXPECT_EQ(rig.Logged(L"write ").size(), close ? 1u : 2u);  // a.wim's query, then c.wim's
    EXPECT_THAT(rig.Logged(L"write "), ::testing::Contains(HasSubstr(close ? L"a.wim" : L"c.wim")));
    EXPECT_EQ(rig.ListCount(Ctl::Combo0), close ? 0 : 2);
    EXPECT_EQ(rig.Logged(L"box 操作提示：").size(), close ? 0u : 1u);
  }
}

// What stops a Start is found before the target is formatted: the image on the target (typed
// drive-relative), a missing tool (bcdboot only where the boot files are rebuilt for a newer
// image), no Temp folder, a path the apply batch cannot carry. A failed format stops the run before
// anything is written. Each ends at rest with its error box.
TEST(Form1, AStartThatCannotGoAhead) {
  const wchar_t* const formatFailed = L"格式化磁盘[T:]失败";
  const std::pair<const wchar_t*, std::function<void(Rig&)>> rows[] = {
      {L"[T:]盘：所选的映像文件", [](Rig& r) {
         r.volumeQueries = false;  // the letter of its full path alone tells
         r.fullPaths[L"T:install.wim"] = L"T:\\install.wim";
         r.AddFile(L"T:\\install.wim");
         r.SetText(Ctl::Text1, L"T:install.wim");
       }},
      {L"找不到映像工具“D:\\Tools\\Bin\\wimlib-imagex.exe”", [](Rig& r) { r.DeleteFile(L"D:\\Tools\\Bin\\wimlib-imagex.exe"); }},
      {L"找不到引导工具“D:\\Tools\\Bin\\bcdboot.exe”", [](Rig& r) { r.DeleteFile(L"D:\\Tools\\Bin\\bcdboot.exe"); }},
      {formatFailed, [](Rig& r) {
         r.DeleteFile(L"D:\\Tools\\Bin\\bcdboot.exe");  // not needed: no rebuild
         r.entries[L"C:\\boot"] = Entry::Folder;
         r.checked[Ctl::Check1] = false;
         r.onRun = [](const wstring&) { return RunResult{true, 1}; };
       }},
      {L"“C:\\Windows\\Temp”不存在", [](Rig& r) { r.entries.erase(L"C:\\Windows\\Temp"); }},
      {L"无法写入批处理文件", [](Rig& r) { r.programFolder = L"D:\\เครื่องมือ", r.AddTools(); }}};
  for (const auto& [says, spoil] : rows) {
    Rig rig;
    rig.Choose();
    spoil(rig);
    rig.journal.clear();
    rig.form.OnCommand4();
    ASSERT_FALSE(rig.boxes.empty());
    EXPECT_THAT(rig.boxes.back(), HasSubstr(says));
    EXPECT_EQ(rig.Logged(L"run ").size(), says == formatFailed ? 1u : 0u) << rig.boxes.back();
    EXPECT_TRUE(rig.Idle());
  }
}

// A confirmed Start locks the window (no close, no session end, no second Start), formats the
// target and starts the apply, whose watch starts at 100 ms and from the first stage in every run.
// Boot repair is judged by the installed system alone: a box naming what failed, and no restart,
// only where every bcdboot run for T:\Windows failed (also when the image brought none) or a boot
// tool could not start. Every other Windows folder of the fixed drives but X: gets its boot files
// first, the last listed first, and the installed system, also on a removable drive, last. The
// image's version decides on bcdboot and the boot code, not the system's (version 5 gets no taskbar
// calls). An apply that ended without its done line fails with the tool's last error line. Each run
// gives the window back with the focus where it was; a click on the status line tells the bar.
TEST(Form1, Runs) {
  struct Row {
    const wchar_t *failing, *named;  // the runs naming `failing` end with `result`; `named`: in the last box
    RunResult result;
    size_t runs;    // the format's too
    int index = 0, sysVer = 10;  // index: of images of versions 10, 5
    bool removable = false, ownWindows = true, done = true, cancel = false;
  } rows[] = {{nullptr, nullptr, {}, 8},
              {nullptr, nullptr, {}, 8, 0, 10, false, true, true, true},  // the restart cancelled
              {L"T:\\Windows /s", L"bcdboot.exe（T:\\Windows） 失败（退出代码 1）", {true, 1}, 8},
              {L"/f uefi", nullptr, {true, 1}, 8},  // the bcdboot of Windows 7
              {L"C:\\Windows /s", nullptr, {true, 1}, 8},
              {L"bootsect", L"无法启动 bootsect.exe", {false, 0}, 8},
              {nullptr, L"bcdboot.exe（T:\\Windows，UEFI）", {}, 8, 0, 10, false, false},
              {nullptr, nullptr, {}, 2, 1},
              {nullptr, nullptr, {}, 8, 0, 5},
              {nullptr, nullptr, {}, 8, 0, 10, true},
              {nullptr, L"wimlib-imagex 报告：[ERROR] b", {}, 1, 0, 10, false, true, false}};
  Rig rig;
  rig.AddFile(L"C:\\Windows\\System32\\shutdown.exe");
  rig.AddFile(L"D:\\Windows");  // a plain file counts
  rig.entries[L"X:\\Windows"] = Entry::Folder;
  rig.Choose({L"10", L"5"});
  for (const Row& r : rows) {
    rig.sysVer = static_cast<int16_t>(r.sysVer);
    rig.drives[L"T:"] = r.removable ? DriveType::Removable : DriveType::Fixed;
    rig.entries[L"T:\\Windows"] = r.ownWindows ? Entry::Folder : Entry::None;
    rig.SetListIndex(Ctl::Combo0, r.index);
    rig.answers = {MsgAnswer::Ok, r.cancel ? MsgAnswer::Cancel : MsgAnswer::Ok};
    rig.answered = 0;
    rig.focus = Ctl::Check1;
    rig.interval = 1000;  // as a run that failed in its extraction left it
    rig.journal.clear();
    rig.onRun = [&](const wstring& line) {
      if (line.find(L"format.com") != npos) {
        EXPECT_FALSE(rig.form.OnQueryClose() || rig.form.OnQueryEndSession());
        rig.form.OnCommand4();
      }
      return r.failing && line.find(r.failing) != npos ? r.result : RunResult{true, 0};
    };
    rig.form.OnCommand4();
    EXPECT_TRUE(rig.form.running() && rig.timer && !rig.focus && rig.interval == 100);
    rig.files[kApplyXml] = "\rCreating files: 1 of 4 (25%) done\rCreating files: 2";
    rig.form.OnTimer();
    rig.form.OnStatusClick();
    EXPECT_EQ(rig.boxes.back(), L" 当前进度：25 %");
    rig.AddFile(kApplyErr, "[ERROR] a\r\n  [ERROR] b \r\nERROR: Exiting with error code 47\r\n");
    rig.Finish(r.done);
    const Lines runs = rig.Logged(L"run ");
    ASSERT_EQ(runs.size(), r.runs) << &r - rows;
    EXPECT_THAT(runs.back(), HasSubstr(r.runs == 1 ? L"format.com T:" : r.index ? L"/nt52 C:" : L"/nt60 C:"));
    if (r.runs == 8) {  // the last listed first, the installed system last
      EXPECT_THAT(runs[1], HasSubstr(L"bcdboot.exe D:\\Windows /s C: /l zh-cn"));
      EXPECT_THAT(runs[6], HasSubstr(L"bcdboot.exe T:\\Windows /s C: /f uefi"));
    }
    EXPECT_THAT(rig.boxes.back(), HasSubstr(r.named ? r.named : L"这个阶段的安装完成"));
    EXPECT_EQ(rig.Logged(L"spawn ").size(), r.named ? 0u : r.cancel ? 2u : 1u);
    EXPECT_EQ(rig.Logged(L"taskbar").empty(), r.sysVer == 5);
    EXPECT_EQ(rig.focus, Ctl::Check1);
    EXPECT_TRUE(rig.Idle() && !rig.files.count(kApplyXml) && !rig.files.count(kApplyErr));
    rig.form.OnStatusClick();  // at rest: nothing to tell
    EXPECT_EQ(rig.boxes.back().find(L"当前进度"), npos);
  }
}

// A maximise toggles between the compact and the expanded view and never leaves the window
// maximised, except one made while it is minimised; the sizes keep the window's frame.
TEST(Form1, AMaximiseTogglesTheView) {
  using S = WindowState;
  Rig rig;
  rig.frame = 420;
  rig.form.OnLoad();
  const int32_t compact = kCompactClientHeight, expanded = kExpandedClientHeight;
  const std::tuple<S, S, int32_t> steps[] = {{S::Maximised, S::Normal, expanded}, {S::Maximised, S::Normal, compact},
      {S::Minimised, S::Minimised, compact}, {S::Maximised, S::Maximised, compact}, {S::Normal, S::Normal, compact},
      {S::Maximised, S::Normal, expanded}};
  for (const auto& [to, after, client] : steps) {
    rig.state = to;
    rig.form.OnResize();
    EXPECT_EQ(std::pair(rig.state, rig.ClientHeight()), std::pair(after, client));
  }
}

// The focus goes back to the remembered control while it can take it, else to the first in tab
// order that can (Text1 is disabled here); during a run to the window itself.
TEST(Form1, WhereTheFocusGoesBack) {
  Rig rig;
  rig.enabled = {{Ctl::Command4, false}, {Ctl::Text1, false}};
  const std::tuple<std::optional<Ctl>, bool, std::optional<Ctl>> rows[] = {{std::nullopt, false, Ctl::Command1},
      {Ctl::Check1, false, Ctl::Check1}, {Ctl::Command4, false, Ctl::Command1}, {Ctl::Combo1, false, Ctl::Command1},
      {Ctl::Check1, true, std::nullopt}};
  for (const auto& [remembered, running, want] : rows) EXPECT_EQ(FocusTarget(remembered, running, rig), want);
}

}  // namespace
}  // namespace morvane
