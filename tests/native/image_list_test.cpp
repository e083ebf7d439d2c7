// The image lists from the image tool's XML description: first on what the real tool writes for
// images made at test time, then on hand-written and broken outputs.
#include "catalogue/image_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fakes.h"

namespace morvane {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using Texts = std::vector<std::wstring>;

constexpr const char* kTool = "/usr/bin/wimlib-imagex";

// One argument for /bin/sh, in single quotes.
std::string Sh(const std::string& arg) {
  std::string out = "'";
  for (char ch : arg) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return out + "'";
}

// The text as the tool's output file holds it: a byte-order mark, then UTF-16LE.
std::string Utf16File(const std::wstring& text) {
  std::string bytes = "\xFF\xFE";
  for (wchar_t ch : text) {
    bytes += static_cast<char>(ch & 0xFF);
    bytes += static_cast<char>((ch >> 8) & 0xFF);
  }
  return bytes;
}

// What the window does with the bytes of the output file (the fake's half-width mapping stands in
// for the platform's on full-width ASCII and the ideographic space).
ImageLists ListsFromBytes(const std::string& bytes) {
  return CutImageList(testing::FakeSystem().HalfWidth(DecodeUtf16Output(bytes)));
}

// What the Windows build of the tool leaves in a file its standard output is redirected to: that
// stream is in text mode, so every 0x0A byte gains a 0x0D before it, inside UTF-16 code units too.
std::string TextMode(const std::string& bytes) {
  std::string out;
  for (char ch : bytes) out += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Real tool output.

class RealToolOutput : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (access(kTool, X_OK) != 0) return;
    char pattern[] = "/tmp/morvane-images-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    dir_ = pattern;
    const fs::path src = dir_ / "src";
    fs::create_directories(src / "Windows");
    std::ofstream(src / "Windows" / "config.txt") << "a file\n";
    const std::string wim = Sh((dir_ / "editions.wim").string()), esd = Sh((dir_ / "texts.esd").string()),
                      names = Sh((dir_ / "names.wim").string()), s = Sh(src.string());
    const std::string steps[] = {
        // Description equal to the name, a display name and a major version.
        "capture " + s + " " + wim + " 'Windows 10 Pro' 'Windows 10 Pro'",
        "info " + wim + " 1 --image-property 'DISPLAYNAME=Windows 10 专业版' --image-property WINDOWS/VERSION/MAJOR=10",
        // A description that is set and then cleared: no DESCRIPTION, DISPLAYNAME or MAJOR left.
        "append " + s + " " + wim + " 'Windows 7 Home' 'to be cleared'",
        "info " + wim + " 2 --image-property DESCRIPTION=",
        "append " + s + " " + wim + " 'Edu' 'Education'",
        "info " + wim + " 3 --image-property 'DISPLAYNAME=Windows 8.1 Education' --image-property WINDOWS/VERSION/MAJOR=6",
        // The second file is solid-compressed, as ESD files are.
        "capture " + s + " " + esd + " 'R&D <x>' 'say \"hi\"' --solid",
        "append " + s + " " + esd + " 'Ｗｉｎ１０　Ｐｒｏ' 'ＡＢＣ　１２３' --solid",
        "info " + esd + " 2 --image-property DISPLAYNAME=Ｗｉｎｄｏｗｓ１０",
        "append " + s + " " + esd + " '专业版' '专业版' --solid",
        "append " + s + " " + esd + " 'Home' 'Ｈｏｍｅ' --solid",
        "append " + s + " " + esd + " 'to be unnamed' 'B' --solid",
        "info " + esd + " 5 --image-property NAME=",
        // Names and a description whose UTF-16 code units hold a 0x0A byte (U+4E0A, U+300A, a line feed).
        "capture " + s + " " + names + " '上海' '《简介》' --image-property WINDOWS/VERSION/MAJOR=10",
        "append " + s + " " + names + " '《专业》版' '第一行\n第二行'",
        "append " + s + " " + names + " 'Home' 'Home'",
    };
    for (const std::string& step : steps) {
      const std::string command = std::string(kTool) + " " + step + " >/dev/null 2>&1";
      if (std::system(command.c_str()) != 0) {
        problem_ = "failed: " + command;
        return;
      }
    }
  }

  static void TearDownTestSuite() {
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
  }

  void SetUp() override {
    if (access(kTool, X_OK) != 0) GTEST_SKIP() << kTool << " is not installed";
    ASSERT_FALSE(dir_.empty());
    ASSERT_TRUE(problem_.empty()) << problem_;
  }

  // The bytes the tool writes with "info FILE --extract-xml OUT" (extract) or to its standard
  // output with "info --xml FILE".
  static std::string Xml(const std::string& file, bool extract = true) {
    const fs::path out = dir_ / "out.xml";
    const std::string command = std::string(kTool) + " info " +
                                (extract ? Sh((dir_ / file).string()) + " --extract-xml " + Sh(out.string()) + " >/dev/null"
                                         : "--xml " + Sh((dir_ / file).string()) + " >" + Sh(out.string())) +
                                " 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(out, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static inline fs::path dir_;
  static inline std::string problem_;
};

TEST_F(RealToolOutput, ThreeImagesInOrder) {
  const ImageLists lists = ListsFromBytes(Xml("editions.wim"));
  // Description equal to the name, or cleared: the name alone. One of its own: name, colon, description.
  EXPECT_THAT(lists.labels, ElementsAre(L"Windows 10 Pro", L"Windows 7 Home", L"Edu:Education"));
  // No display name: the name stands in.
  EXPECT_THAT(lists.displayNames, ElementsAre(L"Windows 10 专业版", L"Windows 7 Home", L"Windows 8.1 Education"));
  // No major version: an empty entry, so the lists keep the same length.
  EXPECT_THAT(lists.majors, ElementsAre(L"10", L"", L"6"));
}

TEST_F(RealToolOutput, TextsAsTheToolWritesThem) {
  const ImageLists lists = ListsFromBytes(Xml("texts.esd"));
  EXPECT_THAT(lists.labels,
              ElementsAre(L"R&amp;D &lt;x&gt;:say \"hi\"",  // entities are shown as written
                          L"Win10 Pro:ABC 123",            // full-width letters, digits, space become ASCII
                          L"专业版",                        // equal to its description: alone
                          L"Home",                         // equal to the name only after the mapping
                          L":B"));                         // no name at all
  EXPECT_THAT(lists.displayNames, ElementsAre(L"R&amp;D &lt;x&gt;", L"Windows10", L"专业版", L"Home", L""));
  EXPECT_THAT(lists.majors, ElementsAre(L"", L"", L"", L"", L""));
}

TEST_F(RealToolOutput, TheExtractedDescriptionIsReadExactlyAndTheTextModeOneNot) {
  const std::string extracted = Xml("names.wim");
  EXPECT_EQ(extracted, Xml("names.wim", false));
  const ImageLists lists = ListsFromBytes(extracted);
  EXPECT_THAT(lists.labels, ElementsAre(L"上海:《简介》", L"《专业》版:第一行\n第二行", L"Home"));
  EXPECT_THAT(lists.majors, ElementsAre(L"10", L"", L""));
  // Through standard output in text mode the names after the first 0x0A byte are lost.
  EXPECT_NE(ListsFromBytes(TextMode(extracted)).labels, lists.labels);
  // A description that only ends with a line feed (as wimlib 1.13 stores it) comes out one byte
  // too long: the odd byte is dropped and every image is still listed.
  const std::string translated = TextMode(Xml("editions.wim", false));
  ASSERT_EQ(translated.size() % 2, 1u);
  EXPECT_EQ(ListsFromBytes(translated).labels, ListsFromBytes(Xml("editions.wim")).labels);
}

// ---------------------------------------------------------------------------------------------
// Hand-written and broken outputs.

TEST(ImageList, Outputs) {
  struct Row {
    const char* name;
    std::string bytes;
    Texts labels, displayNames, majors;
  };
  const auto image = [](const std::wstring& inner) {
    return Utf16File(L"<WIM><IMAGE INDEX=\"1\">" + inner + L"</IMAGE></WIM>");
  };
  const std::string ansi = "<WIM><IMAGE INDEX=\"1\"><NAME>ansi</NAME></IMAGE></WIM>\r\n";
  const Row rows[] = {
      {"values stay with their image",
       Utf16File(L"<WIM><IMAGE INDEX=\"1\"><NAME>a</NAME><DESCRIPTION>d</DESCRIPTION><DISPLAYNAME>A</DISPLAYNAME>"
                 L"<WINDOWS><VERSION><MAJOR>10</MAJOR></VERSION></WINDOWS></IMAGE>"
                 L"<IMAGE INDEX=\"2\"><NAME>b</NAME></IMAGE></WIM>"),
       {L"a:d", L"b"}, {L"A", L"b"}, {L"10", L""}},
      {"a piece without INDEX is no image",
       Utf16File(L"<WIM><IMAGE><NAME>x</NAME></IMAGE><IMAGE INDEX=\"2\"><NAME>b</NAME></IMAGE></WIM>"), {L"b"}, {L"b"}, {L""}},
      {"INDEX anywhere in the piece marks an image", Utf16File(L"<IMAGE><NAME>INDEX</NAME></IMAGE>"), {L"INDEX"},
       {L"INDEX"}, {L""}},
      {"lower-case tags are not found",
       image(L"<name>a</name><description>d</description><displayname>n</displayname><major>10</major>"), {L""}, {L""},
       {L""}},
      {"text after the last close gives no entry",
       Utf16File(L"<WIM><IMAGE INDEX=\"1\"><NAME>a</NAME></IMAGE><NAME>stray</NAME></WIM>\n"), {L"a"}, {L"a"}, {L""}},
      {"an output cut off inside an image lists only the whole ones",
       Utf16File(L"<WIM><IMAGE INDEX=\"1\"><NAME>a</NAME></IMAGE><IMAGE INDEX=\"2\"><NAME>b</NA"), {L"a"}, {L"a"}, {L""}},
      {"name equal to the description", image(L"<NAME>A</NAME><DESCRIPTION>A</DESCRIPTION>"), {L"A"}, {L"A"}, {L""}},
      {"empty description", image(L"<NAME>A</NAME><DESCRIPTION></DESCRIPTION>"), {L"A"}, {L"A"}, {L""}},
      {"names compared case-sensitively", image(L"<NAME>Pro</NAME><DESCRIPTION>pro</DESCRIPTION>"), {L"Pro:pro"},
       {L"Pro"}, {L""}},
      {"nothing trimmed", image(L"<NAME> A </NAME><DESCRIPTION>B </DESCRIPTION>"), {L" A :B "}, {L" A "}, {L""}},
      {"no name, a display name", image(L"<DESCRIPTION>B</DESCRIPTION><DISPLAYNAME>D</DISPLAYNAME>"), {L":B"}, {L"D"},
       {L""}},
      {"empty display name", image(L"<NAME>A</NAME><DISPLAYNAME></DISPLAYNAME>"), {L"A"}, {L"A"}, {L""}},
      {"references are not decoded", image(L"<NAME>&#x41;&lt;</NAME>"), {L"&#x41;&lt;"}, {L"&#x41;&lt;"}, {L""}},
      {"nothing", "", {}, {}, {}},
      {"a lone byte", "\xFF", {}, {}, {}},
      {"a mark and an odd byte", std::string("\xFF\xFE\x00", 3), {}, {}, {}},
      {"text in the code page, not UTF-16", ansi, {}, {}, {}},
      {"text in the code page, odd length", ansi + "x", {}, {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const ImageLists lists = ListsFromBytes(row.bytes);
    EXPECT_EQ(lists.labels, row.labels);
    EXPECT_EQ(lists.displayNames, row.displayNames);
    EXPECT_EQ(lists.majors, row.majors);
  }
}

TEST(DecodeUtf16Output, CodeUnitsLowByteFirstBehindAnyTwoBytes) {
  const std::pair<std::string, std::wstring> rows[] = {
      {std::string("\xFF\xFE" "A\x00\x13\x4E", 6), L"A\u4E13"},
      {std::string("\xFF\xFE" "A\x00\x13", 5), L"A"},  // an odd last byte is no code unit
      {std::string("\xFE\xFF" "A\x00", 4), L"A"},      // the mark's value is not looked at
      {std::string("xyA\x00", 4), L"A"},
      {std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), std::wstring{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)}},
      {std::string("\xFF\xFE\x00\x00", 4), std::wstring(1, L'\0')},
  };
  for (const auto& [bytes, text] : rows) EXPECT_EQ(DecodeUtf16Output(bytes), text) << bytes.size() << " bytes";
}

std::wstring ManyImages(int count) {
  std::wstring xml = L"<WIM>";
  for (int i = 1; i <= count; ++i) {
    const std::wstring n = std::to_wstring(i);
    xml += L"<IMAGE INDEX=\"" + n + L"\"><NAME>" + n + L"</NAME></IMAGE>";
  }
  return xml + L"</WIM>";
}

TEST(ImageList, PiecesAreBoundByTheSixteenBitIndex) {
  ASSERT_EQ(kMaxImagePieces, 32767u);
  // 32,766 images and the closing piece: all of them.
  EXPECT_EQ(CutImageList(ManyImages(32766)).labels.back(), L"32766");
  // Beyond that the list is cut at the bound, in order, never wrapped round.
  const ImageLists lists = CutImageList(ManyImages(40000));
  ASSERT_EQ(lists.labels.size(), kMaxImagePieces);
  EXPECT_EQ(lists.majors.size(), kMaxImagePieces);
  EXPECT_EQ(lists.labels.front(), L"1");
  EXPECT_EQ(lists.labels.back(), L"32767");
}

}  // namespace
}  // namespace morvane
