// MidStr on any three strings and order: never fails, and what it returns is the text right behind
// the first start marker, so always a piece of the source.
//
// Input: byte 0 the order, bytes 1 and 2 the lengths of the start and end markers, then the
// markers and the source, one character per byte.
#include <cstddef>
#include <cstdint>
#include <string>

#include "catalogue/midstr.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

std::wstring Take(const uint8_t*& data, size_t& size, size_t count) {
  if (count > size) count = size;
  std::wstring text(data, data + count);
  data += count;
  size -= count;
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int order = static_cast<int8_t>(data[0]);
  const size_t startLength = data[1] % 16;
  const size_t endLength = data[2] % 16;
  data += 3;
  size -= 3;
  const std::wstring startStr = Take(data, size, startLength);
  const std::wstring endStr = Take(data, size, endLength);
  const std::wstring source = Take(data, size, size);

  const std::wstring result = morvane::MidStr(source, startStr, endStr, order);
  Check(source.find(result) != std::wstring::npos);
  const size_t start = source.find(startStr);
  if (start == std::wstring::npos) {
    Check(result.empty());
    return 0;
  }
  const size_t begin = start + startStr.size();
  Check(source.compare(begin, result.size(), result) == 0);
  if (!result.empty()) {
    // The end marker stands right behind the result.
    Check(source.compare(begin + result.size(), endStr.size(), endStr) == 0);
    // Order 0 stops at the first end marker behind the start, order != 0 at the last one.
    if (order == 0) {
      Check(source.find(endStr, begin) == begin + result.size());
    } else {
      Check(source.rfind(endStr) == begin + result.size());
    }
  }
  return 0;
}
