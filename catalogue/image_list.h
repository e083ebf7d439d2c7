// The image tool's XML description cut into the three parallel image lists. Markers, not a parser:
// nothing is decoded or trimmed, and every comparison is exact and case-sensitive.
#pragma once

#include <string>
#include <vector>

namespace morvane {

struct ImageLists {
  std::vector<std::wstring> labels;        // the edition list: NAME, or NAME ":" DESCRIPTION
  std::vector<std::wstring> displayNames;  // DISPLAYNAME, or NAME when it is empty
  std::vector<std::wstring> majors;        // the MAJOR text, possibly empty
};

// Pieces are counted with a 16-bit index: at most this many pieces are looked at.
constexpr size_t kMaxImagePieces = 32767;

ImageLists CutImageList(const std::wstring& xml);

// The bytes of the tool's output as UTF-16LE behind a two-byte byte-order mark (its value is not
// looked at): the code units of the bytes after the mark; an odd last byte is no code unit.
std::wstring DecodeUtf16Output(const std::string& bytes);

}  // namespace morvane
