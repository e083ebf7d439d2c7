// Start-up, the view toggle and the close guard, against the fake platform.
#include <gtest/gtest.h>

#include "fakes.h"

namespace morvane::testing {
namespace {

TEST(Form1Load, ComputesViewSizesAndTakesTheCompactView) {
  Rig rig;
  rig.ui.height = 9999;
  rig.ui.frameHeight = 420;
  rig.Load();
  const RunState& s = rig.form.state();
  EXPECT_EQ(s.compactWidth, 8085);
  EXPECT_EQ(s.compactHeight, 420 + 3360);
  EXPECT_EQ(s.expandedWidth, 8085);
  EXPECT_EQ(s.expandedHeight, 420 + 6150);
  EXPECT_EQ(rig.ui.ClientHeight(), 3360);
  EXPECT_EQ(rig.ui.iconSize, 32);
}

TEST(Form1Load, ChoosesTheToolsFolderByTheSysWow64Folder) {
  struct Case {
    const char* what;
    Entry sysWow64;
    const wchar_t* toolIn;  // the only tools folder that holds the image tool
    const wchar_t* binDir;
  } cases[] = {
      {"64-bit", Entry::Folder, L"\\Bin64", L"\\Bin64"},
      {"64-bit, tool only in Bin", Entry::Folder, L"\\Bin", L"\\Bin64"},
      {"32-bit", Entry::None, L"\\Bin", L"\\Bin"},
      {"32-bit, tool only in Bin64", Entry::None, L"\\Bin64", L"\\Bin"},
      {"a file of that name is no folder", Entry::File, L"\\Bin", L"\\Bin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.toolFolders = {c.toolIn};
    if (c.sysWow64 == Entry::Folder) rig.sys.AddFolder(L"C:\\Windows\\SysWOW64");
    if (c.sysWow64 == Entry::File) rig.sys.AddFile(L"C:\\Windows\\SysWOW64");
    rig.Load();
    EXPECT_EQ(rig.form.state().binDir, c.binDir);
    rig.StartApply();  // the query runs either way; Start finds the tool only where it is
    EXPECT_EQ(rig.ui.ListCount(Ctl::Combo0), 1);
    const bool found = std::wstring(c.toolIn) == c.binDir;
    EXPECT_EQ(rig.sys.watching, found);
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].caption, found ? L"操作提示：" : L"错误");
  }
}

TEST(Form1Load, TaskbarObjectOnlyAboveVersion5) {
  Rig old;
  old.sys.sysVer = 5;
  old.Load();
  EXPECT_FALSE(old.form.state().taskbarList);
  EXPECT_TRUE(old.ui.taskbarCalls.empty());

  Rig newer;
  newer.Load();
  EXPECT_TRUE(newer.form.state().taskbarList);
  EXPECT_EQ(newer.ui.taskbarCalls, std::vector<std::wstring>{L"create"});
}

TEST(Form1Load, CreatesAMissingTempFolderAndSaysOnceWhenItCannot) {
  Rig rig;
  rig.sys.entries.erase(L"C:\\Windows\\Temp");
  rig.Load();
  EXPECT_EQ(rig.sys.Lookup(L"C:\\Windows\\Temp"), Entry::Folder);
  EXPECT_TRUE(rig.ui.boxes.empty());

  Rig failing;
  failing.sys.entries.erase(L"C:\\Windows\\Temp");
  failing.sys.folderCreationFails = true;
  failing.Load();
  ASSERT_EQ(failing.ui.boxes.size(), 1u);
  EXPECT_NE(failing.ui.boxes[0].text.find(L"C:\\Windows\\Temp"), std::wstring::npos);
  EXPECT_EQ(failing.form.state().binDir, L"\\Bin");  // start-up goes on

  Rig hidden;  // a hidden or system Temp is there all the same: no warning, and Start works
  hidden.sys.entries.erase(L"C:\\Windows\\Temp");
  hidden.sys.hiddenFolders.insert(L"C:\\Windows\\Temp");
  hidden.sys.folderCreationFails = true;
  hidden.Load();
  hidden.StartApply();
  EXPECT_EQ(hidden.ui.boxes.size(), 1u);  // the confirmation alone
  EXPECT_TRUE(hidden.sys.watching);
}

TEST(Form1ViewToggle, MaximiseFlipsBetweenCompactAndExpandedAndNeverStaysMaximised) {
  Rig rig;
  rig.Load();
  rig.ui.Maximise();
  EXPECT_EQ(rig.ui.state, WindowState::Normal);
  EXPECT_EQ(rig.ui.ClientHeight(), 6150);
  EXPECT_EQ(rig.ui.width, 8085);
  EXPECT_EQ(rig.form.state().sizeMode, 2);  // the nested events' 0 is overwritten

  rig.ui.Maximise();
  EXPECT_EQ(rig.ui.state, WindowState::Normal);
  EXPECT_EQ(rig.ui.ClientHeight(), 3360);
  EXPECT_EQ(rig.form.state().sizeMode, 0);
}

TEST(Form1ViewToggle, MinimiseAndRestoreKeepTheSizeAndTheNextMaximiseExpands) {
  Rig rig;
  rig.Load();
  rig.ui.Maximise();  // expanded
  rig.ui.Minimise();
  EXPECT_EQ(rig.form.state().sizeMode, 1);
  rig.ui.Maximise();  // while minimised the window may stay maximised
  EXPECT_EQ(rig.ui.state, WindowState::Maximised);
  rig.ui.Restore();
  EXPECT_EQ(rig.ui.ClientHeight(), 6150);
  EXPECT_EQ(rig.form.state().sizeMode, 0);
  rig.ui.Maximise();  // expands again: the size stays expanded
  EXPECT_EQ(rig.ui.ClientHeight(), 6150);
  rig.ui.Maximise();
  EXPECT_EQ(rig.ui.ClientHeight(), 3360);
}

TEST(Form1CloseGuard, ACloseAndASessionEndAreRefusedWhileInstallingAcceptedOtherwise) {
  for (const auto query : {&Form1::OnQueryClose, &Form1::OnQueryEndSession}) {
    Rig rig;
    rig.Load();
    EXPECT_TRUE((rig.form.*query)());
    EXPECT_TRUE(rig.ui.boxes.empty());

    rig.ui.texts[Ctl::Command4] = L"正在安装";
    EXPECT_FALSE((rig.form.*query)());
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].text, L"正在安装系统，无法关闭！");
    EXPECT_EQ(rig.ui.boxes[0].caption, L"警告！");
    EXPECT_EQ(rig.ui.boxes[0].icon, MsgIcon::Stop);
    EXPECT_EQ(rig.ui.boxes[0].buttons, MsgButtons::Ok);
  }
}

TEST(Form1Focus, GoesBackToTheRememberedControlWhileItCanTakeItElseToTheFirstInTabOrder) {
  struct Row {
    std::optional<Ctl> remembered;
    std::vector<Ctl> disabled;
    bool running;
    std::optional<Ctl> want;  // none: the window itself
  };
  const Row rows[] = {
      {std::nullopt, {}, false, Ctl::Text1},  // the window appears
      {Ctl::Check1, {}, false, Ctl::Check1},
      {Ctl::Command4, {Ctl::Command4}, false, Ctl::Text1},
      {Ctl::Command4, {Ctl::Command4, Ctl::Text1}, false, Ctl::Command1},
      {Ctl::Status, {}, false, Ctl::Text1},  // a label takes no focus, nor does a hidden list
      {Ctl::Combo1, {}, false, Ctl::Text1},
      {Ctl::Command4, {}, true, std::nullopt},
      {Ctl::Command4, {std::begin(kRunInputs), std::end(kRunInputs)}, false, std::nullopt},
  };
  for (const Row& row : rows) {
    FakeWindow ui;
    for (Ctl c : row.disabled) ui.Enable(c, false);
    EXPECT_EQ(FocusTarget(row.remembered, row.running, ui), row.want) << &row - rows;
  }
}

TEST(Form1CloseGuard, ACloseDuringAQueryEndsItsProcessesThenTheWindow) {
  Rig rig;
  rig.Load();
  rig.sys.AddFile(L"E:\\a.wim");
  rig.sys.AddFile(L"E:\\b.wim");
  bool allowedDuringWait = true;
  rig.sys.onRun = [&](const std::wstring&) {
    rig.sys.AddFile(L"C:\\Windows\\temp\\WIMInfo.xml", Utf16Le(WimXml({L"10"})));
    rig.ui.Type(L"E:\\b.wim");  // queued behind the query: dropped by the close
    allowedDuringWait = rig.form.OnQueryClose();
    EXPECT_FALSE(rig.ui.closed);
    return RunResult{true, 0};
  };
  rig.ui.Type(L"E:\\a.wim");
  EXPECT_FALSE(allowedDuringWait);
  EXPECT_TRUE(rig.ui.boxes.empty());
  EXPECT_EQ(Starting(rig.sys.log, L"run ").size(), 1u);
  EXPECT_EQ(Starting(rig.sys.log, L"cancel wait").size(), 1u);
  EXPECT_FALSE(rig.sys.HasFile(L"C:\\Windows\\temp\\WIMInfo.bat"));
  EXPECT_EQ(rig.ui.ListCount(Ctl::Combo0), 0) << "a cancelled query's output is not read";
  EXPECT_TRUE(rig.ui.closed);
}

}  // namespace
}  // namespace morvane::testing
