// The image information query and the source and drive fields, driven through Form1's handlers.
#include <gtest/gtest.h>

#include <memory>

#include "fakes.h"

namespace morvane::testing {
namespace {

const std::wstring kTwoImages =
    L"<WIM><TOTALBYTES>5</TOTALBYTES>"
    L"<IMAGE INDEX=\"1\"><NAME>Windows 10 Pro</NAME><DESCRIPTION>Windows 10 Pro</DESCRIPTION>"
    L"<DISPLAYNAME>Windows 10 专业版</DISPLAYNAME>"
    L"<WINDOWS><VERSION><MAJOR>10</MAJOR></VERSION></WINDOWS></IMAGE>"
    L"<IMAGE INDEX=\"2\"><NAME>Ｈｏｍｅ　N</NAME><DESCRIPTION>R&amp;D</DESCRIPTION></IMAGE>"
    L"</WIM>";

// The image tool as the query batch runs it: it answers with `outputs[image]` when the batch line
// names that image and writes nothing for any other. Returns the batch file's text at each run.
std::shared_ptr<Lines> AttachTool(Rig& rig, const std::map<std::wstring, std::wstring>& outputs) {
  const auto batches = std::make_shared<Lines>();
  rig.sys.onRun = [&rig, outputs, batches](const std::wstring& line) {
    EXPECT_EQ(line, L"C:\\Windows\\System32\\cmd.exe /d /v:off /c \"\"C:\\Windows\\temp\\WIMInfo.bat\"\"");
    EXPECT_FALSE(rig.sys.HasFile(kInfoXml)) << "an earlier output is still there";
    batches->push_back(rig.sys.FileText(kInfoBat));
    for (const auto& [image, xml] : outputs) {
      if (batches->back().find(L" info \"" + image + L"\" --extract-xml ") != std::wstring::npos) {
        rig.sys.AddFile(kInfoXml, Utf16Le(xml));
      }
    }
    return RunResult{true, 0};
  };
  return batches;
}

TEST(Form1Query, WritesTheInfoBatchRunsItAndFillsTheListsFromTheOutput) {
  Rig rig;
  rig.sys.AddFolder(L"C:\\Windows\\SysWOW64");
  rig.sys.programFolder = L"D:\\Program Files\\Morvane";
  rig.sys.shortPaths[L"D:\\Program Files\\Morvane"] = L"D:\\PROGRA~1\\Morvane";
  rig.Load();
  const std::wstring image = L"E:\\R&D Images\\win 100%.wim";  // no short form
  rig.sys.AddFile(image);
  rig.sys.AddFile(kInfoXml, Utf16Le(L"<WIM><IMAGE INDEX=\"1\"><NAME>stale</NAME></IMAGE></WIM>"));
  const auto batches = AttachTool(rig, {{L"E:\\R&D Images\\win 100%%.wim", kTwoImages}});

  rig.ui.Type(image);

  EXPECT_EQ(*batches, Lines{L"\"D:\\PROGRA~1\\Morvane\\Bin64\\wimlib-imagex.exe\" info "
                           L"\"E:\\R&D Images\\win 100%%.wim\" --extract-xml "
                           L"\"C:\\Windows\\temp\\WIMInfo.xml\" >nul\r\n"});
  EXPECT_FALSE(rig.sys.HasFile(kInfoBat));
  EXPECT_TRUE(rig.sys.HasFile(kInfoXml));  // left for the next query to replace
  EXPECT_EQ(rig.ui.lists[Ctl::Combo0], (Lines{L"Windows 10 Pro", L"Home N:R&amp;D"}));
  EXPECT_EQ(rig.ui.lists[Ctl::Combo1], (Lines{L"Windows 10 专业版", L"Home N"}));
  EXPECT_EQ(rig.ui.lists[Ctl::Combo2], (Lines{L"10", L""}));
  EXPECT_EQ(rig.ui.ListIndex(Ctl::Combo0), 0);
  EXPECT_EQ(rig.ui.tooltips[Ctl::Combo0], L"Windows 10 专业版");
  EXPECT_TRUE(rig.ui.boxes.empty());

  rig.ui.SetListIndex(Ctl::Combo0, 1);  // the user picks the second image
  rig.form.OnComboClick();
  EXPECT_EQ(rig.ui.tooltips[Ctl::Combo0], L"Home N");
}

// Text that names no visible file (a folder, a missing file, a device) empties the edition list
// only and runs no query; any existing file is queried (typed relative, or found empty: the Wine
// matrix). A path the batch file's code page cannot carry is refused unless its short form can be.
TEST(Form1Query, OnlyAVisibleFileWhosePathTheBatchCanCarryIsQueried) {
  struct Case {
    std::wstring text, batchHolds;  // the batch file holds `batchHolds`; empty: no query
    std::wstring refusal = L"";     // in the error box
    std::wstring program = L"D:\\Tools";
  } cases[] = {
      {L"E:\\sources", L""}, {L"E:\\none.wim", L""}, {L"", L""}, {L"CON", L""},
      {L"E:\\notes.txt", L" \"E:\\notes.txt\" "},
      {L"E:\\ภาพ\\a.wim", L"", L"映像文件"},
      {L"E:\\notes.txt", L"", L"程序所在文件夹", L"D:\\เครื่องมือ"},
      {L"E:\\ภาพ\\b.wim", L" info \"E:\\8D2F~1\\b.wim\" "},  // its short form
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.text));
    Rig rig;
    rig.sys.AddFolder(L"E:\\sources");
    // The look-up sees devices.
    for (auto* f : {L"CON", L"E:\\notes.txt", L"E:\\ภาพ\\a.wim", L"E:\\ภาพ\\b.wim"}) rig.sys.AddFile(f);
    rig.sys.shortPaths[L"E:\\ภาพ\\b.wim"] = L"E:\\8D2F~1\\b.wim";
    rig.ChooseImage(L"E:\\a.wim", kTwoImages);  // lists of an earlier query
    rig.sys.programFolder = c.program;
    const auto batches =
        AttachTool(rig, {{L"E:\\notes.txt", kTwoImages}, {L"E:\\8D2F~1\\b.wim", kTwoImages}});
    rig.ui.Type(c.text);
    const bool queried = !c.batchHolds.empty();
    ASSERT_EQ(batches->size(), queried ? 1u : 0u);
    EXPECT_TRUE(!queried || (*batches)[0].find(c.batchHolds) != std::wstring::npos);
    rig.ExpectError(c.refusal.empty() ? 0 : 1, c.refusal);
    EXPECT_EQ(rig.ui.ListCount(Ctl::Combo0), queried ? 2 : 0);
    EXPECT_EQ(rig.ui.ListIndex(Ctl::Combo0), queried ? 0 : -1);
    EXPECT_EQ(rig.ui.ListCount(Ctl::Combo1) + rig.ui.ListCount(Ctl::Combo2), c.refusal.empty() ? 4 : 0);
  }
}

// A Start pressed meanwhile counts once the queries are over. (Which drops and picks are taken, and
// what a drive button takes from a folder: the Wine suite and the folder's drive test.)
TEST(Form1Query, ChangesDuringAQueryAreQueriedOnceAfterItWithTheLatestText) {
  Rig rig;
  rig.Load();
  for (const wchar_t* f : {L"E:\\a.wim", L"E:\\b.wim", L"E:\\c.wim"}) rig.sys.AddFile(f);
  const auto batches =
      AttachTool(rig, {{L"E:\\a.wim", kTwoImages}, {L"E:\\c.wim", WimXml({L"6", L"6", L"6"})}});
  const auto tool = rig.sys.onRun;
  rig.sys.onRun = [&](const std::wstring& line) {
    const RunResult result = tool(line);
    if (batches->size() == 1) {  // the user goes on typing, and presses Start, while the first query waits
      rig.ui.Type(L"E:\\b.wim");
      rig.form.OnCommand4();
      rig.ui.Type(L"E:\\c.wim");
      rig.form.OnCommand4();
      EXPECT_EQ(batches->size(), 1u) << "a second query started inside the first";
      EXPECT_TRUE(rig.ui.boxes.empty()) << "Start acted on inside the query";
    }
    return result;
  };
  rig.ui.SetText(Ctl::Text3, L"T:");
  rig.ui.answers = {MsgAnswer::Cancel};

  rig.ui.Type(L"E:\\a.wim");

  // The Start counts once, after the last query, with its lists (the third image of c.wim).
  ASSERT_EQ(rig.ui.boxes.size(), 1u);
  EXPECT_EQ(rig.ui.boxes[0].caption, L"操作提示：");
  EXPECT_EQ(rig.journal.back().rfind(L"box 操作提示：", 0), 0u);
  ASSERT_EQ(batches->size(), 2u);  // and the second query's lists replace the first's
  EXPECT_NE((*batches)[0].find(L"\"E:\\a.wim\""), std::wstring::npos);
  EXPECT_NE((*batches)[1].find(L"\"E:\\c.wim\""), std::wstring::npos);
  EXPECT_EQ(rig.ui.lists[Ctl::Combo0], (Lines{L"Image 1", L"Image 2", L"Image 3"}));
  EXPECT_EQ(rig.ui.ListCount(Ctl::Combo2), 3);
}

// The file picker's choice is the image path, and is queried; a folder picker's choice gives its
// drive (a network folder none); a cancelled picker changes nothing.
TEST(Form1Pickers, TheChoicesReachTheirFields) {
  Rig rig;
  rig.ChooseImage(L"E:\\a.wim", WimXml({L"10"}));
  rig.sys.AddFile(L"E:\\b.wim");
  rig.ui.pickedFiles = {L"E:\\b.wim"};
  rig.ui.pickedFolders = {L"D:\\deep\\folder", L"e:\\", L"\\\\server\\share"};
  const auto batches = AttachTool(rig, {{L"E:\\b.wim", WimXml({L"6", L"10"})}});
  for (auto press : {&Form1::OnCommand1, &Form1::OnCommand2, &Form1::OnCommand3, &Form1::OnCommand2,
                     &Form1::OnCommand1, &Form1::OnCommand3}) {
    (rig.form.*press)();
  }
  EXPECT_EQ(rig.ui.Text(Ctl::Text1), L"E:\\b.wim");
  EXPECT_EQ(batches->size(), 1u);
  EXPECT_EQ(rig.ui.ListCount(Ctl::Combo0), 2);
  EXPECT_EQ(rig.ui.Text(Ctl::Text2), L"D:");
  EXPECT_EQ(rig.ui.Text(Ctl::Text3), L"e:");
  EXPECT_TRUE(rig.ui.boxes.empty());
}

}  // namespace
}  // namespace morvane::testing
