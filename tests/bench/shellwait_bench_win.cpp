// What waiting for a child costs the waiting process: the program's ShellWait against the naive
// loop it replaced (GetExitCodeProcess and PeekMessage, round and round, never sleeping). Both run
// the same child while a window of this process gets a WM_TIMER every 50 ms, so that the figures
// also show whether the queue was handled during the wait. Run by scripts/bench-shellwait.sh:
//
//   shellwait_bench.exe shellwait|poll HANDSHAKE_DIR CHILD_COMMAND_LINE
//
// The handshake lets the script read this process's CPU time from outside (/proc/<pid>/stat of its
// Unix process) right before and right after the wait, with nothing else of this process running:
//   1. prints "ready", then sleeps until HANDSHAKE_DIR\go exists;
//   2. waits for the child, prints "result ..." (key=value figures) and "waited";
//   3. sleeps until HANDSHAKE_DIR\exit exists (at most 60 s), then exits with 0.
// MORVANE_BENCH_TIMER_MS sets the timer's period (default 50; 0: no timer, for the cost of the wait
// alone). The result line: mode, exit (the child's exit code), wall_ms, cpu_ms (GetProcessTimes of this
// process, user + kernel), user_ms, kernel_ms, ticks (WM_TIMER messages handled), max_gap_ms (the
// longest time between two of them, or from the start of the wait to the first).
#include <windows.h>

#include <cstdio>
#include <string>

#include "shell/ports.h"
#include "shell/shell_wait_win.h"

namespace {

constexpr UINT_PTR kTimerId = 7;
constexpr UINT kDefaultTimerMs = 50;

struct TickCount {
  int ticks = 0;
  ULONGLONG last = 0;
  ULONGLONG maxGap = 0;
};
TickCount g_ticks;

LRESULT CALLBACK TickWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER && wParam == kTimerId) {
    const ULONGLONG now = ::GetTickCount64();
    if (g_ticks.last != 0 && now - g_ticks.last > g_ticks.maxGap) g_ticks.maxGap = now - g_ticks.last;
    g_ticks.last = now;
    ++g_ticks.ticks;
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

// The design ShellWait replaced: asks for the exit code as fast as it can and handles the queue in
// between, never sleeping. Started the same way as ShellWait starts its child.
morvane::RunResult PollingWait(const std::wstring& commandLine) {
  const morvane::UniqueProcess process = morvane::StartHiddenProcess(commandLine);
  if (!process.valid()) return morvane::RunResult{false, ::GetLastError()};
  morvane::RunResult result{true, 0};
  DWORD code = STILL_ACTIVE;
  MSG msg;
  while (::GetExitCodeProcess(process.process(), &code) && code == STILL_ACTIVE) {
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  result.exitCode = code;
  return result;
}

double ProcessCpuMs(double* userMs, double* kernelMs) {
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
  };
  *userMs = ms(user);
  *kernelMs = ms(kernel);
  return *userMs + *kernelMs;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool SleepUntilExists(const std::wstring& path, ULONGLONG limitMs) {
  const ULONGLONG end = ::GetTickCount64() + limitMs;
  while (!Exists(path)) {
    if (::GetTickCount64() > end) return false;
    ::Sleep(5);
  }
  return true;
}

void Say(const char* text) {
  std::fputs(text, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4 || (std::wstring(argv[1]) != L"shellwait" && std::wstring(argv[1]) != L"poll")) {
    std::fputs("usage: shellwait_bench.exe shellwait|poll HANDSHAKE_DIR CHILD_COMMAND_LINE\n", stderr);
    return 2;
  }
  const std::wstring mode = argv[1], handshake = argv[2], child = argv[3];
  wchar_t period[16] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"MORVANE_BENCH_TIMER_MS", period, 16);
  const UINT timerMs = n > 0 && n < 16 ? static_cast<UINT>(_wtoi(period)) : kDefaultTimerMs;

  WNDCLASSW wc = {};
  wc.lpfnWndProc = TickWindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"MorvaneShellWaitBench";
  if (!::RegisterClassW(&wc)) return 3;
  HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"shellwait bench", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                  nullptr, wc.hInstance, nullptr);
  if (!window) return 3;

  Say("ready");
  if (!SleepUntilExists(handshake + L"\\go", 60000)) return 4;

  LARGE_INTEGER frequency, begin, end;
  ::QueryPerformanceFrequency(&frequency);
  double user0 = 0, kernel0 = 0, user1 = 0, kernel1 = 0;
  const double cpu0 = ProcessCpuMs(&user0, &kernel0);
  if (timerMs > 0) ::SetTimer(window, kTimerId, timerMs, nullptr);
  ::QueryPerformanceCounter(&begin);
  g_ticks.last = ::GetTickCount64();
  const morvane::RunResult run = mode == L"shellwait" ? morvane::ShellWait(child) : PollingWait(child);
  ::QueryPerformanceCounter(&end);
  const double cpu1 = ProcessCpuMs(&user1, &kernel1);
  if (timerMs > 0) {
    ::KillTimer(window, kTimerId);
    // The gap since the last tick counts too: a queue left alone until the end shows here.
    const ULONGLONG tail = ::GetTickCount64() - g_ticks.last;
    if (tail > g_ticks.maxGap) g_ticks.maxGap = tail;
  }

  const double wallMs = static_cast<double>(end.QuadPart - begin.QuadPart) * 1000.0 / frequency.QuadPart;
  std::printf(
      "result mode=%ls started=%d exit=%u wall_ms=%.1f cpu_ms=%.1f user_ms=%.1f kernel_ms=%.1f ticks=%d "
      "max_gap_ms=%llu timer_ms=%u\n",
      mode.c_str(), run.started ? 1 : 0, static_cast<unsigned>(run.exitCode), wallMs, cpu1 - cpu0, user1 - user0,
      kernel1 - kernel0, g_ticks.ticks, static_cast<unsigned long long>(g_ticks.maxGap), timerMs);
  Say("waited");

  SleepUntilExists(handshake + L"\\exit", 60000);
  ::DestroyWindow(window);
  return run.started ? 0 : 5;
}
