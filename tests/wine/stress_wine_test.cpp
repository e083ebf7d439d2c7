// Many runs in one program session: 50 whole installations of the small image, then 200 image
// queries alternating between two files. Every installation goes through the matrix's checks and
// must behave like the first one (the same statuses, the same tool calls, the same lists and the
// same last box; the installation times are printed, not judged: the machine's load sets them), and
// the program's handles, GDI and USER objects and memory must not grow beyond a small slack. Runs only with MORVANE_STRESS=1 (scripts/stress.sh),
// since it takes a few minutes.
#include "matrix_runner.h"

#include <psapi.h>

#include <cstdio>
#include <iterator>
#include <numeric>

namespace morvane::wine {
namespace {

constexpr int kInstalls = 50;
constexpr int kQueries = 200;

// The figures taken of the program, each with the growth it may show between two measurements.
enum Figure { kHandles, kGdi, kUser, kWindows, kWorkingSet, kPrivate, kFigures };
const char* const kName[kFigures] = {"handles", "gdi", "user", "windows", "working set KiB", "private KiB"};
const double kSlack[kFigures] = {8, 8, 8, 2, 8 << 10, 4 << 10};

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
    const HANDLE self = ::GetCurrentProcess(), handle = reinterpret_cast<HANDLE>(value);
    if (::DuplicateHandle(process, handle, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
      UniqueKernelHandle closed(copy);
      ++handles;
    }
  }
  std::vector<HWND> all;
  ::EnumChildWindows(::GetDesktopWindow(), CollectWindow, reinterpret_cast<LPARAM>(&all));
  DWORD windows = 0;
  for (HWND h : all) windows += ProcessOf(h) == app.pid();
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof memory;
  ::K32GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
  const bool commit = memory.PrivateUsage == 0;
  const Figures f = {when, {double(handles), double(::GetGuiResources(process, GR_GDIOBJECTS)),
                            double(::GetGuiResources(process, GR_USEROBJECTS)), double(windows),
                            memory.WorkingSetSize / 1024.0,
                            (commit ? memory.PagefileUsage : memory.PrivateUsage) / 1024.0}};
  std::printf("[ figures  ] %-23s", when);
  for (int i = 0; i < kFigures; ++i) std::printf("  %s %.0f", kName[i], f.of[i]);
  std::printf("%s%s\n", counted ? "  (handles counted)" : "", commit ? "  (private: commit charge)" : "");
  std::fflush(stdout);
  return f;
}

class Stress : public Matrix {};

TEST_P(Stress, FiftyInstallationsThenTwoHundredQueriesInOneSession) {
  if (EnvOr(L"MORVANE_STRESS") != L"1") GTEST_SKIP() << "a stress run: MORVANE_STRESS=1 (scripts/stress.sh)";
  const std::wstring three = EnvOr(L"MORVANE_IMAGE");
  ASSERT_FALSE(three.empty()) << "the rig's environment";
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(TypeImage());
  ExpectLists(row.lists);
  std::vector<Figures> figures = {Measure(app_, "start")};

  // The statuses seen, each once in order; those whose visibility depends on where the timer's
  // tick falls inside the tool's short run are counted, not compared.
  const Texts statuses = {L"正在格式化磁盘 [T:]", L"正在创建文件", L"正在更新Boot", L"正在更新MBR", L"状态"};
  std::vector<double> seconds;
  Texts windows;
  int racySeen = 0;
  for (int i = 0; i < kInstalls; ++i) {
    SCOPED_TRACE("installation " + std::to_string(i + 1));
    ::DeleteFileW(log_.c_str());
    const ULONGLONG started = ::GetTickCount64();
    ASSERT_NO_FATAL_FAILURE(Installation());
    seconds.push_back((::GetTickCount64() - started) / 1000.0);
    ExpectAfterRun();
    Texts seen;
    std::copy_if(run_.statuses.begin(), run_.statuses.end(), std::back_inserter(seen),
                 [](const std::wstring& s) { return s != L"正在提取文件" && s != L"正在应用文件"; });
    racySeen += seen.size() < run_.statuses.size();
    EXPECT_EQ(seen, statuses);
    if (i == 0) windows = app_.Items(Ctl::RDriver);
    EXPECT_EQ(app_.Items(Ctl::RDriver), windows);
    if (i == 0) figures.push_back(Measure(app_, "after 1 installation"));
  }
  figures.push_back(Measure(app_, "after the installations"));
  const double early = std::accumulate(seconds.begin(), seconds.begin() + 10, 0.0) / 10;
  const double late = std::accumulate(seconds.end() - 10, seconds.end(), 0.0) / 10;
  std::printf("[ figures  ] installation time: first ten %.2f s each, last ten %.2f s each; the tool's "
              "middle stages seen in %d of %d runs\n",
              early, late, racySeen, kInstalls);

  // Queries: the small image (one entry) and the three-image file, in turn.
  for (int i = 0; i < kQueries; ++i) {
    ASSERT_TRUE(app_.SetText(Ctl::Text1, i % 2 ? three : image_)) << i;
    const size_t n = app_.Items(Ctl::Combo0).size();
    ASSERT_EQ(n, i % 2 ? 3u : 1u) << "query " << i + 1;
    ASSERT_EQ(app_.Items(Ctl::Combo1).size(), n);
    ASSERT_EQ(app_.Items(Ctl::Combo2).size(), n);
    if (i == 0) figures.push_back(Measure(app_, "after 1 query"));
  }
  ASSERT_TRUE(app_.SetText(Ctl::Text1, image_));
  ExpectLists(row.lists);
  figures.push_back(Measure(app_, "end"));

  // Growth from the state after the first installation (the first run loads what later runs reuse)
  // to after the installations, and from the first query to the end.
  for (const auto& [from, to] : {std::pair{figures[1], figures[2]}, std::pair{figures[3], figures[4]}}) {
    SCOPED_TRACE(std::string(from.when) + " -> " + to.when);
    for (int i = 0; i < kFigures; ++i) EXPECT_LE(to.of[i], from.of[i] + kSlack[i]) << kName[i];
  }
  EXPECT_LE(figures[4].of[kHandles], figures[0].of[kHandles] + 16);
  Finish();
}

// Pauses in the stand-ins and before the tool make every stage that matters last long enough to
// be seen from here on every run.
INSTANTIATE_TEST_SUITE_P(, Stress, ::testing::Values(Whole("SmallImage").Set(&Row::env, Env{
    {L"MORVANE_STANDIN_DELAY_MS", L"format.com=300,bcdboot.exe=100,bootsect.exe=200"},
    {L"MORVANE_TOOL_DELAY_MS", L"apply=1200"}})), RowName);

}  // namespace
}  // namespace morvane::wine
