#include "catalogue/midstr.h"

namespace morvane {

std::wstring MidStr(const std::wstring& source, const std::wstring& startStr, const std::wstring& endStr,
                    int order) {
  const size_t start = source.find(startStr);
  if (start == std::wstring::npos) return std::wstring();
  const size_t begin = start + startStr.size();
  const size_t end = order == 0 ? source.find(endStr, begin) : source.rfind(endStr);
  if (end == std::wstring::npos || end < begin) return std::wstring();
  return source.substr(begin, end - begin);
}

}  // namespace morvane
