// The image lists from the image tool's XML description, on hand-written and broken outputs (what
// the real tool writes, through the Windows-side suite's images), and MidStr, the marker cutter
// behind them.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "catalogue/image_list.h"
#include "catalogue/midstr.h"
#include "fakes.h"

namespace morvane {
namespace {

using Texts = std::vector<std::wstring>;

ImageLists ListsFromBytes(const std::string& bytes) { return CutImageList(DecodeUtf16Output(bytes)); }

// The description of the given images, each as <IMAGE INDEX="n">inner</IMAGE>, as the tool's file
// holds it: a byte-order mark, then UTF-16LE.
std::string Images(const Texts& inners, const std::wstring& tail = L"</WIM>") {
  std::wstring xml = L"<WIM>";
  for (size_t i = 0; i < inners.size(); ++i) {
    xml += L"<IMAGE INDEX=\"" + std::to_wstring(i + 1) + L"\">" + inners[i] + L"</IMAGE>";
  }
  return testing::Utf16Le(xml + tail);
}

TEST(ImageList, Outputs) {
  // name, the tool's output, the labels, display names and major versions listed
  using Row = std::tuple<const char*, std::string, Texts, Texts, Texts>;
  const Row rows[] = {
      // Name and description compared exactly; nothing trimmed or decoded; an empty display name or
      // none: the name.
      {"labels and display names",
       Images({L"<NAME>A</NAME><DESCRIPTION>A</DESCRIPTION>", L"<NAME>A</NAME><DESCRIPTION></DESCRIPTION>",
               L"<NAME>Pro</NAME><DESCRIPTION>pro</DESCRIPTION>",
               L"<NAME> A </NAME><DESCRIPTION>B </DESCRIPTION>",
               L"<DESCRIPTION>B</DESCRIPTION><DISPLAYNAME>D</DISPLAYNAME>",
               L"<NAME>A</NAME><DISPLAYNAME></DISPLAYNAME>", L"<NAME>&#x41;&lt;</NAME>"}),
       {L"A", L"A", L"Pro:pro", L" A :B ", L":B", L"A", L"&#x41;&lt;"},
       {L"A", L"A", L"Pro", L" A ", L"D", L"A", L"&#x41;&lt;"}, Texts(7, L"")},
      {"a piece is an image when INDEX occurs anywhere in it",
       Images({}, L"<IMAGE><NAME>x</NAME></IMAGE><IMAGE><NAME>INDEX</NAME></IMAGE></WIM>"),
       {L"INDEX"}, {L"INDEX"}, {L""}},
      {"an output cut off inside an image lists only the whole ones",
       Images({L"<NAME>a</NAME>"}, L"<IMAGE INDEX=\"2\"><NAME>b</NA"), {L"a"}, {L"a"}, {L""}},
      {"nothing", "", {}, {}, {}},
      {"text in the code page", "<WIM><IMAGE INDEX=\"1\"><NAME>a</NAME></IMAGE></WIM>\r\nx", {}, {}, {}},
  };
  for (const auto& [row, bytes, labels, names, majors] : rows) {
    const ImageLists got = ListsFromBytes(bytes);
    EXPECT_EQ(std::tie(got.labels, got.displayNames, got.majors), std::tie(labels, names, majors)) << row;
  }
}

TEST(DecodeUtf16Output, CodeUnitsLowByteFirstBehindAnyTwoBytes) {
  const std::pair<std::string, std::wstring> rows[] = {
      {std::string("\xFF\xFE" "A\x00\x13\x4E", 6), L"A\u4E13"},
      {std::string("\xFF\xFE" "A\x00\x13", 5), L"A"},  // an odd last byte is no code unit
      {std::string("\xFE\xFF" "A\x00", 4), L"A"},      // the mark's value is not looked at
      {std::string("\xFF", 1), L""},
      {std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), L"\xD83D\xDE00"},  // no pair is joined
  };
  for (const auto& [bytes, text] : rows) EXPECT_EQ(DecodeUtf16Output(bytes), text) << bytes.size();
}

// Pieces are counted with a 16-bit index: beyond 32,767 the list is cut at the bound, in order,
// never wrapped round.
TEST(ImageList, PiecesAreBoundByTheSixteenBitIndex) {
  std::wstring xml = L"<WIM>";
  for (int i = 1; i <= 40000; ++i) xml += L"<IMAGE INDEX><NAME>" + std::to_wstring(i) + L"</NAME></IMAGE>";
  const ImageLists lists = CutImageList(xml + L"</WIM>");
  ASSERT_EQ(lists.labels.size(), 32767u);
  EXPECT_EQ(lists.majors.size(), 32767u);
  EXPECT_EQ(lists.labels.front() + L"|" + lists.labels.back(), L"1|32767");
}

TEST(MidStr, CutsBetweenMarkers) {
  // source, start marker, end marker, order, the text between
  using Row = std::tuple<std::wstring, std::wstring, std::wstring, int, std::wstring>;
  const std::wstring names = L"<IMAGE><NAME>1</NAME><FLAGS>x</FLAGS><NAME>2</NAME></IMAGE>";
  const Row rows[] = {
      {names, L"<NAME>", L"</NAME>", 0, L"1"},  // order 0: the first element
      {names, L"<NAME>", L"</NAME>", 1, L"1</NAME><FLAGS>x</FLAGS><NAME>2"},  // else: to the last end marker
      {L"<DESCRIPTION>d</DESCRIPTION>", L"<NAME>", L"</NAME>", 0, L""},
      {L"<NAME>cut off", L"<NAME>", L"</NAME>", 0, L""},
      {L"</NAME>x<NAME>y", L"<NAME>", L"</NAME>", 1, L""},  // an end marker only before the start
      {L"|a|b|", L"|", L"|", 0, L"a"},           // the end is searched behind the start
      {L"<name>x</name><NAME>y</NAME>", L"<NAME>", L"</NAME>", 0, L"y"},  // markers in their letter case
      {L"<NAME> R&amp;D \t专业版</NAME>", L"<NAME>", L"</NAME>", 0, L" R&amp;D \t专业版"},  // verbatim
      {L"(a (37%) done", L"(", L"%)", 0, L"a (37"},  // the first start marker
  };
  for (const auto& [source, start, end, order, expected] : rows) {
    EXPECT_EQ(MidStr(source, start, end, order), expected) << ::testing::PrintToString(source);
  }
}

}  // namespace
}  // namespace morvane
