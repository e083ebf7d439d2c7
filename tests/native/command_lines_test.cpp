// The command lines the program writes: batch-file lines for the image tool, and process command
// lines for the interpreter, the format and the boot tools. Ordinary inputs are checked line for
// line; hostile ones are read back with small models of how cmd.exe and the C runtime split them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "catalogue/info_command.h"
#include "fakes.h"
#include "install/command_lines.h"
#include "shell/quoting.h"

namespace morvane {
namespace {

using ::testing::ElementsAre;
using testing::Narrow;
using Texts = std::vector<std::wstring>;

// How the C runtime splits a command line into arguments (the rules that CommandLineToArgvW and
// the runtime's start-up code share): blanks and tabs separate arguments outside quotes; 2n
// backslashes before a quote give n backslashes and the quote opens or closes quoting; 2n+1
// give n and a literal quote; backslashes before anything else are literal; "" inside quotes
// gives a literal quote.
Texts SplitArguments(const std::wstring& line) {
  Texts args;
  size_t i = 0;
  const size_t n = line.size();
  for (;;) {
    while (i < n && (line[i] == L' ' || line[i] == L'\t')) ++i;
    if (i >= n) return args;
    std::wstring arg;
    bool quoted = false;
    while (i < n && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
      size_t backslashes = 0;
      while (i < n && line[i] == L'\\') ++backslashes, ++i;
      if (i < n && line[i] == L'"') {
        arg.append(backslashes / 2, L'\\');
        if (backslashes % 2 == 1) {
          arg += L'"';
        } else if (quoted && i + 1 < n && line[i + 1] == L'"') {
          arg += L'"';
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        arg.append(backslashes, L'\\');
        if (backslashes == 0 && i < n) arg += line[i++];
      }
    }
    args.push_back(arg);
  }
}

// How cmd.exe reads one line of a batch file, as far as these lines need it: "%%" is one "%", a
// lone "%" starts a variable reference; a double quote switches quoting; outside quotes a blank
// ends a token and "&", "|", "<", "^", "(", ")" are operators. ">" is a redirection, kept in its
// token so the test can see it.
struct BatchLine {
  Texts tokens;            // quotes removed, "%%" read as "%"
  bool expands = false;    // a lone "%" somewhere
  bool operators = false;  // an operator outside quotes, or a quote left open
};

BatchLine ReadBatchLine(const std::wstring& line) {
  BatchLine read;
  std::wstring token;
  bool quoted = false, inToken = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const wchar_t ch = line[i];
    if (ch == L'%' && i + 1 < line.size() && line[i + 1] == L'%') {
      token += L'%';
      inToken = true;
      ++i;
    } else if (ch == L'%') {
      read.expands = true;
    } else if (ch == L'"') {
      quoted = !quoted;
      inToken = true;
    } else if (!quoted && (ch == L' ' || ch == L'\t')) {
      if (inToken) read.tokens.push_back(token);
      token.clear();
      inToken = false;
    } else {
      if (!quoted && std::wstring(L"&|<^()").find(ch) != std::wstring::npos) read.operators = true;
      token += ch;
      inToken = true;
    }
  }
  read.operators |= quoted;
  if (inToken) read.tokens.push_back(token);
  return read;
}

// ---------------------------------------------------------------------------------------------
// Quoting

TEST(ArgQuote, QuotesOnlyWhenNeededAndDoublesTheBackslashesBeforeTheClosingQuote) {
  EXPECT_EQ(ArgQuote(L"C:\\Windows\\System32\\cmd.exe"), L"C:\\Windows\\System32\\cmd.exe");
  EXPECT_EQ(ArgQuote(L"C:\\Program Files\\"), L"\"C:\\Program Files\\\\\"");
}

// Every argument survives quoting and splitting, alone and between neighbours: some real paths,
// and every string of up to four of the characters that matter.
TEST(ArgQuote, RoundTripsHostileArguments) {
  Texts hostile = {L"C:\\Program Files (x86)\\Morvane & Co\\", L"\\\\server\\share\\dir with blank\\", L"专业版 映像\\"};
  Texts layer = {L""};
  for (int length = 1; length <= 4; ++length) {
    Texts next;
    for (const std::wstring& s : layer) {
      for (wchar_t ch : std::wstring(L"a \"\\\t\n\v")) next.push_back(s + ch);
    }
    hostile.insert(hostile.end(), next.begin(), next.end());
    layer = next;
  }
  for (const std::wstring& arg : hostile) {
    SCOPED_TRACE(Narrow(arg));
    EXPECT_THAT(SplitArguments(ArgQuote(arg)), ElementsAre(arg));
    EXPECT_THAT(SplitArguments(L"x " + ArgQuote(arg) + L" " + ArgQuote(arg) + L" y"), ElementsAre(L"x", arg, arg, L"y"));
  }
}

TEST(BatchQuote, ReadsBackAsOneLiteralTokenOrIsRefused) {
  EXPECT_EQ(BatchQuote(L"D:\\100%\\a.wim"), L"\"D:\\100%%\\a.wim\"");
  const std::wstring paths[] = {
      L"C:\\Program Files (x86)\\Morvane & Co", L"D:\\a^b\\c&d|e<f>g", L"D:\\%PATH%\\%~dp0\\%1", L"D:\\100%",
      L"D:\\!x!\\;,=\\",  L"D:\\dir with  two  blanks\\x.wim",  L"D:\\专业版\\映像.esd",  L"",
  };
  for (const std::wstring& path : paths) {
    SCOPED_TRACE(Narrow(path));
    const BatchLine read = ReadBatchLine(BatchQuote(path).value_or(L"refused"));
    EXPECT_FALSE(read.expands);
    EXPECT_FALSE(read.operators);
    EXPECT_THAT(read.tokens, ElementsAre(path));
  }
  for (const std::wstring& path : {std::wstring(L"a\"b"), std::wstring(L"a\rb"), std::wstring(L"a\nb"), std::wstring(L"a\0b", 3)}) {
    EXPECT_EQ(BatchQuote(path), std::nullopt) << Narrow(path);
  }
}

// ---------------------------------------------------------------------------------------------
// The two batch lines of the image tool

TEST(ToolCommandLines, OrdinaryLines) {
  EXPECT_EQ(InfoCommandLine(L"X:\\Tools", L"\\Bin64", L"D:\\sources\\install.wim", L"X:\\Windows"),
            L"\"X:\\Tools\\Bin64\\wimlib-imagex.exe\" info \"D:\\sources\\install.wim\" "
            L"--extract-xml \"X:\\Windows\\temp\\WIMInfo.xml\" >nul");
  EXPECT_EQ(ApplyCommandLine(L"X:\\Tools", L"\\Bin64", L"D:\\sources\\install.wim", 3, L"C:", L"X:\\Windows"),
            L"\"X:\\Tools\\Bin64\\wimlib-imagex.exe\" apply \"D:\\sources\\install.wim\" 3 C:\\ "
            L">\"X:\\Windows\\temp\\apply.xml\" 2>\"X:\\Windows\\temp\\apply.err\"");
  EXPECT_EQ(InfoBatchPath(L"X:\\Windows"), L"X:\\Windows\\temp\\WIMInfo.bat");
  EXPECT_EQ(ApplyBatchPath(L"X:\\Windows"), L"X:\\Windows\\temp\\apply.bat");
  // A program at a drive root gets no doubled backslash.
  EXPECT_EQ(InfoCommandLine(L"E:\\", L"\\Bin", L"D:\\a.wim", L"X:\\Windows").value_or(L"").rfind(L"\"E:\\Bin\\wim", 0), 0u);
  EXPECT_EQ(ApplyCommandLine(L"E:\\", L"\\Bin", L"D:\\a.wim", 1, L"C:", L"X:\\Windows").value_or(L"").rfind(L"\"E:\\Bin\\wim", 0), 0u);
}

TEST(ToolCommandLines, HostilePathsStayLiteralTokensOrAreRefused) {
  struct Paths {
    std::wstring program, image, windir;
  };
  const Paths cases[] = {
      {L"C:\\Program Files (x86)\\Morvane & Co", L"D:\\my images\\win 10 (x64)\\install.wim", L"C:\\Windows"},
      {L"C:\\100% sure", L"D:\\%PATH%\\a^b.wim", L"C:\\Win%dows%"},
      {L"C:\\a|b<c", L"D:\\x & echo pwned.wim", L"C:\\W(in)"},
      {L"C:\\!x!", L"D:\\;,=\\a.esd", L"C:\\Windows"},
  };
  for (const Paths& c : cases) {
    SCOPED_TRACE(Narrow(c.program + L" | " + c.image + L" | " + c.windir));
    BatchLine read = ReadBatchLine(InfoCommandLine(c.program, L"\\Bin", c.image, c.windir).value_or(L"refused"));
    EXPECT_FALSE(read.expands || read.operators);
    EXPECT_THAT(read.tokens, ElementsAre(c.program + L"\\Bin\\wimlib-imagex.exe", L"info", c.image, L"--extract-xml",
                                         c.windir + L"\\temp\\WIMInfo.xml", L">nul"));
    read = ReadBatchLine(ApplyCommandLine(c.program, L"\\Bin64", c.image, 2, L"C:", c.windir).value_or(L"refused"));
    EXPECT_FALSE(read.expands || read.operators);
    EXPECT_THAT(read.tokens, ElementsAre(c.program + L"\\Bin64\\wimlib-imagex.exe", L"apply", c.image, L"2", L"C:\\",
                                         L">" + c.windir + L"\\temp\\apply.xml", L"2>" + c.windir + L"\\temp\\apply.err"));
  }
  for (const std::wstring& bad : {std::wstring(L"D:\\a\"b"), std::wstring(L"D:\\a\r\nb"), std::wstring(L"D:\\a\0b", 6)}) {
    SCOPED_TRACE(Narrow(bad));
    EXPECT_EQ(InfoCommandLine(bad, L"\\Bin", L"D:\\a.wim", L"C:\\Windows"), std::nullopt);
    EXPECT_EQ(InfoCommandLine(L"C:\\Tools", L"\\Bin", bad, L"C:\\Windows"), std::nullopt);
    EXPECT_EQ(InfoCommandLine(L"C:\\Tools", L"\\Bin", L"D:\\a.wim", bad), std::nullopt);
    EXPECT_EQ(ApplyCommandLine(bad, L"\\Bin", L"D:\\a.wim", 1, L"C:", L"C:\\Windows"), std::nullopt);
    EXPECT_EQ(ApplyCommandLine(L"C:\\Tools", L"\\Bin", bad, 1, L"C:", L"C:\\Windows"), std::nullopt);
    EXPECT_EQ(ApplyCommandLine(L"C:\\Tools", L"\\Bin", L"D:\\a.wim", 1, L"C:", bad), std::nullopt);
  }
}

// ---------------------------------------------------------------------------------------------
// Process command lines

TEST(BatchRunLine, InterpreterGetsTheBatchInOuterQuotes) {
  EXPECT_EQ(BatchRunLine(L"C:\\Windows\\system32\\cmd.exe", L"X:\\Windows\\temp\\apply.bat"),
            L"C:\\Windows\\system32\\cmd.exe /d /v:off /c \"\"X:\\Windows\\temp\\apply.bat\"\"");
  // "/c" drops the first and the last quote of what follows it; the batch path stays quoted.
  EXPECT_EQ(BatchRunLine(L"C:\\Program Files\\cmd.exe", L"C:\\My Win & Co\\temp\\WIMInfo.bat"),
            L"\"C:\\Program Files\\cmd.exe\" /d /v:off /c \"\"C:\\My Win & Co\\temp\\WIMInfo.bat\"\"");
}

TEST(FormatAndBootToolLines, Lines) {
  EXPECT_EQ(FormatCommandLine(L"X:\\Windows", L"C:"), L"X:\\Windows\\System32\\format.com C: /FS:NTFS /v:Win /q /x /y");
  EXPECT_THAT(SplitArguments(FormatCommandLine(L"C:\\My Windows\\", L"D:")),
              ElementsAre(L"C:\\My Windows\\\\System32\\format.com", L"D:", L"/FS:NTFS", L"/v:Win", L"/q", L"/x", L"/y"));
  EXPECT_EQ(BcdbootLine(L"X:\\Tools", L"D:\\Windows", L"C:", false), L"X:\\Tools\\Bin\\bcdboot.exe D:\\Windows /s C: /l zh-cn");
  EXPECT_EQ(BcdbootLine(L"E:\\", L"D:\\Windows", L"C:", true), L"E:\\Bin\\bcdboot.exe D:\\Windows /s C: /f uefi /l zh-cn");
  EXPECT_EQ(BootsectLine(L"X:\\Tools", L"C:", true), L"X:\\Tools\\Bin\\bootsect.exe /nt60 C: /mbr");
  EXPECT_EQ(BootsectLine(L"E:\\", L"C:", false), L"E:\\Bin\\bootsect.exe /nt52 C: /mbr");
  EXPECT_THAT(SplitArguments(BcdbootLine(L"C:\\PE Tools (x86)", L"D:\\Windows", L"C:", true)),
              ElementsAre(L"C:\\PE Tools (x86)\\Bin\\bcdboot.exe", L"D:\\Windows", L"/s", L"C:", L"/f", L"uefi", L"/l", L"zh-cn"));
}

}  // namespace
}  // namespace morvane
