#include "catalogue/image_list.h"

#include "catalogue/midstr.h"

namespace morvane {

ImageLists CutImageList(const std::wstring& xml) {
  static const std::wstring kClose = L"</IMAGE>";
  ImageLists lists;
  size_t pos = 0;
  for (size_t piece = 0; piece < kMaxImagePieces && pos <= xml.size(); ++piece) {
    const size_t close = xml.find(kClose, pos);
    const size_t end = close == std::wstring::npos ? xml.size() : close;
    const std::wstring text = xml.substr(pos, end - pos);
    // Only a piece that its closing tag ends is a whole image: an output cut short (a tool that
    // died while writing) must not list a half-read image with wrong names.
    if (close != std::wstring::npos && text.find(L"INDEX") != std::wstring::npos) {
      const std::wstring name = MidStr(text, L"<NAME>", L"</NAME>", 0);
      const std::wstring description = MidStr(text, L"<DESCRIPTION>", L"</DESCRIPTION>", 0);
      lists.labels.push_back(description.empty() || description == name ? name : name + L":" + description);
      const std::wstring displayName = MidStr(text, L"<DISPLAYNAME>", L"</DISPLAYNAME>", 0);
      lists.displayNames.push_back(displayName.empty() ? name : displayName);
      lists.majors.push_back(MidStr(text, L"<MAJOR>", L"</MAJOR>", 0));
    }
    if (close == std::wstring::npos) break;
    pos = close + kClose.size();
  }
  return lists;
}

std::wstring DecodeUtf16Output(const std::string& bytes) {
  std::wstring text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const unsigned lo = static_cast<unsigned char>(bytes[i]);
    const unsigned hi = static_cast<unsigned char>(bytes[i + 1]);
    text.push_back(static_cast<wchar_t>(lo | (hi << 8)));
  }
  return text;
}

}  // namespace morvane
