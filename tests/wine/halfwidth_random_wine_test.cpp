// The half-width mapping is the platform's (LCMapStringW), so it is fuzzed here, under Windows, by
// a bounded random-input run rather than by libFuzzer: random UTF-16 text (lone surrogates, the
// full-width block, ideographs, controls) through the mapping and the whole reading of the image
// tool's output.
#include <gtest/gtest.h>

#include <random>

#include "catalogue/image_list.h"
#include "shell/system_win.h"

namespace morvane::wine {
namespace {

wchar_t RandomUnit(std::mt19937& rng) {
  switch (rng() % 6) {
    case 0: return static_cast<wchar_t>(0xFF01 + rng() % 0x5E);   // full-width forms
    case 1: return static_cast<wchar_t>(0x4E00 + rng() % 0x5000);  // ideographs
    case 2: return static_cast<wchar_t>(0xD800 + rng() % 0x800);   // surrogates, often unpaired
    case 3: return static_cast<wchar_t>(rng() % 0x80);             // ASCII and controls, NUL too
    case 4: return static_cast<wchar_t>(0x3000 + rng() % 0x100);   // CJK symbols, kana
    default: return static_cast<wchar_t>(rng() % 0x10000);
  }
}

TEST(HalfWidthRandom, MapsFullWidthFormsAndNeverBreaksOnAnyText) {
  WinSystem sys;
  std::mt19937 rng(20181);
  for (int round = 0; round < 20000; ++round) {
    std::wstring text(rng() % 64, L'\0');
    for (wchar_t& ch : text) ch = RandomUnit(rng);
    const std::wstring mapped = sys.HalfWidth(text);
    ASSERT_EQ(mapped.empty(), text.empty()) << round;
    ASSERT_LE(mapped.size(), text.size() * 2 + 2) << round;  // kana may take a voiced mark
  }
  EXPECT_EQ(sys.HalfWidth(L"ＷＩＮ１０\u3000专业版"), L"WIN10 专业版");
}

TEST(HalfWidthRandom, TheToolOutputReadingKeepsItsListsEven) {
  WinSystem sys;
  std::mt19937 rng(7);
  const std::wstring pieces[] = {L"<IMAGE INDEX=\"1\">", L"</IMAGE>", L"<NAME>", L"</NAME>", L"<DISPLAYNAME>",
                                 L"</DISPLAYNAME>", L"<MAJOR>", L"</MAJOR>", L"ＡＢＣ", L"中文"};
  for (int round = 0; round < 3000; ++round) {
    std::wstring text;
    const size_t parts = rng() % 40;
    for (size_t i = 0; i < parts; ++i) {
      if (rng() % 2) {
        text += pieces[rng() % 10];
      } else {
        text += RandomUnit(rng);
      }
    }
    std::string bytes = "\xFF\xFE";
    for (wchar_t ch : text) {
      bytes += static_cast<char>(ch & 0xFF);
      bytes += static_cast<char>((ch >> 8) & 0xFF);
    }
    if (rng() % 4 == 0 && !bytes.empty()) bytes.pop_back();  // an odd length now and then
    const ImageLists lists = CutImageList(sys.HalfWidth(DecodeUtf16Output(bytes)));
    ASSERT_EQ(lists.labels.size(), lists.displayNames.size()) << round;
    ASSERT_EQ(lists.labels.size(), lists.majors.size()) << round;
  }
}

}  // namespace
}  // namespace morvane::wine
