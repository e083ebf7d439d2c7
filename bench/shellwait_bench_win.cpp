// What waiting for a child costs the waiting process: the program's ShellWait against the naive
// loop it replaced (GetExitCodeProcess and PeekMessage, round and round, never sleeping). Both run
// the same child while this process gets a WM_TIMER every 50 ms, so that the figures
// also show whether the queue was handled during the wait. Run by scripts/bench-shellwait.sh:
//
//   shellwait_bench.exe shellwait|poll HANDSHAKE_DIR CHILD_COMMAND_LINE
//
// The handshake lets the script read this process's CPU time from outside (/proc/<pid>/stat of its
// Unix process) right before and right after the wait, with nothing else of this process running:
//   1. prints "ready", then sleeps until HANDSHAKE_DIR\go exists;
//   2. waits for the child, prints "result ..." (key=value figures) and "waited";
//   3. sleeps until HANDSHAKE_DIR\exit exists, then exits with 0 (5: the child did not start).
// MORVANE_BENCH_TIMER_MS sets the timer's period (default 50; 0: no timer, for the cost of the wait
// alone). The result line: mode, started, exit (the child's exit code), wall_ms, cpu_ms (GetProcessTimes
// of this process, user + kernel), ticks (WM_TIMER messages handled), max_gap_ms (the longest time
// between two of them, from the start of the wait to its end), timer_ms.
#include <windows.h>

#include <cstdio>
#include <string>

#include "shell/ports.h"
#include "shell/shell_wait_win.h"

namespace {

int g_ticks = 0;
ULONGLONG g_last = 0, g_maxGap = 0;

void NoteGap() {
  const ULONGLONG now = ::GetTickCount64();
  if (now - g_last > g_maxGap) g_maxGap = now - g_last;
  g_last = now;
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  ++g_ticks;
  NoteGap();
}

// The design ShellWait replaced: asks for the exit code as fast as it can and handles the queue in
// between, never sleeping. Started the same way as ShellWait starts its child.
morvane::RunResult PollingWait(const std::wstring& commandLine) {
  const morvane::UniqueProcess process = morvane::StartHiddenProcess(commandLine);
  if (!process.valid()) return morvane::RunResult{false, ::GetLastError()};
  DWORD code = STILL_ACTIVE;
  MSG msg;
  while (::GetExitCodeProcess(process.process(), &code) && code == STILL_ACTIVE) {
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  return morvane::RunResult{true, code};
}

double CpuMs() {  // user + kernel
  FILETIME created, exited, kernel, user;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto ms = [](FILETIME t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
  };
  return ms(user) + ms(kernel);
}

void SleepUntilExists(const std::wstring& path) {
  while (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) ::Sleep(5);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc == 4 ? argv[1] : L"";
  if (mode != L"shellwait" && mode != L"poll") return 2;  // see the usage above
  wchar_t period[16] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"MORVANE_BENCH_TIMER_MS", period, 16);
  const UINT timerMs = n > 0 && n < 16 ? static_cast<UINT>(_wtoi(period)) : 50;
  std::puts("ready");
  std::fflush(stdout);
  SleepUntilExists(argv[2] + std::wstring(L"\\go"));
  LARGE_INTEGER frequency, begin, end;
  ::QueryPerformanceFrequency(&frequency);
  const double cpu0 = CpuMs();
  // The timer's messages wait in this thread's queue, as those of the program's window do.
  const UINT_PTR timer = timerMs > 0 ? ::SetTimer(nullptr, 0, timerMs, OnTimer) : 0;
  ::QueryPerformanceCounter(&begin);
  g_last = ::GetTickCount64();
  const morvane::RunResult run = mode == L"shellwait" ? morvane::ShellWait(argv[3]) : PollingWait(argv[3]);
  ::QueryPerformanceCounter(&end);
  const double cpuMs = CpuMs() - cpu0;
  if (timer != 0) {
    ::KillTimer(nullptr, timer);
    NoteGap();  // the time since the last tick counts too: a queue left alone until the end shows here
  }
  const double wallMs = static_cast<double>(end.QuadPart - begin.QuadPart) * 1000.0 / frequency.QuadPart;
  std::printf("result mode=%ls started=%d exit=%u wall_ms=%.1f cpu_ms=%.1f ticks=%d max_gap_ms=%llu "
              "timer_ms=%u\n",
              mode.c_str(), run.started ? 1 : 0, static_cast<unsigned>(run.exitCode), wallMs, cpuMs, g_ticks,
              static_cast<unsigned long long>(g_maxGap), timerMs);
  std::puts("waited");
  std::fflush(stdout);
  SleepUntilExists(argv[2] + std::wstring(L"\\exit"));
  return run.started ? 0 : 5;
}
