// Quoting of paths for the two kinds of command line the program writes.
#pragma once

#include <optional>
#include <string>

namespace morvane {

// A path as one token of a batch-file line: in double quotes (so blanks, "&", "^", "(", ")" are
// literal) with every "%" doubled (a batch file expands "%" even inside quotes). No result for a
// text that no quoting can carry: a double quote, a line break or a NUL.
std::optional<std::wstring> BatchQuote(const std::wstring& path);

// One argument of a CreateProcess command line, quoted by the rules the C runtime parses with:
// quotes only when needed, backslashes doubled before a quote and before the closing quote.
std::wstring ArgQuote(const std::wstring& arg);

}  // namespace morvane
