// Many runs in one program session: 50 whole installations of the small image, then 200 image
// queries alternating between two files. Every installation must behave like the first one (the
// same statuses, the same tool calls, the same lists and the same last box, in about the same
// time), and the program's handles, GDI and USER objects and memory must not grow beyond a small
// slack. Runs only with MORVANE_STRESS=1 (scripts/stress.sh), since it takes a few minutes.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app_driver.h"
#include "run_support.h"

namespace morvane::wine {
namespace {

constexpr int kInstalls = 50;
constexpr int kQueries = 200;

struct Figures {
  const char* when;
  DWORD handles = 0, gdi = 0, user = 0, windows = 0;
  SIZE_T workingSet = 0, privateBytes = 0;
  bool handlesCounted = false, privateFromCommit = false;
};

// The handles the process holds, counted by duplicating each possible handle value (multiples of
// 4): where GetProcessHandleCount reads 0 (Wine), this still gives the exact figure.
DWORD LiveHandles(HANDLE process) {
  DWORD n = 0;
  for (ULONG_PTR value = 4; value <= 65536; value += 4) {
    HANDLE copy = nullptr;
    if (::DuplicateHandle(process, reinterpret_cast<HANDLE>(value), ::GetCurrentProcess(), &copy, 0, FALSE,
                          DUPLICATE_SAME_ACCESS)) {
      ++n;
      ::CloseHandle(copy);
    }
  }
  return n;
}

struct WindowCount {
  DWORD pid, n;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM param) {
  auto* c = reinterpret_cast<WindowCount*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  c->n += owner == c->pid;
  return TRUE;
}

// The windows of the process, child windows included: USER objects one can count from outside.
DWORD WindowsOf(DWORD pid) {
  WindowCount count{pid, 0};
  ::EnumChildWindows(::GetDesktopWindow(), CountWindow, reinterpret_cast<LPARAM>(&count));
  return count.n;
}

Figures Measure(HANDLE process, DWORD pid, const char* when) {
  Figures f;
  f.when = when;
  if (!::GetProcessHandleCount(process, &f.handles) || f.handles == 0) {
    f.handles = LiveHandles(process);
    f.handlesCounted = true;
  }
  f.gdi = ::GetGuiResources(process, GR_GDIOBJECTS);
  f.user = ::GetGuiResources(process, GR_USEROBJECTS);
  f.windows = WindowsOf(pid);
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof memory;
  if (::K32GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
    f.workingSet = memory.WorkingSetSize;
    f.privateBytes = memory.PrivateUsage;
    if (f.privateBytes == 0) {
      f.privateBytes = memory.PagefileUsage;  // the commit charge: the same figure where both are reported
      f.privateFromCommit = true;
    }
  }
  return f;
}

// Under Wine, GDI and USER counts read 0 (the window count stands in), GetProcessHandleCount reads 0
// (the handles are counted by duplicating each one) and PrivateUsage reads 0 (the commit charge
// stands in): the line says which figures were taken that way.
void Print(const Figures& f) {
  std::printf("[ figures  ] %-23s handles %5lu%s  gdi %5lu  user %5lu  windows %3lu  working set %8.1f KiB  "
              "private %8.1f KiB%s\n",
              f.when, static_cast<unsigned long>(f.handles), f.handlesCounted ? " (counted)" : "",
              static_cast<unsigned long>(f.gdi), static_cast<unsigned long>(f.user),
              static_cast<unsigned long>(f.windows), f.workingSet / 1024.0, f.privateBytes / 1024.0,
              f.privateFromCommit ? " (commit charge)" : "");
  std::fflush(stdout);
}

// The status line's text in one message: a length asked first may be stale by the time the text
// is read while the program changes it.
std::wstring StatusText(const App& app) {
  wchar_t buffer[512] = {};
  DWORD_PTR got = 0;
  if (!::SendMessageTimeoutW(app.Control(Ctl::Status), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer),
                             SMTO_NORMAL, 5000, &got)) {
    return std::wstring();
  }
  return std::wstring(buffer, got);
}

// What one installation showed and did.
struct InstallRun {
  std::vector<std::wstring> statuses;  // each status once, in the order seen
  std::vector<std::string> calls;
  std::wstring box;
  std::vector<std::wstring> lists, windows;
  double seconds = 0;
  bool imageThere = false;
};

// The statuses whose visibility depends on where the timer's tick falls inside the tool's short
// run: they are counted, not compared.
bool RacyStatus(const std::wstring& s) { return s == L"正在提取文件" || s == L"正在应用文件"; }

std::vector<std::wstring> Comparable(const std::vector<std::wstring>& statuses) {
  std::vector<std::wstring> out;
  for (const std::wstring& s : statuses) {
    if (!RacyStatus(s)) out.push_back(s);
  }
  return out;
}

std::string Join(const std::vector<std::wstring>& items) {
  std::string out;
  for (const std::wstring& item : items) out += (out.empty() ? "" : " | ") + ToUtf8(item);
  return out;
}

class Stress : public ::testing::Test {
 protected:
  void SetUp() override {
    if (EnvOr(L"MORVANE_STRESS") != L"1") GTEST_SKIP() << "a stress run: set MORVANE_STRESS=1 (scripts/stress.sh)";
    exe_ = EnvOr(L"MORVANE_EXE");
    log_ = EnvOr(L"MORVANE_STANDIN_LOG");
    small_ = EnvOr(L"MORVANE_SMALL_IMAGE");
    three_ = EnvOr(L"MORVANE_IMAGE");
    if (exe_.empty() || log_.empty() || small_.empty() || three_.empty()) GTEST_SKIP() << "the rig's environment is not set";
    windir_ = EnvOr(L"windir");
  }

  std::vector<std::wstring> Lists() const {
    std::vector<std::wstring> all;
    for (Ctl c : {Ctl::Combo0, Ctl::Combo1, Ctl::Combo2}) {
      for (const std::wstring& item : app_.Items(c)) all.push_back(item);
      all.push_back(L"/");
    }
    all.push_back(std::to_wstring(app_.Selected(Ctl::Combo0)));
    return all;
  }

  InstallRun Install() {
    InstallRun run;
    ::DeleteFileW(log_.c_str());
    const ULONGLONG started = ::GetTickCount64();
    app_.Click(Ctl::Command4);
    const Box confirm = app_.WaitBox(20000);
    EXPECT_TRUE(confirm);
    if (!confirm) return run;
    EXPECT_EQ(confirm.caption, L"操作提示：");
    app_.Answer(confirm, IDOK);
    app_.WaitGone(confirm);
    Box box;
    const ULONGLONG end = ::GetTickCount64() + 90000;
    while (::GetTickCount64() < end) {
      if ((box = app_.WaitBox(1))) break;
      const std::wstring status = StatusText(app_);
      if (run.statuses.empty() || run.statuses.back() != status) run.statuses.push_back(status);
      ::Sleep(10);
    }
    run.seconds = (::GetTickCount64() - started) / 1000.0;
    EXPECT_TRUE(box) << "no last box";
    if (!box) return run;
    run.box = box.caption + L"|" + box.text;
    run.imageThere = FileExists(L"T:\\Windows\\System32\\ntoskrnl.exe") && FileExists(L"T:\\Windows\\System32\\big.bin");
    app_.Answer(box, IDOK);
    EXPECT_TRUE(app_.WaitGone(box));
    ExpectIdle(app_);
    run.calls = ReadLines(log_);
    run.lists = Lists();
    run.windows = app_.Items(Ctl::RDriver);
    for (const wchar_t* name : {L"apply.bat", L"apply.xml", L"apply.err", L"WIMInfo.bat"}) {
      EXPECT_FALSE(FileExists(windir_ + L"\\temp\\" + name)) << ToUtf8(name);
    }
    return run;
  }

  App app_;
  std::wstring exe_, log_, small_, three_, windir_;
};

TEST_F(Stress, FiftyInstallationsThenTwoHundredQueriesInOneSession) {
  // Pauses in the stand-ins and before the tool make every stage that matters last long enough to
  // be seen from here on every run.
  ASSERT_TRUE(app_.Launch(exe_, {{L"MORVANE_STANDIN_DELAY_MS", L"format.com=300,bcdboot.exe=100,bootsect.exe=200"},
                                 {L"MORVANE_TOOL_DELAY_MS", L"apply=1200"}}));
  const HANDLE process = app_.process();
  const DWORD pid = app_.pid();
  ASSERT_TRUE(app_.SetText(Ctl::Text1, small_));
  const std::vector<std::wstring> lists = Lists();
  ASSERT_EQ(app_.Items(Ctl::Combo0).size(), 1u);
  ASSERT_TRUE(app_.SetText(Ctl::Text2, L"B:"));
  ASSERT_TRUE(app_.SetText(Ctl::Text3, L"T:"));
  app_.Click(Ctl::Check2);  // no restart
  ASSERT_TRUE(app_.WaitFor([&] { return !app_.Checked(Ctl::Check2); }, 5000));
  std::vector<Figures> figures = {Measure(process, pid, "start")};

  std::vector<InstallRun> runs;
  int racySeen = 0;
  for (int i = 0; i < kInstalls; ++i) {
    runs.push_back(Install());
    const InstallRun& run = runs.back();
    const InstallRun& first = runs.front();
    SCOPED_TRACE("installation " + std::to_string(i + 1));
    EXPECT_EQ(run.box, std::wstring(L"提示：|") + kStageDone);
    EXPECT_TRUE(run.imageThere) << "the last box came before the image was on the target";
    EXPECT_EQ(run.calls, WholeRunCalls(L"T:", L"B:"));
    EXPECT_EQ(Comparable(run.statuses), Comparable(first.statuses))
        << "now: " << Join(run.statuses) << "\nfirst: " << Join(first.statuses);
    EXPECT_EQ(run.lists, lists);
    EXPECT_EQ(run.windows, first.windows);
    if (std::any_of(run.statuses.begin(), run.statuses.end(), RacyStatus)) ++racySeen;
    if (i == 0) figures.push_back(Measure(process, pid, "after 1 installation"));
    if (run.box.empty()) break;  // the run did not end: no point in 49 more
  }
  figures.push_back(Measure(process, pid, "after the installations"));
  ASSERT_EQ(runs.size(), static_cast<size_t>(kInstalls));
  const std::vector<std::wstring> want = {L"正在格式化磁盘 [T:]", L"正在创建文件", L"正在更新Boot", L"正在更新MBR",
                                          L"状态"};
  EXPECT_EQ(Comparable(runs.front().statuses), want) << Join(runs.front().statuses);

  auto mean = [&](int from, int to) {
    double sum = 0;
    for (int i = from; i < to; ++i) sum += runs[i].seconds;
    return sum / (to - from);
  };
  const double early = mean(0, 10), late = mean(kInstalls - 10, kInstalls);
  std::printf("[ figures  ] installation time: first ten %.2f s each, last ten %.2f s each; the tool's middle "
              "stages seen in %d of %d runs\n",
              early, late, racySeen, kInstalls);
  EXPECT_LE(late, early * 1.5 + 0.5) << "the installations slow down";

  // Queries: the small image (one entry) and the three-image file, in turn.
  for (int i = 0; i < kQueries; ++i) {
    const bool small = i % 2 == 0;
    ASSERT_TRUE(app_.SetText(Ctl::Text1, small ? small_ : three_)) << i;
    const std::vector<std::wstring> items = app_.Items(Ctl::Combo0);
    ASSERT_EQ(items.size(), small ? 1u : 3u) << "query " << i + 1 << ": " << Join(items);
    ASSERT_EQ(app_.Items(Ctl::Combo1).size(), items.size());
    ASSERT_EQ(app_.Items(Ctl::Combo2).size(), items.size());
    if (i == 0) figures.push_back(Measure(process, pid, "after 1 query"));
  }
  ASSERT_TRUE(app_.SetText(Ctl::Text1, small_));
  EXPECT_EQ(Lists(), lists);
  figures.push_back(Measure(process, pid, "end"));
  for (const Figures& f : figures) Print(f);

  // Growth from the state after the first installation (the first run loads what later runs reuse)
  // and from the first query.
  const Figures& warm = figures[1];
  const Figures& installed = figures[2];
  const Figures& queried = figures[3];
  const Figures& last = figures.back();
  auto grows = [](DWORD from, DWORD to, DWORD slack) { return to > from + slack; };
  for (const auto& [from, to] : {std::pair<const Figures*, const Figures*>{&warm, &installed}, {&queried, &last}}) {
    SCOPED_TRACE(std::string(from->when) + " -> " + to->when);
    EXPECT_FALSE(grows(from->handles, to->handles, 8)) << from->handles << " -> " << to->handles;
    EXPECT_FALSE(grows(from->gdi, to->gdi, 8)) << from->gdi << " -> " << to->gdi;
    EXPECT_FALSE(grows(from->user, to->user, 8)) << from->user << " -> " << to->user;
    EXPECT_FALSE(grows(from->windows, to->windows, 2)) << from->windows << " -> " << to->windows;
    EXPECT_LE(to->privateBytes, from->privateBytes + (4u << 20)) << "private bytes";
    EXPECT_LE(to->workingSet, from->workingSet + (8u << 20)) << "working set";
  }
  EXPECT_FALSE(grows(figures[0].handles, last.handles, 16)) << figures[0].handles << " -> " << last.handles;

  app_.RequestClose();
  EXPECT_TRUE(app_.WaitExit(5000));
}

}  // namespace
}  // namespace morvane::wine
