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

// How a batch file is run: through the command interpreter, so that a batch file is never
// mistaken for a program, with the outer quotes that "/c" strips; no AutoRun commands (/d) and no
// delayed expansion (/v:off), which would expand a "!" in a path on machines that switch it on.
std::wstring BatchRunLine(const std::wstring& interpreter, const std::wstring& batchPath);

}  // namespace morvane
