// The command lines the program writes: batch-file lines for the image tool, and process command
// lines for the interpreter, the format and the boot tools. Ordinary inputs are checked line for
// line; hostile ones are read back with small models of how cmd.exe and the C runtime split them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "catalogue/info_command.h"
#include "install/command_lines.h"
#include "shell/quoting.h"

namespace morvane {
namespace {

using ::testing::ElementsAre;

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t ch : text) out += ch < 0x80 ? static_cast<char>(ch) : '?';
  return out;
}

// How the C runtime splits a command line after the program name into arguments (the rules that
// CommandLineToArgvW and the runtime's start-up code share): blanks and tabs separate arguments
// outside quotes; 2n backslashes before a quote give n backslashes and the quote opens or closes
// quoting; 2n+1 backslashes before a quote give n backslashes and a literal quote; backslashes
// before anything else are literal; "" inside quotes gives a literal quote.
std::vector<std::wstring> SplitArguments(const std::wstring& line) {
  std::vector<std::wstring> args;
  size_t i = 0;
  const size_t n = line.size();
  for (;;) {
    while (i < n && (line[i] == L' ' || line[i] == L'\t')) ++i;
    if (i >= n) break;
    std::wstring arg;
    bool quoted = false;
    while (i < n) {
      const wchar_t ch = line[i];
      if (!quoted && (ch == L' ' || ch == L'\t')) break;
      if (ch == L'\\') {
        size_t count = 0;
        while (i < n && line[i] == L'\\') {
          ++count;
          ++i;
        }
        if (i < n && line[i] == L'"') {
          arg.append(count / 2, L'\\');
          if (count % 2 == 1) {
            arg += L'"';
            ++i;
          }
        } else {
          arg.append(count, L'\\');
        }
        continue;
      }
      if (ch == L'"') {
        if (quoted && i + 1 < n && line[i + 1] == L'"') {
          arg += L'"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
        continue;
      }
      arg += ch;
      ++i;
    }
    args.push_back(arg);
  }
  return args;
}

// How cmd.exe reads one line of a batch file, as far as these lines need it: "%%" is one "%", a
// lone "%" starts a variable reference; a double quote switches quoting; outside quotes a blank
// ends a token and "&", "|", "<", "^", "(", ")" are operators. ">" is a redirection, kept in its
// token so the test can see it.
struct BatchLine {
  std::vector<std::wstring> tokens;  // quotes removed, "%%" read as "%"
  bool expands = false;              // a lone "%" somewhere
  bool operators = false;            // an operator outside quotes
};

BatchLine ReadBatchLine(const std::wstring& line) {
  BatchLine read;
  std::wstring token;
  bool quoted = false;
  bool inToken = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const wchar_t ch = line[i];
    if (ch == L'%') {
      if (i + 1 < line.size() && line[i + 1] == L'%') {
        token += L'%';
        inToken = true;
        ++i;
      } else {
        read.expands = true;
      }
      continue;
    }
    if (ch == L'"') {
      quoted = !quoted;
      inToken = true;
      continue;
    }
    if (!quoted && (ch == L' ' || ch == L'\t')) {
      if (inToken) read.tokens.push_back(token);
      token.clear();
      inToken = false;
      continue;
    }
    if (!quoted && std::wstring(L"&|<^()").find(ch) != std::wstring::npos) read.operators = true;
    token += ch;
    inToken = true;
  }
  if (quoted) read.operators = true;  // an open quote at the end of the line
  if (inToken) read.tokens.push_back(token);
  return read;
}

// ---------------------------------------------------------------------------------------------
// ArgQuote

TEST(ArgQuote, QuotesOnlyWhenNeeded) {
  EXPECT_EQ(ArgQuote(L"C:\\Windows\\System32\\cmd.exe"), L"C:\\Windows\\System32\\cmd.exe");
  EXPECT_EQ(ArgQuote(L"a&b^c%d(e)"), L"a&b^c%d(e)");  // no meaning to the runtime
  EXPECT_EQ(ArgQuote(L"trailing\\"), L"trailing\\");  // unquoted, a backslash is just a backslash
  EXPECT_EQ(ArgQuote(L""), L"\"\"");
  EXPECT_EQ(ArgQuote(L"C:\\Program Files\\x.exe"), L"\"C:\\Program Files\\x.exe\"");
  EXPECT_EQ(ArgQuote(L"C:\\Program Files\\"), L"\"C:\\Program Files\\\\\"");
  EXPECT_EQ(ArgQuote(L"a\"b"), L"\"a\\\"b\"");
  EXPECT_EQ(ArgQuote(L"a\\\"b"), L"\"a\\\\\\\"b\"");
  EXPECT_EQ(ArgQuote(L"tab\there"), L"\"tab\there\"");
}

// Every argument survives quoting and splitting: alone, and between neighbours.
TEST(ArgQuote, RoundTripsHostileArguments) {
  std::vector<std::wstring> hostile = {
      L"",
      L" ",
      L"  ",
      L"\t",
      L"\"",
      L"\"\"",
      L"\\",
      L"\\\\",
      L"\\\"",
      L"\\\\\"",
      L"a b",
      L"a\"b",
      L"a\\b",
      L"a\\\\b",
      L"a\\\"b",
      L"a\\\\\"b",
      L"trailing\\",
      L"trailing blank\\",
      L"trailing blank\\\\\\",
      L"\"quoted\"",
      L"C:\\Program Files (x86)\\Morvane & Co\\",
      L"\\\\server\\share\\dir with blank\\",
      L"100% ^& (echo) | <x> !y!",
      L"line\nbreak",
      L"vertical\vtab",
      L"专业版 映像\\",
  };
  // And every string of up to four characters made of the characters that matter.
  const std::wstring alphabet = L"a \"\\\t";
  std::vector<std::wstring> layer = {L""};
  for (int length = 1; length <= 4; ++length) {
    std::vector<std::wstring> next;
    for (const std::wstring& s : layer) {
      for (wchar_t ch : alphabet) next.push_back(s + ch);
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

// ---------------------------------------------------------------------------------------------
// BatchQuote

TEST(BatchQuote, QuotesAndDoublesPercent) {
  EXPECT_EQ(BatchQuote(L"D:\\sources\\install.wim"), L"\"D:\\sources\\install.wim\"");
  EXPECT_EQ(BatchQuote(L"D:\\100%\\a.wim"), L"\"D:\\100%%\\a.wim\"");
  EXPECT_EQ(BatchQuote(L"%windir%"), L"\"%%windir%%\"");
  EXPECT_EQ(BatchQuote(L"%%"), L"\"%%%%\"");
  EXPECT_EQ(BatchQuote(L"a & b ^ (c) | d < e > f"), L"\"a & b ^ (c) | d < e > f\"");
  EXPECT_EQ(BatchQuote(L""), L"\"\"");
}

TEST(BatchQuote, RefusesWhatNoQuotingCarries) {
  for (const std::wstring& path : {std::wstring(L"a\"b"), std::wstring(L"\""), std::wstring(L"a\rb"),
                                   std::wstring(L"a\nb"), std::wstring(L"a\0b", 3), std::wstring(1, L'\0')}) {
    SCOPED_TRACE(Narrow(path));
    EXPECT_EQ(BatchQuote(path), std::nullopt);
  }
}

TEST(BatchQuote, ReadsBackAsOneLiteralToken) {
  const std::wstring paths[] = {
      L"C:\\Program Files (x86)\\Morvane & Co",
      L"D:\\a^b\\c&d|e<f>g",
      L"D:\\%PATH%\\%~dp0\\%1",
      L"D:\\100%",
      L"D:\\!x!\\;,=\\",
      L"D:\\dir with  two  blanks\\x.wim",
      L"D:\\专业版\\映像.esd",
  };
  for (const std::wstring& path : paths) {
    SCOPED_TRACE(Narrow(path));
    const auto quoted = BatchQuote(path);
    ASSERT_TRUE(quoted);
    const BatchLine read = ReadBatchLine(*quoted);
    EXPECT_FALSE(read.expands);
    EXPECT_FALSE(read.operators);
    EXPECT_THAT(read.tokens, ElementsAre(path));
  }
}

// ---------------------------------------------------------------------------------------------
// The two batch lines of the image tool

TEST(InfoCommandLine, OrdinaryLine) {
  EXPECT_EQ(InfoCommandLine(L"X:\\Tools", L"\\Bin64", L"D:\\sources\\install.wim", L"X:\\Windows"),
            L"\"X:\\Tools\\Bin64\\wimlib-imagex.exe\" info \"D:\\sources\\install.wim\" "
            L"--extract-xml \"X:\\Windows\\temp\\WIMInfo.xml\" >nul");
  EXPECT_EQ(InfoBatchPath(L"X:\\Windows"), L"X:\\Windows\\temp\\WIMInfo.bat");
  EXPECT_EQ(InfoOutputPath(L"X:\\Windows"), L"X:\\Windows\\temp\\WIMInfo.xml");
}

TEST(ApplyCommandLine, OrdinaryLine) {
  EXPECT_EQ(ApplyCommandLine(L"X:\\Tools", L"\\Bin64", L"D:\\sources\\install.wim", 1, L"C:", L"X:\\Windows"),
            L"\"X:\\Tools\\Bin64\\wimlib-imagex.exe\" apply \"D:\\sources\\install.wim\" 1 C:\\ "
            L">\"X:\\Windows\\temp\\apply.xml\" 2>\"X:\\Windows\\temp\\apply.err\"");
  const auto third = ApplyCommandLine(L"C:\\PE", L"\\Bin", L"E:\\x.esd", 3, L"D:", L"C:\\Windows");
  ASSERT_TRUE(third);
  EXPECT_THAT(*third, ::testing::HasSubstr(L" apply \"E:\\x.esd\" 3 D:\\ >\"C:\\Windows\\temp\\apply.xml\""));
  EXPECT_EQ(ApplyBatchPath(L"X:\\Windows"), L"X:\\Windows\\temp\\apply.bat");
  EXPECT_EQ(ApplyOutputPath(L"X:\\Windows"), L"X:\\Windows\\temp\\apply.xml");
}

TEST(ToolCommandLines, ProgramAtADriveRootGetsNoDoubledBackslash) {
  const auto info = InfoCommandLine(L"E:\\", L"\\Bin", L"D:\\a.wim", L"X:\\Windows");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->rfind(L"\"E:\\Bin\\wimlib-imagex.exe\" ", 0), 0u) << Narrow(*info);
  const auto apply = ApplyCommandLine(L"E:\\", L"\\Bin64", L"D:\\a.wim", 1, L"C:", L"X:\\Windows");
  ASSERT_TRUE(apply);
  EXPECT_EQ(apply->rfind(L"\"E:\\Bin64\\wimlib-imagex.exe\" ", 0), 0u) << Narrow(*apply);
}

struct HostilePaths {
  std::wstring program;
  std::wstring image;
  std::wstring windir;
};

TEST(ToolCommandLines, HostilePathsStayLiteralTokens) {
  const HostilePaths cases[] = {
      {L"C:\\Program Files (x86)\\Morvane & Co", L"D:\\my images\\win 10 (x64)\\install.wim", L"C:\\Windows"},
      {L"C:\\100% sure", L"D:\\%PATH%\\a^b.wim", L"C:\\Win%dows%"},
      {L"C:\\a|b<c", L"D:\\x & echo pwned.wim", L"C:\\W(in)"},
      {L"C:\\!x!", L"D:\\;,=\\a.esd", L"C:\\Windows"},
  };
  for (const HostilePaths& c : cases) {
    SCOPED_TRACE(Narrow(c.program + L" | " + c.image + L" | " + c.windir));
    const auto info = InfoCommandLine(c.program, L"\\Bin", c.image, c.windir);
    ASSERT_TRUE(info);
    BatchLine read = ReadBatchLine(*info);
    EXPECT_FALSE(read.expands);
    EXPECT_FALSE(read.operators);
    EXPECT_THAT(read.tokens, ElementsAre(c.program + L"\\Bin\\wimlib-imagex.exe", L"info", c.image, L"--extract-xml",
                                         c.windir + L"\\temp\\WIMInfo.xml", L">nul"));

    const auto apply = ApplyCommandLine(c.program, L"\\Bin64", c.image, 2, L"C:", c.windir);
    ASSERT_TRUE(apply);
    read = ReadBatchLine(*apply);
    EXPECT_FALSE(read.expands);
    EXPECT_FALSE(read.operators);
    EXPECT_THAT(read.tokens,
                ElementsAre(c.program + L"\\Bin64\\wimlib-imagex.exe", L"apply", c.image, L"2", L"C:\\",
                            L">" + c.windir + L"\\temp\\apply.xml", L"2>" + c.windir + L"\\temp\\apply.err"));
  }
}

TEST(ToolCommandLines, RefusePathsNoBatchLineCarries) {
  for (const std::wstring& bad : {std::wstring(L"D:\\a\"b"), std::wstring(L"D:\\a\r\nb"), std::wstring(L"D:\\a\nb"),
                                  std::wstring(L"D:\\a\0b", 6)}) {
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
  const std::wstring line = BatchRunLine(L"C:\\Program Files\\cmd.exe", L"C:\\My Win & Co\\temp\\WIMInfo.bat");
  const std::vector<std::wstring> args = SplitArguments(line);
  ASSERT_GE(args.size(), 1u);
  EXPECT_EQ(args[0], L"C:\\Program Files\\cmd.exe");
  // "/c" drops the first and the last quote of what follows it; the batch path stays quoted.
  const size_t c = line.find(L" /c ");
  ASSERT_NE(c, std::wstring::npos);
  std::wstring rest = line.substr(c + 4);
  ASSERT_EQ(rest.front(), L'"');
  ASSERT_EQ(rest.back(), L'"');
  rest = rest.substr(1, rest.size() - 2);
  EXPECT_EQ(rest, L"\"C:\\My Win & Co\\temp\\WIMInfo.bat\"");
}

TEST(FormatCommandLine, Lines) {
  EXPECT_EQ(FormatCommandLine(L"X:\\Windows", L"C:"), L"X:\\Windows\\System32\\format.com C: /FS:NTFS /v:Win /q /x /y");
  EXPECT_THAT(SplitArguments(FormatCommandLine(L"C:\\My Windows\\", L"D:")),
              ElementsAre(L"C:\\My Windows\\\\System32\\format.com", L"D:", L"/FS:NTFS", L"/v:Win", L"/q", L"/x",
                          L"/y"));
}

TEST(BootToolLines, Lines) {
  EXPECT_EQ(BcdbootLine(L"X:\\Tools", L"D:\\Windows", L"C:", false),
            L"X:\\Tools\\Bin\\bcdboot.exe D:\\Windows /s C: /l zh-cn");
  EXPECT_EQ(BcdbootLine(L"X:\\Tools", L"D:\\Windows", L"C:", true),
            L"X:\\Tools\\Bin\\bcdboot.exe D:\\Windows /s C: /f uefi /l zh-cn");
  EXPECT_EQ(BootsectLine(L"X:\\Tools", L"C:", true), L"X:\\Tools\\Bin\\bootsect.exe /nt60 C: /mbr");
  EXPECT_EQ(BootsectLine(L"X:\\Tools", L"C:", false), L"X:\\Tools\\Bin\\bootsect.exe /nt52 C: /mbr");
  // A program at a drive root, and one in a folder with blanks.
  EXPECT_EQ(BootsectLine(L"E:\\", L"C:", true), L"E:\\Bin\\bootsect.exe /nt60 C: /mbr");
  EXPECT_EQ(BcdbootLine(L"E:\\", L"D:\\Windows", L"C:", false), L"E:\\Bin\\bcdboot.exe D:\\Windows /s C: /l zh-cn");
  EXPECT_THAT(SplitArguments(BcdbootLine(L"C:\\PE Tools (x86)", L"D:\\Windows", L"C:", true)),
              ElementsAre(L"C:\\PE Tools (x86)\\Bin\\bcdboot.exe", L"D:\\Windows", L"/s", L"C:", L"/f", L"uefi", L"/l",
                          L"zh-cn"));
}

}  // namespace
}  // namespace morvane
