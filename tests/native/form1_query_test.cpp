// The image information query and the source and drive fields, driven through Form1's handlers.
#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "fakes.h"

namespace morvane::testing {
namespace {

const std::wstring kBatch = L"C:\\Windows\\temp\\WIMInfo.bat";
const std::wstring kOutput = L"C:\\Windows\\temp\\WIMInfo.xml";
const std::wstring kRunBatch = L"C:\\Windows\\System32\\cmd.exe /d /v:off /c \"\"C:\\Windows\\temp\\WIMInfo.bat\"\"";

using Items = std::vector<std::wstring>;

const std::wstring kTwoImages =
    L"<WIM><TOTALBYTES>5</TOTALBYTES>"
    L"<IMAGE INDEX=\"1\"><NAME>Windows 10 Pro</NAME><DESCRIPTION>Windows 10 Pro</DESCRIPTION>"
    L"<DISPLAYNAME>Windows 10 专业版</DISPLAYNAME><WINDOWS><VERSION><MAJOR>10</MAJOR></VERSION></WINDOWS></IMAGE>"
    L"<IMAGE INDEX=\"2\"><NAME>Ｈｏｍｅ　N</NAME><DESCRIPTION>R&amp;D</DESCRIPTION></IMAGE>"
    L"</WIM>";

// The image tool as the query batch runs it: it answers for the image named on the batch line
// with the description kept for that image, and writes nothing for any other.
struct ToolStandIn {
  std::map<std::wstring, std::string> outputs;  // image path as on the line -> output bytes
  std::vector<std::wstring> batches;            // the batch file's text at each run

  void Attach(Rig& rig) {
    rig.sys.onRun = [this, &rig](const std::wstring& line) {
      EXPECT_EQ(line, kRunBatch);
      EXPECT_FALSE(rig.sys.HasFile(kOutput)) << "an earlier output is still there";
      const std::wstring batch = rig.sys.FileText(kBatch);
      batches.push_back(batch);
      for (const auto& [image, bytes] : outputs) {
        if (batch.find(L" info \"" + image + L"\" --extract-xml ") != std::wstring::npos) {
          rig.sys.AddFile(kOutput, bytes);
        }
      }
      return RunResult{true, 0};
    };
  }
};

size_t Runs(const Rig& rig) { return Starting(rig.sys.log, L"run ").size(); }

TEST(Form1Query, WritesTheInfoBatchRunsItAndFillsTheListsFromTheOutput) {
  Rig rig;
  rig.sys.AddFolder(L"C:\\Windows\\SysWOW64");
  rig.sys.programFolder = L"D:\\Program Files\\Morvane";
  rig.sys.shortPaths[L"D:\\Program Files\\Morvane"] = L"D:\\PROGRA~1\\Morvane";
  rig.Load();
  const std::wstring image = L"E:\\R&D Images\\win 100%.wim";  // no short form
  rig.sys.AddFile(image);
  rig.sys.AddFile(kOutput, Utf16Le(L"<WIM><IMAGE INDEX=\"1\"><NAME>stale</NAME></IMAGE></WIM>"));
  ToolStandIn tool;
  tool.outputs[L"E:\\R&D Images\\win 100%%.wim"] = Utf16Le(kTwoImages);
  tool.Attach(rig);

  rig.ui.Type(image);

  ASSERT_EQ(tool.batches.size(), 1u);
  EXPECT_EQ(tool.batches[0],
            L"\"D:\\PROGRA~1\\Morvane\\Bin64\\wimlib-imagex.exe\" info \"E:\\R&D Images\\win 100%%.wim\" "
            L"--extract-xml \"C:\\Windows\\temp\\WIMInfo.xml\" >nul\r\n");
  EXPECT_FALSE(rig.sys.HasFile(kBatch));
  EXPECT_TRUE(rig.sys.HasFile(kOutput));  // left for the next query to replace
  EXPECT_EQ(rig.ui.lists[Ctl::Combo0], (Items{L"Windows 10 Pro", L"Home N:R&amp;D"}));
  EXPECT_EQ(rig.ui.lists[Ctl::Combo1], (Items{L"Windows 10 专业版", L"Home N"}));
  EXPECT_EQ(rig.ui.lists[Ctl::Combo2], (Items{L"10", L""}));
  EXPECT_EQ(rig.ui.ListIndex(Ctl::Combo0), 0);
  EXPECT_EQ(rig.ui.tooltips[Ctl::Combo0], L"Windows 10 专业版");
  EXPECT_TRUE(rig.ui.boxes.empty());

  rig.ui.SetListIndex(Ctl::Combo0, 1);  // the user picks the second image
  rig.form.OnComboClick();
  EXPECT_EQ(rig.ui.tooltips[Ctl::Combo0], L"Home N");
}

TEST(Form1Query, ToolPathTakesTheProgramFolderAsItIs) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"D:\\Tools & Co 100%", L"\"D:\\Tools & Co 100%%\\Bin\\wimlib-imagex.exe\""},
      {L"D:\\", L"\"D:\\Bin\\wimlib-imagex.exe\""},  // a drive root keeps one backslash
  };
  for (const auto& [folder, token] : cases) {
    SCOPED_TRACE(Narrow(folder));
    Rig rig;
    rig.sys.programFolder = folder;
    rig.Load();
    ToolStandIn tool;
    tool.Attach(rig);
    rig.sys.AddFile(L"E:\\a.wim");
    rig.ui.Type(L"E:\\a.wim");
    ASSERT_EQ(tool.batches.size(), 1u);
    EXPECT_EQ(tool.batches[0], token + L" info \"E:\\a.wim\" --extract-xml \"C:\\Windows\\temp\\WIMInfo.xml\" >nul\r\n");
  }
}

TEST(Form1Query, OutputsThatAreNoDescriptionLeaveAllThreeListsEmpty) {
  struct Case {
    const char* what;
    std::optional<std::string> bytes;  // nothing: no output file (an earlier one is not read)
    bool started;
  } cases[] = {
      {"no output file", std::nullopt, true},
      {"empty file", "", true},
      {"byte-order mark only", "\xFF\xFE", true},
      {"text without images", Utf16Le(L"wimlib-imagex: \"E:\\b.wim\" is not a WIM file"), true},
      {"tool not started", Utf16Le(kTwoImages), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.Load();
    rig.ChooseImage(L"E:\\a.wim", kTwoImages);
    rig.sys.onRun = [&](const std::wstring&) {
      if (c.bytes) rig.sys.AddFile(kOutput, *c.bytes);
      return RunResult{c.started, 0};
    };
    rig.sys.AddFile(L"E:\\b.wim");
    rig.ui.Type(L"E:\\b.wim");
    EXPECT_EQ(Runs(rig), 2u);
    for (Ctl list : {Ctl::Combo0, Ctl::Combo1, Ctl::Combo2}) EXPECT_EQ(rig.ui.ListCount(list), 0);
    EXPECT_TRUE(rig.ui.boxes.empty());
  }
}

TEST(Form1Query, TextThatNamesNoVisibleFileEmptiesOnlyTheEditionList) {
  for (const wchar_t* text :
       {L"E:\\sources", L"E:\\hidden.wim", L"E:\\none.wim", L"", L"CON", L"E:\\x\\nul.wim", L"lpt1 .txt"}) {
    SCOPED_TRACE(Narrow(text));
    Rig rig;
    rig.Load();
    rig.sys.AddFolder(L"E:\\sources");
    rig.sys.files[L"E:\\hidden.wim"] = "";  // the look-up does not see it
    for (const wchar_t* device : {L"CON", L"E:\\x\\nul.wim", L"lpt1 .txt"}) rig.sys.AddFile(device);  // it sees devices
    rig.ChooseImage(L"E:\\a.wim", kTwoImages);
    rig.ui.Type(text);
    EXPECT_EQ(Runs(rig), 1u);
    EXPECT_EQ(rig.ui.ListCount(Ctl::Combo0), 0);
    EXPECT_EQ(rig.ui.ListIndex(Ctl::Combo0), -1);
    EXPECT_EQ(rig.ui.ListCount(Ctl::Combo1) + rig.ui.ListCount(Ctl::Combo2), 4);
  }

  Rig anyExtension;  // any existing file is queried, whatever its name
  anyExtension.Load();
  anyExtension.sys.AddFile(L"E:\\notes.txt");
  anyExtension.ui.Type(L"E:\\notes.txt");
  EXPECT_EQ(Runs(anyExtension), 1u);

  Rig relative;  // a typed path is made full before it is looked up and shortened
  relative.Load();
  relative.sys.AddFile(L"E:\\my images\\x.wim");
  relative.sys.fullPaths[L"E:x.wim"] = L"E:\\my images\\x.wim";
  relative.sys.shortPaths[L"E:\\my images\\x.wim"] = L"E:\\MYIMAG~1\\x.wim";
  relative.ui.Type(L"E:x.wim");
  ASSERT_EQ(Starting(relative.sys.log, L"write ").size(), 1u);
  EXPECT_NE(Starting(relative.sys.log, L"write ")[0].find(L" \"E:\\MYIMAG~1\\x.wim\" "), std::wstring::npos);
}

TEST(Form1Query, PathsOutsideTheCodePageWithoutShortFormAreRefused) {
  struct Case {
    const char* what;
    std::wstring program, image, mentions;
    bool english = false;  // batch files in OEM 437, which has no "õ" (the ANSI 1252 has)
  } cases[] = {
      {"image", L"D:\\Tools", L"E:\\ภาพ\\a.wim", L"映像文件"},
      {"program folder", L"D:\\เครื่องมือ", L"E:\\a.wim", L"程序所在文件夹"},
      {"image on an English system", L"D:\\Tools", L"E:\\São\\a.wim", L"映像文件", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.sys.englishCodePages = c.english;
    rig.Load();
    rig.ChooseImage(L"E:\\b.wim", kTwoImages);  // lists of an earlier query
    rig.sys.programFolder = c.program;
    rig.sys.AddFile(c.image);
    rig.ui.Type(c.image);
    EXPECT_EQ(Runs(rig), 1u);
    EXPECT_FALSE(rig.sys.HasFile(kBatch));
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].caption, L"错误");
    EXPECT_EQ(rig.ui.boxes[0].icon, MsgIcon::Stop);
    EXPECT_NE(rig.ui.boxes[0].text.find(c.mentions), std::wstring::npos) << Narrow(rig.ui.boxes[0].text);
    for (Ctl list : {Ctl::Combo0, Ctl::Combo1, Ctl::Combo2}) EXPECT_EQ(rig.ui.ListCount(list), 0);
  }

  Rig shortForm;  // a short form that the code page can carry is used instead
  shortForm.Load();
  shortForm.sys.AddFile(L"E:\\ภาพ\\a.wim");
  shortForm.sys.shortPaths[L"E:\\ภาพ\\a.wim"] = L"E:\\8D2F~1\\a.wim";
  ToolStandIn tool;
  tool.outputs[L"E:\\8D2F~1\\a.wim"] = Utf16Le(kTwoImages);
  tool.Attach(shortForm);
  shortForm.ui.Type(L"E:\\ภาพ\\a.wim");
  EXPECT_TRUE(shortForm.ui.boxes.empty());
  EXPECT_EQ(shortForm.ui.ListCount(Ctl::Combo0), 2);

  Rig english;  // the batch file in the code page cmd.exe reads it with: "é" is 0x82 in OEM 437
  english.sys.englishCodePages = true;
  english.Load();
  english.sys.AddFile(L"E:\\café\\a.wim");
  std::string batch;
  english.sys.onRun = [&](const std::wstring&) {
    batch = english.sys.files[kBatch];
    return RunResult{true, 0};
  };
  english.ui.Type(L"E:\\café\\a.wim");
  EXPECT_TRUE(english.ui.boxes.empty());
  EXPECT_NE(batch.find(" info \"E:\\caf\x82\\a.wim\" "), std::string::npos) << batch;
}

TEST(Form1Query, ChangesDuringAQueryAreQueriedOnceAfterItWithTheLatestText) {
  Rig rig;
  rig.Load();
  for (const wchar_t* f : {L"E:\\a.wim", L"E:\\b.wim", L"E:\\c.wim"}) rig.sys.AddFile(f);
  ToolStandIn tool;
  tool.outputs[L"E:\\a.wim"] = Utf16Le(kTwoImages);
  tool.outputs[L"E:\\c.wim"] = Utf16Le(WimXml({L"6", L"6", L"6"}));
  tool.Attach(rig);
  const auto standIn = rig.sys.onRun;
  rig.sys.onRun = [&](const std::wstring& line) {
    const RunResult result = standIn(line);
    if (tool.batches.size() == 1) {  // the user goes on typing while the first query waits
      rig.ui.Type(L"E:\\b.wim");
      rig.ui.Type(L"E:\\c.wim");
      EXPECT_EQ(tool.batches.size(), 1u) << "a second query started inside the first";
    }
    return result;
  };

  rig.ui.Type(L"E:\\a.wim");

  ASSERT_EQ(tool.batches.size(), 2u);  // and the second query's lists replace the first's
  EXPECT_NE(tool.batches[0].find(L"\"E:\\a.wim\""), std::wstring::npos);
  EXPECT_NE(tool.batches[1].find(L"\"E:\\c.wim\""), std::wstring::npos);
  EXPECT_EQ(rig.ui.lists[Ctl::Combo0], (Items{L"Image 1", L"Image 2", L"Image 3"}));
  EXPECT_EQ(rig.ui.ListCount(Ctl::Combo2), 3);
  EXPECT_FALSE(rig.form.query_running());
}

TEST(Form1Drop, TakesOneImageFileAsDroppedAndRefusesTheRestSilently) {
  Rig rig;
  rig.Load();
  rig.sys.AddFile(L"E:\\Images\\Install.WIM");
  rig.form.OnDrop(true, {L"E:\\Images\\Install.WIM"});
  EXPECT_EQ(rig.ui.Text(Ctl::Text1), L"E:\\Images\\Install.WIM");
  EXPECT_EQ(Runs(rig), 1u);
  rig.form.OnDrop(true, {L"F:\\x.Esd"});
  EXPECT_EQ(rig.ui.Text(Ctl::Text1), L"F:\\x.Esd");

  const std::vector<std::pair<bool, std::vector<std::wstring>>> refused = {
      {true, {L"E:\\a.wim", L"E:\\b.wim"}},
      {false, {L"E:\\a.wim"}},
      {true, {L"E:\\x.wim.txt"}},
      {true, {L"E:\\wim"}},
      {true, {}},
  };
  for (const auto& [hasList, files] : refused) rig.form.OnDrop(hasList, files);
  EXPECT_EQ(rig.ui.Text(Ctl::Text1), L"F:\\x.Esd");
  EXPECT_EQ(Runs(rig), 1u);
  EXPECT_TRUE(rig.ui.boxes.empty());
}

TEST(Form1Pickers, Command1PutsThePickedFileIntoText1AndQueriesIt) {
  Rig rig;
  rig.Load();
  rig.sys.AddFile(L"E:\\a.wim");
  ToolStandIn tool;
  tool.outputs[L"E:\\a.wim"] = Utf16Le(kTwoImages);
  tool.Attach(rig);
  rig.ui.pickedFiles.push_back(L"E:\\a.wim");
  rig.form.OnCommand1();
  rig.form.OnCommand1();  // cancelled
  EXPECT_EQ(rig.ui.Text(Ctl::Text1), L"E:\\a.wim");
  EXPECT_EQ(rig.ui.ListCount(Ctl::Combo0), 2);
  EXPECT_EQ(tool.batches.size(), 1u);
}

TEST(Form1Pickers, DriveButtonsTakeTheDriveOfTheChosenFolder) {
  Rig rig;
  rig.Load();
  rig.ui.pickedFolders = {L"D:\\deep\\down\\folder", L"e:\\"};
  rig.form.OnCommand2();
  rig.form.OnCommand3();
  EXPECT_EQ(rig.ui.Text(Ctl::Text2), L"D:");
  EXPECT_EQ(rig.ui.Text(Ctl::Text3), L"e:");

  rig.ui.pickedFolders = {L"\\\\server\\share", L"\\\\server\\share\\sub"};
  rig.form.OnCommand2();
  rig.form.OnCommand3();
  rig.form.OnCommand2();  // cancelled
  rig.form.OnCommand3();
  EXPECT_EQ(rig.ui.Text(Ctl::Text2), L"D:");
  EXPECT_EQ(rig.ui.Text(Ctl::Text3), L"e:");
  EXPECT_TRUE(rig.ui.boxes.empty());
}

}  // namespace
}  // namespace morvane::testing
