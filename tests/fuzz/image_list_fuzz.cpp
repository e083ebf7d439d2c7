// Any bytes as the image tool's XML output: the three lists always come out of equal length, within
// the piece bound, and hold only text the output holds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "catalogue/image_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring text = morvane::DecodeUtf16Output(std::string(reinterpret_cast<const char*>(data), size));
  const morvane::ImageLists lists = morvane::CutImageList(text);
  bool ok = text.size() <= size / 2 && lists.labels.size() <= morvane::kMaxImagePieces;
  ok &= lists.labels.size() == lists.displayNames.size() && lists.labels.size() == lists.majors.size();
  for (size_t i = 0; i < lists.labels.size(); ++i) {
    ok &= text.find(lists.majors[i]) != std::wstring::npos && text.find(lists.displayNames[i]) != std::wstring::npos;
  }
  if (!ok) __builtin_trap();
  return 0;
}
