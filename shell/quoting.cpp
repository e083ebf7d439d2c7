#include "shell/quoting.h"

namespace morvane {

std::optional<std::wstring> BatchQuote(const std::wstring& path) {
  std::wstring out = L"\"";
  for (wchar_t ch : path) {
    if (ch == L'"' || ch == L'\r' || ch == L'\n' || ch == L'\0') return std::nullopt;
    if (ch == L'%') out += L'%';
    out += ch;
  }
  out += L'"';
  return out;
}

std::wstring ArgQuote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t ch : arg) {
    if (ch == L'\\') {
      ++backslashes;
      continue;
    }
    if (ch == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    backslashes = 0;
    out += ch;
  }
  out.append(backslashes * 2, L'\\');
  out += L'"';
  return out;
}

std::wstring BatchRunLine(const std::wstring& interpreter, const std::wstring& batchPath) {
  return ArgQuote(interpreter) + L" /d /v:off /c \"\"" + batchPath + L"\"\"";
}

}  // namespace morvane
