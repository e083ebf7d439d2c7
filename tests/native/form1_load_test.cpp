// Start-up, a close during a query, the view toggle and where the focus goes, against the fake
// platform.
#include <gtest/gtest.h>

#include "fakes.h"

namespace morvane::testing {
namespace {

// The tools folder is chosen by the SysWOW64 folder alone (which folder the query and the apply
// take it from: the query and Start tests). A missing Temp folder is created at start-up; when it
// cannot be, the user is told once and start-up goes on. A hidden or system Temp is there all the
// same: no warning.
TEST(Form1Load, ChoosesTheToolsFolderAndMakesSureOfTheTempFolder) {
  enum class Temp { Visible, Missing, Uncreatable, Hidden };
  struct Case {
    Entry sysWow64;
    const wchar_t* binDir;
    Temp temp;
  } cases[] = {
      {Entry::Folder, L"\\Bin64", Temp::Visible}, {Entry::None, L"\\Bin", Temp::Visible},
      {Entry::File, L"\\Bin", Temp::Visible},  // a file of that name is no folder
      {Entry::None, L"\\Bin", Temp::Missing},    {Entry::None, L"\\Bin", Temp::Uncreatable},
      {Entry::None, L"\\Bin", Temp::Hidden},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("row " + std::to_string(&c - cases));
    Rig rig;
    if (c.sysWow64 != Entry::None) rig.sys.entries[L"C:\\Windows\\SysWOW64"] = c.sysWow64;
    if (c.temp != Temp::Visible) rig.sys.entries.erase(L"C:\\Windows\\Temp");
    if (c.temp == Temp::Hidden) rig.sys.hiddenFolders.insert(L"C:\\Windows\\TEMP");
    if (c.temp >= Temp::Uncreatable) rig.sys.unwritable.insert(L"C:\\Windows\\Temp");  // and when hidden
    rig.Load();
    EXPECT_EQ(rig.form.state().binDir, c.binDir);
    const bool warned = c.temp == Temp::Uncreatable;
    ASSERT_EQ(rig.ui.boxes.size(), warned ? 1u : 0u);
    for (const auto& box : rig.ui.boxes) EXPECT_NE(box.text.find(L"C:\\Windows\\Temp"), std::wstring::npos);
    EXPECT_EQ(rig.sys.FolderExists(L"C:\\Windows\\Temp"), !warned);
  }
}

TEST(Form1CloseGuard, ACloseDuringAQueryEndsItsProcessesThenTheWindow) {
  Rig rig;
  rig.Load();
  for (auto* image : {L"E:\\a.wim", L"E:\\b.wim"}) rig.sys.AddFile(image);
  rig.sys.onRun = [&](const std::wstring&) {
    rig.sys.AddFile(kInfoXml, Utf16Le(WimXml({L"10"})));
    rig.ui.Type(L"E:\\b.wim");  // queued behind the query: dropped by the close
    rig.ui.SetText(Ctl::Text3, L"T:");
    rig.form.OnCommand4();  // so is a Start
    EXPECT_FALSE(rig.form.OnQueryClose());
    EXPECT_FALSE(rig.ui.closed);
    return RunResult{true, 0};
  };
  rig.ui.Type(L"E:\\a.wim");
  EXPECT_TRUE(rig.ui.boxes.empty());
  EXPECT_EQ(rig.Logged(L"run ").size(), 1u);
  EXPECT_EQ(rig.Logged(L"cancel wait").size(), 1u);
  EXPECT_EQ(rig.ui.ListCount(Ctl::Combo0), 0) << "a cancelled query's output is not read";
  EXPECT_TRUE(rig.ui.closed);
}

// A maximise request toggles between the compact and the expanded view and never leaves the window
// maximised, except one made while it is minimised (from the taskbar); the sizes keep the frame.
TEST(Form1ViewToggle, AMaximiseTogglesTheViewUnlessTheWindowIsMinimised) {
  using S = WindowState;
  Rig rig;
  rig.ui.frame = 420;
  rig.Load();
  EXPECT_EQ(rig.ui.height, 420 + 3360);
  const struct Step {
    S to, after;
    int32_t client;
  } steps[] = {
      {S::Maximised, S::Normal, 6150},    {S::Maximised, S::Normal, 3360}, {S::Maximised, S::Normal, 6150},
      {S::Minimised, S::Minimised, 6150}, {S::Maximised, S::Maximised, 6150},
      {S::Normal, S::Normal, 6150},       {S::Maximised, S::Normal, 6150}, {S::Maximised, S::Normal, 3360}};
  for (const Step& s : steps) {
    rig.ui.SetState(s.to);
    EXPECT_EQ(rig.ui.state, s.after) << &s - steps;
    EXPECT_EQ(rig.ui.ClientHeight(), s.client) << &s - steps;
  }
}

TEST(Form1Focus, GoesBackToTheRememberedControlWhileItCanTakeItElseToTheFirstInTabOrder) {
  struct Row {
    std::optional<Ctl> remembered;
    std::vector<Ctl> disabled;
    bool running;
    std::optional<Ctl> want;  // none: the window itself
  } rows[] = {
      {std::nullopt, {}, false, Ctl::Text1},  // the window appears
      {Ctl::Check1, {}, false, Ctl::Check1},
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

}  // namespace
}  // namespace morvane::testing
