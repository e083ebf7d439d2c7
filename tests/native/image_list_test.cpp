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

#include "halfwidth_for_tests.h"

namespace morvane {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testing_only::HalfWidthForTests;

constexpr const char* kTool = "/usr/bin/wimlib-imagex";

bool ToolPresent() { return access(kTool, X_OK) == 0; }

// One argument for /bin/sh, in single quotes.
std::string Sh(const std::string& arg) {
  std::string out = "'";
  for (char ch : arg) {
    if (ch == '\'') {
      out += "'\\''";
    } else {
      out += ch;
    }
  }
  return out + "'";
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

// What the window does with the bytes of the output file.
ImageLists ListsFromBytes(const std::string& bytes) {
  return CutImageList(HalfWidthForTests(DecodeUtf16Output(bytes)));
}

void ExpectEqualLengths(const ImageLists& lists) {
  EXPECT_EQ(lists.labels.size(), lists.displayNames.size());
  EXPECT_EQ(lists.labels.size(), lists.majors.size());
}

// ---------------------------------------------------------------------------------------------
// Real tool output.

class RealToolOutput : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!ToolPresent()) return;
    char pattern[] = "/tmp/morvane-images-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      problem_ = "no temporary folder";
      return;
    }
    dir_ = pattern;
    const fs::path src = dir_ / "src";
    fs::create_directories(src / "Windows" / "System32");
    std::ofstream(src / "Windows" / "System32" / "config.txt") << "a file\n";
    std::ofstream(src / "readme.txt") << "another file\n";

    // "{S}" is the source folder, "{WIM}" and "{ESD}" the two image files.
    const char* const steps[] = {
        // Description equal to the name, a display name and a major version.
        "capture {S} {WIM} 'Windows 10 Pro' 'Windows 10 Pro'",
        "info {WIM} 1 --image-property 'DISPLAYNAME=Windows 10 专业版' --image-property WINDOWS/VERSION/MAJOR=10",
        // A description that is set and then cleared: no DESCRIPTION, DISPLAYNAME or MAJOR left.
        "append {S} {WIM} 'Windows 7 Home' 'to be cleared'",
        "info {WIM} 2 --image-property DESCRIPTION=",
        // A description of its own.
        "append {S} {WIM} 'Edu' 'Education'",
        "info {WIM} 3 --image-property 'DISPLAYNAME=Windows 8.1 Education' --image-property WINDOWS/VERSION/MAJOR=6",
        // The second file is solid-compressed, as ESD files are.
        "capture {S} {ESD} 'R&D <x>' 'say \"hi\"' --solid",
        "append {S} {ESD} 'Ｗｉｎ１０　Ｐｒｏ' 'ＡＢＣ　１２３' --solid",
        "info {ESD} 2 --image-property DISPLAYNAME=Ｗｉｎｄｏｗｓ１０",
        "append {S} {ESD} '专业版' '专业版' --solid",
        "append {S} {ESD} 'Home' 'Ｈｏｍｅ' --solid",
        "append {S} {ESD} 'to be unnamed' 'B' --solid",
        "info {ESD} 5 --image-property NAME=",
        // Names and a description whose UTF-16 code units hold a 0x0A byte (U+4E0A, U+300A, a line feed).
        "capture {S} {NAMES} '上海' '《简介》' --image-property WINDOWS/VERSION/MAJOR=10",
        "append {S} {NAMES} '《专业》版' '第一行\n第二行'",
        "append {S} {NAMES} 'Home' 'Home'",
    };
    for (const char* step : steps) {
      std::string args = step;
      Replace(args, "{S}", Sh(src.string()));
      Replace(args, "{WIM}", Sh((dir_ / "editions.wim").string()));
      Replace(args, "{ESD}", Sh((dir_ / "texts.esd").string()));
      Replace(args, "{NAMES}", Sh((dir_ / "names.wim").string()));
      const std::string command = std::string(kTool) + " " + args + " >/dev/null 2>&1";
      if (std::system(command.c_str()) != 0) {
        problem_ = "failed: " + command;
        return;
      }
    }
  }

  static void TearDownTestSuite() {
    if (!dir_.empty()) {
      std::error_code ignored;
      fs::remove_all(dir_, ignored);
    }
  }

  void SetUp() override {
    if (!ToolPresent()) GTEST_SKIP() << kTool << " is not installed";
    ASSERT_TRUE(problem_.empty()) << problem_;
  }

  // The bytes that "info --xml FILE >out.xml" leaves in out.xml.
  static std::string InfoXml(const std::string& file) {
    const fs::path out = dir_ / "out.xml";
    const std::string command =
        std::string(kTool) + " info --xml " + Sh((dir_ / file).string()) + " >" + Sh(out.string()) + " 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadBytes(out);
  }

  // The bytes that "info FILE --extract-xml out.xml" writes: the file as the program reads it.
  static std::string ExtractedXml(const std::string& file) {
    const fs::path out = dir_ / "extracted.xml";
    const std::string command = std::string(kTool) + " info " + Sh((dir_ / file).string()) + " --extract-xml " +
                                Sh(out.string()) + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadBytes(out);
  }

  static ImageLists Query(const std::string& file) { return ListsFromBytes(ExtractedXml(file)); }

  static inline fs::path dir_;
  static inline std::string problem_;
};

TEST_F(RealToolOutput, OutputIsUtf16BehindAByteOrderMark) {
  const std::string bytes = InfoXml("editions.wim");
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(bytes.size() % 2, 0u);
  const std::wstring text = DecodeUtf16Output(bytes);
  EXPECT_EQ(text.rfind(L"<WIM>", 0), 0u) << "the mark is dropped, the text starts at the document";
  EXPECT_NE(text.find(L"<IMAGE INDEX=\"3\">"), std::wstring::npos);
}

// What the Windows build of the tool leaves in a file its standard output is redirected to: that
// stream is in text mode, so every 0x0A byte gains a 0x0D before it, inside UTF-16 code units too.
std::string TextMode(const std::string& bytes) {
  std::string out;
  for (char ch : bytes) {
    if (ch == '\n') out += '\r';
    out += ch;
  }
  return out;
}

TEST_F(RealToolOutput, TheExtractedDescriptionIsReadExactlyAndTheTextModeOneNot) {
  const std::string extracted = ExtractedXml("names.wim");
  EXPECT_EQ(extracted, InfoXml("names.wim"));
  const ImageLists lists = ListsFromBytes(extracted);
  EXPECT_THAT(lists.labels, ElementsAre(L"上海:《简介》", L"《专业》版:第一行\n第二行", L"Home"));
  EXPECT_THAT(lists.majors, ElementsAre(L"10", L"", L""));
  // Through standard output in text mode the names after the first 0x0A byte are lost.
  EXPECT_NE(ListsFromBytes(TextMode(InfoXml("names.wim"))).labels, lists.labels);
  // A description that only ends with a line feed (as wimlib 1.13 stores it) comes out one byte
  // too long: the odd byte is dropped and every image is still listed.
  const std::string translated = TextMode(InfoXml("editions.wim"));
  ASSERT_EQ(translated.size() % 2, 1u);
  EXPECT_EQ(ListsFromBytes(translated).labels, Query("editions.wim").labels);
}

TEST_F(RealToolOutput, ThreeImagesInOrder) {
  const ImageLists lists = Query("editions.wim");
  // Description equal to the name: the name alone. Cleared description: the name alone.
  // A description of its own: name, colon, description, no blanks.
  EXPECT_THAT(lists.labels, ElementsAre(L"Windows 10 Pro", L"Windows 7 Home", L"Edu:Education"));
  // No display name: the name stands in.
  EXPECT_THAT(lists.displayNames, ElementsAre(L"Windows 10 专业版", L"Windows 7 Home", L"Windows 8.1 Education"));
  // No major version: an empty entry, so the lists keep the same length.
  EXPECT_THAT(lists.majors, ElementsAre(L"10", L"", L"6"));
}

TEST_F(RealToolOutput, TextsAsTheToolWritesThem) {
  const ImageLists lists = Query("texts.esd");
  ExpectEqualLengths(lists);
  EXPECT_THAT(lists.labels,
              ElementsAre(
                  // The tool escapes "&" and "<" ">" as entities; they are shown as written.
                  L"R&amp;D &lt;x&gt;:say \"hi\"",
                  // Full-width letters, digits and the ideographic space become ASCII.
                  L"Win10 Pro:ABC 123",
                  // Chinese stays as it is; equal to its description, so shown alone.
                  L"专业版",
                  // Equal to the name only after the mapping: still the name alone.
                  L"Home",
                  // No name at all: a colon and the description.
                  L":B"));
  EXPECT_THAT(lists.displayNames,
              ElementsAre(L"R&amp;D &lt;x&gt;", L"Windows10", L"专业版", L"Home", L""));
  EXPECT_THAT(lists.majors, ElementsAre(L"", L"", L"", L"", L""));
}

TEST_F(RealToolOutput, SecondQueryHoldsNothingOfTheFirst) {
  const ImageLists first = Query("editions.wim");
  const ImageLists second = Query("texts.esd");
  const ImageLists alone = Query("texts.esd");
  EXPECT_EQ(second.labels, alone.labels);
  EXPECT_EQ(second.displayNames, alone.displayNames);
  EXPECT_EQ(second.majors, alone.majors);
  for (const std::wstring& label : first.labels) {
    for (const std::wstring& other : second.labels) EXPECT_NE(label, other);
  }
  // And back again: the first file's lists come back whole.
  const ImageLists again = Query("editions.wim");
  EXPECT_EQ(again.labels, first.labels);
  EXPECT_EQ(again.majors, first.majors);
}

// ---------------------------------------------------------------------------------------------
// Hand-written outputs.

ImageLists ListsFromText(const std::wstring& xml) { return ListsFromBytes(Utf16File(xml)); }

TEST(ImageListText, PieceWithoutIndexIsSkipped) {
  const ImageLists lists = ListsFromText(
      L"<WIM><IMAGE><NAME>no index</NAME></IMAGE>"
      L"<IMAGE INDEX=\"2\"><NAME>b</NAME></IMAGE></WIM>");
  EXPECT_THAT(lists.labels, ElementsAre(L"b"));
  ExpectEqualLengths(lists);
}

TEST(ImageListText, IndexAnywhereInThePieceMarksAnImage) {
  // The marker is the bare word, not the attribute.
  const ImageLists lists = ListsFromText(L"<IMAGE><NAME>INDEX</NAME></IMAGE>");
  EXPECT_THAT(lists.labels, ElementsAre(L"INDEX"));
}

TEST(ImageListText, LowerCaseTagsAreNotFound) {
  EXPECT_TRUE(ListsFromText(L"<wim><image index=\"1\"><name>a</name></image></wim>").labels.empty());
  const ImageLists lists = ListsFromText(
      L"<IMAGE INDEX=\"1\"><name>a</name><description>d</description><displayname>n</displayname>"
      L"<major>10</major></IMAGE>");
  EXPECT_THAT(lists.labels, ElementsAre(L""));
  EXPECT_THAT(lists.displayNames, ElementsAre(L""));
  EXPECT_THAT(lists.majors, ElementsAre(L""));
}

TEST(ImageListText, TextAfterTheLastCloseGivesNoEntry) {
  const ImageLists lists = ListsFromText(
      L"<WIM><IMAGE INDEX=\"1\"><NAME>a</NAME></IMAGE><TOTALBYTES>5</TOTALBYTES><NAME>stray</NAME></WIM>\n");
  EXPECT_THAT(lists.labels, ElementsAre(L"a"));
}

TEST(ImageListText, OutputCutOffInsideAnImageListsOnlyTheWholeImages) {
  // A tool that died while writing: the image it had not finished is not listed with half a name.
  const ImageLists lists =
      ListsFromText(L"<WIM><IMAGE INDEX=\"1\"><NAME>a</NAME></IMAGE><IMAGE INDEX=\"2\"><NAME>b</NA");
  EXPECT_THAT(lists.labels, ElementsAre(L"a"));
  ExpectEqualLengths(lists);
}

TEST(ImageListText, ValuesStayWithTheirImage) {
  const ImageLists lists = ListsFromText(
      L"<WIM><IMAGE INDEX=\"1\"><NAME>a</NAME><DESCRIPTION>d</DESCRIPTION><DISPLAYNAME>A</DISPLAYNAME>"
      L"<WINDOWS><VERSION><MAJOR>10</MAJOR></VERSION></WINDOWS></IMAGE>"
      L"<IMAGE INDEX=\"2\"><NAME>b</NAME></IMAGE></WIM>");
  EXPECT_THAT(lists.labels, ElementsAre(L"a:d", L"b"));
  EXPECT_THAT(lists.displayNames, ElementsAre(L"A", L"b"));
  EXPECT_THAT(lists.majors, ElementsAre(L"10", L""));
}

TEST(ImageListText, LabelRules) {
  struct Case {
    std::wstring image;
    std::wstring label;
    std::wstring displayName;
  };
  const Case cases[] = {
      {L"<NAME>A</NAME><DESCRIPTION>B</DESCRIPTION>", L"A:B", L"A"},
      {L"<NAME>A</NAME><DESCRIPTION>A</DESCRIPTION>", L"A", L"A"},
      {L"<NAME>A</NAME><DESCRIPTION></DESCRIPTION>", L"A", L"A"},
      {L"<NAME>A</NAME>", L"A", L"A"},
      {L"<NAME>Pro</NAME><DESCRIPTION>pro</DESCRIPTION>", L"Pro:pro", L"Pro"},  // case-sensitive
      {L"<NAME> A </NAME><DESCRIPTION>B </DESCRIPTION>", L" A :B ", L" A "},   // nothing trimmed
      {L"<DESCRIPTION>B</DESCRIPTION>", L":B", L""},
      {L"<DESCRIPTION>B</DESCRIPTION><DISPLAYNAME>D</DISPLAYNAME>", L":B", L"D"},
      {L"<NAME>A</NAME><DISPLAYNAME></DISPLAYNAME>", L"A", L"A"},
      {L"<NAME>&#x41;&lt;</NAME>", L"&#x41;&lt;", L"&#x41;&lt;"},  // references are not decoded
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.image.begin(), c.image.end()));
    const ImageLists lists = ListsFromText(L"<WIM><IMAGE INDEX=\"1\">" + c.image + L"</IMAGE></WIM>");
    EXPECT_THAT(lists.labels, ElementsAre(c.label));
    EXPECT_THAT(lists.displayNames, ElementsAre(c.displayName));
  }
}

TEST(ImageListText, UnusableOutputsGiveEmptyLists) {
  std::string garbage;
  uint32_t seed = 12345;
  for (int i = 0; i < 4096; ++i) {
    seed = seed * 1103515245u + 12345u;
    garbage += static_cast<char>(seed >> 24);
  }
  const std::string ansi = "<WIM><IMAGE INDEX=\"1\"><NAME>ansi</NAME></IMAGE></WIM>\r\n";  // not UTF-16
  const std::string outputs[] = {
      "",
      "\xFF",
      "\xFF\xFE",
      std::string("\xFF\xFE\x00", 3),
      garbage,
      ansi,
      ansi + "x",
  };
  for (const std::string& bytes : outputs) {
    SCOPED_TRACE(bytes.size());
    const ImageLists lists = ListsFromBytes(bytes);
    EXPECT_TRUE(lists.labels.empty());
    ExpectEqualLengths(lists);
  }
}

TEST(DecodeUtf16Output, CodeUnitsLowByteFirst) {
  EXPECT_EQ(DecodeUtf16Output(std::string("\xFF\xFE" "A\x00\x13\x4E", 6)), std::wstring(L"A\u4E13"));
  // An odd last byte is no code unit; it is dropped.
  EXPECT_EQ(DecodeUtf16Output(std::string("\xFF\xFE" "A\x00\x13", 5)), L"A");
  EXPECT_EQ(DecodeUtf16Output(std::string("\xFF\xFE\x00", 3)), L"");
  // The mark's value is not looked at: any two bytes are dropped.
  EXPECT_EQ(DecodeUtf16Output(std::string("\xFE\xFF" "A\x00", 4)), L"A");
  EXPECT_EQ(DecodeUtf16Output(std::string("xyA\x00", 4)), L"A");
  // A pair of surrogates stays two code units.
  const std::wstring pair = DecodeUtf16Output(std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6));
  ASSERT_EQ(pair.size(), 2u);
  EXPECT_EQ(static_cast<uint32_t>(pair[0]), 0xD83Du);
  EXPECT_EQ(static_cast<uint32_t>(pair[1]), 0xDE00u);
  // NUL code units are text like any other.
  EXPECT_EQ(DecodeUtf16Output(std::string("\xFF\xFE\x00\x00", 4)), std::wstring(1, L'\0'));
}

TEST(HalfWidthForTests, MapsFullWidthAsciiAndTheIdeographicSpaceOnly) {
  EXPECT_EQ(HalfWidthForTests(L"\uFF01\uFF10\uFF21\uFF41\uFF5E\u3000"), L"!0Aa~ ");
  EXPECT_EQ(HalfWidthForTests(L"专业版\uFF00\uFF5F"), L"专业版\uFF00\uFF5F");
}

std::wstring ManyImages(int count) {
  std::wstring xml = L"<WIM>";
  for (int i = 1; i <= count; ++i) {
    const std::wstring n = std::to_wstring(i);
    xml += L"<IMAGE INDEX=\"" + n + L"\"><NAME>" + n + L"</NAME></IMAGE>";
  }
  return xml + L"</WIM>";
}

TEST(ImageListText, PiecesAreBoundByTheSixteenBitIndex) {
  ASSERT_EQ(kMaxImagePieces, 32767u);
  {
    // 32,766 images and the closing piece: all of them.
    const ImageLists lists = CutImageList(ManyImages(32766));
    ASSERT_EQ(lists.labels.size(), 32766u);
    EXPECT_EQ(lists.labels.back(), L"32766");
  }
  {
    // Beyond that the list is cut at the bound, in order, never wrapped round.
    const ImageLists lists = CutImageList(ManyImages(40000));
    ASSERT_EQ(lists.labels.size(), kMaxImagePieces);
    ExpectEqualLengths(lists);
    EXPECT_EQ(lists.labels.front(), L"1");
    EXPECT_EQ(lists.labels.back(), L"32767");
  }
}

}  // namespace
}  // namespace morvane
