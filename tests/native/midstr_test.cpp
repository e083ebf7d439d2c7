// MidStr: the marker cutter behind the image lists and the progress percentages.
#include "catalogue/midstr.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace morvane {
namespace {

struct MidCase {
  const char* what;
  std::wstring source;
  std::wstring start;
  std::wstring end;
  int order;
  std::wstring expected;
};

void PrintTo(const MidCase& c, std::ostream* os) { *os << c.what; }

class MidStrTest : public ::testing::TestWithParam<MidCase> {};

TEST_P(MidStrTest, CutsBetweenMarkers) {
  const MidCase& c = GetParam();
  EXPECT_EQ(MidStr(c.source, c.start, c.end, c.order), c.expected);
}

const std::wstring kTwoNames = L"<IMAGE><NAME>1</NAME><FLAGS>x</FLAGS><NAME>2</NAME></IMAGE>";

INSTANTIATE_TEST_SUITE_P(
    Cases, MidStrTest,
    ::testing::Values(
        MidCase{"order 0 takes the first element", kTwoNames, L"<NAME>", L"</NAME>", 0, L"1"},
        MidCase{"order 1 runs to the last end marker", kTwoNames, L"<NAME>", L"</NAME>", 1,
                L"1</NAME><FLAGS>x</FLAGS><NAME>2"},
        MidCase{"any order but 0 counts as not 0", kTwoNames, L"<NAME>", L"</NAME>", -1,
                L"1</NAME><FLAGS>x</FLAGS><NAME>2"},
        MidCase{"order 0 with one element", L"<A><NAME>Pro</NAME></A>", L"<NAME>", L"</NAME>", 0, L"Pro"},
        MidCase{"missing start marker", L"<DESCRIPTION>d</DESCRIPTION>", L"<NAME>", L"</NAME>", 0, L""},
        MidCase{"missing start marker, order 1", L"<DESCRIPTION>d</DESCRIPTION>", L"<NAME>", L"</NAME>", 1, L""},
        MidCase{"no end marker at all", L"<NAME>cut off", L"<NAME>", L"</NAME>", 0, L""},
        MidCase{"no end marker at all, order 1", L"<NAME>cut off", L"<NAME>", L"</NAME>", 1, L""},
        MidCase{"end marker only before the start", L"</NAME>x<NAME>y", L"<NAME>", L"</NAME>", 0, L""},
        MidCase{"end marker only before the start, order 1", L"</NAME>x<NAME>y", L"<NAME>", L"</NAME>", 1, L""},
        MidCase{"end marker overlapping the start marker", L"<NAME>", L"<NAME>", L"NAME>", 0, L""},
        MidCase{"end marker overlapping the start marker, order 1", L"<NAME>", L"<NAME>", L"NAME>", 1, L""},
        MidCase{"empty element", L"<NAME></NAME>", L"<NAME>", L"</NAME>", 0, L""},
        MidCase{"empty element, order 1", L"<NAME></NAME>", L"<NAME>", L"</NAME>", 1, L""},
        MidCase{"empty source", L"", L"<NAME>", L"</NAME>", 0, L""},
        MidCase{"lower-case tags are not the markers", L"<name>x</name>", L"<NAME>", L"</NAME>", 0, L""},
        MidCase{"lower-case end tag is not the marker", L"<NAME>x</name>", L"<NAME>", L"</NAME>", 0, L""},
        MidCase{"mixed case start tag is skipped for the real one", L"<Name>a</Name><NAME>b</NAME>", L"<NAME>",
                L"</NAME>", 0, L"b"},
        MidCase{"content is taken verbatim", L"<NAME> R&amp;D \t</NAME>", L"<NAME>", L"</NAME>", 0,
                L" R&amp;D \t"},
        MidCase{"non-ASCII content", L"<NAME>专业版</NAME>", L"<NAME>", L"</NAME>", 0, L"专业版"},
        MidCase{"same marker at both ends", L"|a|b|", L"|", L"|", 0, L"a"},
        MidCase{"same marker at both ends, order 1", L"|a|b|", L"|", L"|", 1, L"a|b"},
        MidCase{"percentage of a report", L" 12 GiB of 20 GiB (60%) done\r", L"(", L"%)", 0, L"60"},
        MidCase{"first open paren wins", L"(a (37%) done", L"(", L"%)", 0, L"a (37"},
        MidCase{"end marker right at the source's end", L"x(5%)", L"(", L"%)", 0, L"5"}));

}  // namespace
}  // namespace morvane
