// The stress run (scripts/stress.sh): in one program session, 50 whole installations of the small
// image, then 200 image queries alternating between two files, through the real window as the
// Windows-side tests drive it, in the rig of tests/wine/run.sh. Each installation must end as the
// first did (the same statuses, the same tool calls, the same Windows folder list, the completion
// box); the program's handles, GDI and USER objects, windows, working set and private bytes are
// printed at the start, after the first installation, after the last, after the first query and at
// the end, with their growth, and the installation times: figures to read, judged by nobody here.
#include "app_driver.h"

#include <psapi.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>

namespace morvane::wine {
namespace {

enum Figure { kHandles, kGdi, kUser, kWindows, kWorkingSet, kPrivate, kFigures };
const char* const kName[kFigures] = {"handles", "gdi", "user", "windows", "working set KiB", "private KiB"};

BOOL CALLBACK Count(HWND window, LPARAM param) {
  auto* count = reinterpret_cast<std::pair<DWORD, int>*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  count->second += pid == count->first;
  return TRUE;
}

struct Figures {
  const char* when;
  double of[kFigures];
};

// Measures and prints the figures. Under Wine, GDI and USER counts read 0 (the count of the
// process's windows, child windows included, stands in), GetProcessHandleCount reads 0 (the handles
// are counted by duplicating each possible handle value) and PrivateUsage reads 0 (the commit
// charge stands in): the line says which figures were taken that way.
Figures Measure(const App& app, const char* when) {
  const HANDLE process = app.process();
  DWORD handles = 0;
  const bool counted = !::GetProcessHandleCount(process, &handles) || handles == 0;
  for (ULONG_PTR value = 4; counted && value <= 65536; value += 4) {
    HANDLE copy = nullptr;
    if (::DuplicateHandle(process, reinterpret_cast<HANDLE>(value), ::GetCurrentProcess(), &copy, 0, FALSE,
                          DUPLICATE_SAME_ACCESS)) {
      ::CloseHandle(copy);
      ++handles;
    }
  }
  std::pair<DWORD, int> windows = {app.pid(), 0};
  ::EnumChildWindows(::GetDesktopWindow(), Count, reinterpret_cast<LPARAM>(&windows));
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof memory;
  ::K32GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
  const bool commit = memory.PrivateUsage == 0;
  const Figures f = {when, {double(handles), double(::GetGuiResources(process, GR_GDIOBJECTS)),
                            double(::GetGuiResources(process, GR_USEROBJECTS)), double(windows.second),
                            memory.WorkingSetSize / 1024.0,
                            (commit ? memory.PagefileUsage : memory.PrivateUsage) / 1024.0}};
  std::printf("[ figures  ] %-23s", when);
  for (int i = 0; i < kFigures; ++i) std::printf("  %s %.0f", kName[i], f.of[i]);
  std::printf("%s%s\n", counted ? "  (handles counted)" : "", commit ? "  (private: commit charge)" : "");
  std::fflush(stdout);
  return f;
}

void Growth(const Figures& from, const Figures& to) {
  std::printf("[ figures  ] growth, %s -> %s:", from.when, to.when);
  for (int i = 0; i < kFigures; ++i) std::printf("  %s %+.0f", kName[i], to.of[i] - from.of[i]);
  std::printf("\n");
}

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Stress, FiftyInstallationsThenTwoHundredQueriesInOneSession) {
  const std::wstring small = EnvOr(L"MORVANE_SMALL_IMAGE"), three = EnvOr(L"MORVANE_IMAGE");
  const std::wstring log = EnvOr(L"MORVANE_STANDIN_LOG");
  ASSERT_FALSE(small.empty() || three.empty() || log.empty()) << "the rig's environment: run through scripts/stress.sh";
  // Pauses in the stand-ins and before the tool make every stage that matters last long enough to
  // be seen from here on every run.
  App app;
  ASSERT_TRUE(app.Launch(EnvOr(L"MORVANE_EXE"), {{L"MORVANE_STANDIN_DELAY_MS", L"format.com=300,bcdboot.exe=100,bootsect.exe=200"},
                                                 {L"MORVANE_TOOL_DELAY_MS", L"apply=1200"}}));
  ASSERT_TRUE(app.SetText(Ctl::Text1, small));
  std::vector<Figures> figures = {Measure(app, "start")};

  // The statuses seen, each once in order; the tool's middle stages, whose visibility depends on
  // where the timer's tick falls inside its short run, are counted apart.
  std::vector<double> seconds;
  Texts first, windows;
  std::string calls;
  int middleSeen = 0;
  for (int i = 0; i < 50; ++i) {
    SCOPED_TRACE("installation " + std::to_string(i + 1));
    ::DeleteFileW(log.c_str());
    const ULONGLONG started = ::GetTickCount64();
    const Box confirm = PressStart(app, L"B:", L"T:", false);
    ASSERT_EQ(confirm.caption, L"操作提示：");
    app.Answer(confirm, IDOK);
    Texts statuses;
    Box done;
    WaitFor(
        [&] {
          if ((done = app.WaitBox(0))) return true;
          const std::wstring status = app.Text(Ctl::Status);
          if (status == L"正在提取文件" || status == L"正在应用文件") ++middleSeen;
          else if (statuses.empty() || statuses.back() != status) statuses.push_back(status);
          return false;
        },
        90000);
    seconds.push_back((::GetTickCount64() - started) / 1000.0);
    ASSERT_TRUE(done) << "the run did not end";
    EXPECT_EQ(done.text.rfind(L"这个阶段的安装完成", 0), 0u) << ToUtf8(done.text);
    ASSERT_TRUE(app.Answer(done, IDOK));
    ASSERT_TRUE(WaitFor([&] { return app.Text(Ctl::Command4) == L"开始安装"; }, 10000));
    WaitFor([&] { return !ReadAll(log).empty(); }, 5000);
    if (i == 0) first = statuses, windows = app.Items(Ctl::RDriver), calls = ReadAll(log);
    EXPECT_EQ(statuses, first);
    EXPECT_EQ(app.Items(Ctl::RDriver), windows);
    EXPECT_EQ(ReadAll(log), calls);
    if (i == 0) figures.push_back(Measure(app, "after 1 installation"));
  }
  figures.push_back(Measure(app, "after the installations"));
  std::printf("[ figures  ] installation time: first ten %.2f s each, last ten %.2f s each; the tool's middle "
              "stages seen %d times in %zu runs\n",
              std::accumulate(seconds.begin(), seconds.begin() + 10, 0.0) / 10,
              std::accumulate(seconds.end() - 10, seconds.end(), 0.0) / 10, middleSeen, seconds.size());

  // Queries: the small image (one entry) and the three-image file, in turn.
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(app.SetText(Ctl::Text1, i % 2 ? three : small)) << i;
    for (Ctl list : {Ctl::Combo0, Ctl::Combo1, Ctl::Combo2}) {
      ASSERT_EQ(app.Items(list).size(), i % 2 ? 3u : 1u) << "query " << i + 1;
    }
    if (i == 0) figures.push_back(Measure(app, "after 1 query"));
  }
  figures.push_back(Measure(app, "end"));
  // From the state after the first installation (the first run loads what later runs reuse) to
  // after the installations, and from the first query to the end.
  Growth(figures[1], figures[2]);
  Growth(figures[3], figures[4]);
  Growth(figures[0], figures[4]);
  app.RequestClose();
  EXPECT_TRUE(app.WaitExit(5000));
}

}  // namespace
}  // namespace morvane::wine
