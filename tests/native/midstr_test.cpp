// MidStr: the marker cutter behind the image lists and the progress percentages.
#include "catalogue/midstr.h"

#include <gtest/gtest.h>

#include <string>

namespace morvane {
namespace {

TEST(MidStr, CutsBetweenMarkers) {
  struct Row {
    const char* name;
    std::wstring source, start, end;
    int order;
    std::wstring expected;
  };
  const std::wstring twoNames = L"<IMAGE><NAME>1</NAME><FLAGS>x</FLAGS><NAME>2</NAME></IMAGE>";
  const Row rows[] = {
      {"order 0 takes the first element", twoNames, L"<NAME>", L"</NAME>", 0, L"1"},
      {"order 1 runs to the last end marker", twoNames, L"<NAME>", L"</NAME>", 1, L"1</NAME><FLAGS>x</FLAGS><NAME>2"},
      {"any order but 0 counts as not 0", twoNames, L"<NAME>", L"</NAME>", -1, L"1</NAME><FLAGS>x</FLAGS><NAME>2"},
      {"missing start marker", L"<DESCRIPTION>d</DESCRIPTION>", L"<NAME>", L"</NAME>", 0, L""},
      {"no end marker at all", L"<NAME>cut off", L"<NAME>", L"</NAME>", 0, L""},
      {"end marker only before the start", L"</NAME>x<NAME>y", L"<NAME>", L"</NAME>", 0, L""},
      {"end marker only before the start, order 1", L"</NAME>x<NAME>y", L"<NAME>", L"</NAME>", 1, L""},
      {"end marker inside the start marker, order 1", L"<NAME>", L"<NAME>", L"NAME>", 1, L""},
      {"the end is searched behind the start", L"|a|b|", L"|", L"|", 0, L"a"},
      {"empty element", L"<NAME></NAME>", L"<NAME>", L"</NAME>", 0, L""},
      {"lower-case tags are not the markers", L"<name>x</name><NAME>y</NAME>", L"<NAME>", L"</NAME>", 0, L"y"},
      {"content is taken verbatim", L"<NAME> R&amp;D \t专业版</NAME>", L"<NAME>", L"</NAME>", 0, L" R&amp;D \t专业版"},
      {"percentage of a report", L" 12 GiB of 20 GiB (60%) done\r", L"(", L"%)", 0, L"60"},
      {"first open paren wins", L"(a (37%) done", L"(", L"%)", 0, L"a (37"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(MidStr(row.source, row.start, row.end, row.order), row.expected) << row.name;
  }
}

}  // namespace
}  // namespace morvane
