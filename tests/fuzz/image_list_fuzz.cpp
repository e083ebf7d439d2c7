// Any bytes as the image tool's "info --xml" output: the three lists always come out of equal
// length, within the piece bound, and hold only text that the output holds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "catalogue/image_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto check = [](bool ok) { if (!ok) __builtin_trap(); };
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::wstring text = morvane::DecodeUtf16Output(bytes);
  check(text.size() <= size / 2);
  const morvane::ImageLists lists = morvane::CutImageList(text);
  check(lists.labels.size() == lists.displayNames.size() && lists.labels.size() == lists.majors.size());
  check(lists.labels.size() <= morvane::kMaxImagePieces);
  check(lists.labels.empty() || text.find(L"INDEX") != std::wstring::npos);
  for (size_t i = 0; i < lists.labels.size(); ++i) {
    check(text.find(lists.majors[i]) != std::wstring::npos);
    check(text.find(lists.displayNames[i]) != std::wstring::npos);
  }
  return 0;
}
