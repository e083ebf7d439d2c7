// The command lines the program writes: the batch-file lines of the image tool (cmd.exe reads them:
// every path in double quotes, every "%" doubled) and the process command lines of the interpreter,
// the format and the boot tools (the C runtime splits them: quotes only where needed, backslashes
// doubled before a quote), and the file the icon is read from. Each row is a line exactly as
// written, or no line at all.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

#include "catalogue/image_tool.h"
#include "install/command_lines.h"
#include "shell/app_folder.h"
#include "shell/quoting.h"

namespace morvane {
namespace {

TEST(CommandLines, ExactlyAsWrittenOrRefused) {
  using Row = std::tuple<const char*, std::optional<std::wstring>, std::optional<std::wstring>>;
  const std::wstring nul(L"D:\\a\0b", 6);
  const Row rows[] = {
      {"query, program at a root", InfoCommandLine(ImageToolPath(L"X:\\", L"\\Bin64"), L"D:\\s\\install.wim", L"X:\\Windows"),
       L"\"X:\\Bin64\\wimlib-imagex.exe\" info \"D:\\s\\install.wim\" "
       L"--extract-xml \"X:\\Windows\\temp\\WIMInfo.xml\" >nul"},
      // Blanks, "&", "|", "<", "^", "(", ")", "!" and ";,=" are literal inside the quotes.
      {"query, operators",
       InfoCommandLine(ImageToolPath(L"C:\\Program Files (x86)\\M & Co", L"\\Bin"), L"D:\\x & a|b<c^d", L"C:\\W(!x!;,=)"),
       L"\"C:\\Program Files (x86)\\M & Co\\Bin\\wimlib-imagex.exe\" info \"D:\\x & a|b<c^d\" "
       L"--extract-xml \"C:\\W(!x!;,=)\\temp\\WIMInfo.xml\" >nul"},
      {"query, \"%\" doubled",
       InfoCommandLine(ImageToolPath(L"C:\\100% sure", L"\\Bin"), L"D:\\%PATH%\\%~dp0%1", L"C:\\W%"),
       L"\"C:\\100%% sure\\Bin\\wimlib-imagex.exe\" info \"D:\\%%PATH%%\\%%~dp0%%1\" "
       L"--extract-xml \"C:\\W%%\\temp\\WIMInfo.xml\" >nul"},
      {"query, quote in the program", InfoCommandLine(ImageToolPath(L"D:\\a\"b", L"\\Bin"), L"D:\\a.wim", L"C:\\W"), {}},
      {"query, line break in the image", InfoCommandLine(ImageToolPath(L"C:\\T", L"\\Bin"), L"D:\\a\r\nb", L"C:\\W"), {}},
      {"query, NUL in the Windows folder", InfoCommandLine(ImageToolPath(L"C:\\T", L"\\Bin"), L"D:\\a.wim", nul), {}},
      {"apply",
       ApplyCommandLine(ImageToolPath(L"X:\\Tools", L"\\Bin64"), L"D:\\sources\\install.wim", 3, L"C:", L"X:\\Windows"),
       L"\"X:\\Tools\\Bin64\\wimlib-imagex.exe\" apply \"D:\\sources\\install.wim\" 3 C:\\ "
       L">\"X:\\Windows\\temp\\apply.xml\" 2>\"X:\\Windows\\temp\\apply.err\""},
      {"apply, root, operators, \"%\"",
       ApplyCommandLine(ImageToolPath(L"E:\\", L"\\Bin"), L"D:\\(x) & 1%.wim", 12, L"T:", L"C:\\|%x%"),
       L"\"E:\\Bin\\wimlib-imagex.exe\" apply \"D:\\(x) & 1%%.wim\" 12 T:\\ "
       L">\"C:\\|%%x%%\\temp\\apply.xml\" 2>\"C:\\|%%x%%\\temp\\apply.err\""},
      {"apply, NUL in the program", ApplyCommandLine(ImageToolPath(nul, L"\\Bin"), L"D:\\a.wim", 1, L"C:", L"C:\\W"), {}},
      {"apply, quote in the image", ApplyCommandLine(ImageToolPath(L"C:", L"\\Bin"), L"D:\\a\"b", 1, L"C:", L"C:\\W"), {}},
      {"apply, line feed in the windir", ApplyCommandLine(ImageToolPath(L"C:", L"\\Bin"), L"a", 1, L"C:", L"C:\n"), {}},
      {"query batch", InfoBatchPath(L"X:\\W"), L"X:\\W\\temp\\WIMInfo.bat"},
      {"apply batch", ApplyBatchPath(L"X:\\W"), L"X:\\W\\temp\\apply.bat"},
      {"batch quote, empty", BatchQuote(L""), L"\"\""}, {"argument, empty", ArgQuote(L""), L"\"\""},
      {"batch quote, CR", BatchQuote(L"a\rb"), {}}, {"batch quote, LF", BatchQuote(L"a\nb"), {}},
      {"batch quote, NUL", BatchQuote(nul), {}}, {"batch quote, quote", BatchQuote(L"a\"b"), {}},
      {"argument, end backslash doubled", ArgQuote(L"C:\\Program Files\\"), L"\"C:\\Program Files\\\\\""},
      {"argument, quote and its backslashes", ArgQuote(L"a\\\\\"b"), L"\"a\\\\\\\\\\\"b\""},
      {"argument, tab, line feed, vertical tab", ArgQuote(L"\t") + ArgQuote(L"\n") + ArgQuote(L"\v"),
       L"\"\t\"\"\n\"\"\v\""},
      {"interpreter", BatchRunLine(L"C:\\Windows\\system32\\cmd.exe", L"X:\\Windows\\temp\\apply.bat"),
       L"C:\\Windows\\system32\\cmd.exe /d /v:off /c \"\"X:\\Windows\\temp\\apply.bat\"\""},
      // "/c" drops the first and the last quote of what follows it; the batch path stays quoted.
      {"interpreter, blanks", BatchRunLine(L"C:\\Program Files\\cmd.exe", L"C:\\My Win & Co\\WIMInfo.bat"),
       L"\"C:\\Program Files\\cmd.exe\" /d /v:off /c \"\"C:\\My Win & Co\\WIMInfo.bat\"\""},
      {"format", FormatCommandLine(L"X:\\Windows", L"C:"),
       L"X:\\Windows\\System32\\format.com C: /FS:NTFS /v:Win /q /x /y"},
      {"format, blank and trailing backslash", FormatCommandLine(L"C:\\My Windows\\", L"D:"),
       L"\"C:\\My Windows\\\\System32\\format.com\" D: /FS:NTFS /v:Win /q /x /y"},
      {"bcdboot, root, UEFI", BcdbootLine(L"E:\\", L"D:\\Windows", L"C:", true),
       L"E:\\Bin\\bcdboot.exe D:\\Windows /s C: /f uefi /l zh-cn"},
      {"bcdboot, blanks", BcdbootLine(L"C:\\PE Tools (x86)", L"D:\\Windows", L"C:", false),
       L"\"C:\\PE Tools (x86)\\Bin\\bcdboot.exe\" D:\\Windows /s C: /l zh-cn"},
      {"bootsect nt52, root", BootsectLine(L"E:\\", L"C:", false), L"E:\\Bin\\bootsect.exe /nt52 C: /mbr"},
      {"bootsect, blank", BootsectLine(L"P F", L"C:", true), L"\"P F\\Bin\\bootsect.exe\" /nt60 C: /mbr"},
      {"icon file", ProgramFileForIcon(L"D:\\Tools", L"MorvaneSetup"), L"D:\\Tools\\MorvaneSetup.exe"},
      {"icon file, root", ProgramFileForIcon(L"C:\\", L"MorvaneSetup"), L"C:\\MorvaneSetup.exe"},
  };
  for (const auto& [name, line, expected] : rows) EXPECT_EQ(line, expected) << name;
}

}  // namespace
}  // namespace morvane
