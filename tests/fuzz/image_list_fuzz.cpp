// Any bytes as the image tool's "info --xml" output: the three lists always come out of equal
// length, within the piece bound, and hold only text that the output holds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "catalogue/image_list.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace morvane;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::wstring text = DecodeUtf16Output(bytes);
  Check(text.size() <= size / 2);
  const ImageLists lists = CutImageList(text);
  Check(lists.labels.size() == lists.displayNames.size());
  Check(lists.labels.size() == lists.majors.size());
  Check(lists.labels.size() <= kMaxImagePieces);
  if (text.find(L"INDEX") == std::wstring::npos) Check(lists.labels.empty());
  for (size_t i = 0; i < lists.labels.size(); ++i) {
    Check(text.find(lists.majors[i]) != std::wstring::npos);
    Check(text.find(lists.displayNames[i]) != std::wstring::npos);
  }
  return 0;
}
