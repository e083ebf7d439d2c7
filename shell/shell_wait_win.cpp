#include "shell/shell_wait_win.h"

#include <vector>

#include "shell/handles_win.h"
#include "shell/late_calls_win.h"

namespace morvane {
namespace {

HWND g_dialogWindow = nullptr;

// STARTUPINFOEXW and its flag, declared here: the program is built against the Windows XP headers.
struct STARTUPINFOEXW_ {
  STARTUPINFOW StartupInfo;
  void* lpAttributeList;
};
constexpr DWORD kExtendedStartupInfoPresent = 0x00080000;
constexpr DWORD_PTR kHandleListAttribute = 0x00020002;  // PROC_THREAD_ATTRIBUTE_HANDLE_LIST

// An attribute list that lets a started program inherit only the given handle; none where the
// system has no such lists.
class InheritOnly {
 public:
  explicit InheritOnly(HANDLE* handle) {
    const LateCalls& late = Late();
    if (!handle || !late.initializeProcThreadAttributeList || !late.updateProcThreadAttribute ||
        !late.deleteProcThreadAttributeList) {
      return;
    }
    SIZE_T size = 0;
    late.initializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    if (size == 0 || !late.initializeProcThreadAttributeList(storage_.data(), 1, 0, &size)) return;
    list_ = storage_.data();
    if (!late.updateProcThreadAttribute(list_, 0, kHandleListAttribute, handle, sizeof *handle, nullptr, nullptr)) {
      Release();
    }
  }
  InheritOnly(const InheritOnly&) = delete;
  InheritOnly& operator=(const InheritOnly&) = delete;
  ~InheritOnly() { Release(); }
  void* list() const { return list_; }

 private:
  void Release() {
    if (list_) Late().deleteProcThreadAttributeList(list_);
    list_ = nullptr;
  }
  std::vector<unsigned char> storage_;
  void* list_ = nullptr;
};

bool JoinJob(HANDLE job, UniqueProcess& process) {
  if (::AssignProcessToJobObject(job, process.process())) {
    ::ResumeThread(process.thread());
    return true;
  }
  ::TerminateProcess(process.process(), kCancelledExitCode);  // it never ran
  process.reset();
  return false;
}

// With `job`, the command starts suspended and joins a new job object before it runs, so that it
// and every process it starts can be ended together. A program that is itself in a job cannot put
// a child into another before Windows 8 (no nested jobs): the command then breaks away from that
// job when the job allows it, and otherwise runs without a job of its own.
bool StartInJob(const std::wstring& commandLine, UniqueKernelHandle* job, UniqueProcess* process) {
  if (job) job->reset(::CreateJobObjectW(nullptr, nullptr));
  if (job && *job) {
    *process = StartHiddenProcess(commandLine, CREATE_SUSPENDED);
    if (!process->valid()) return false;
    if (JoinJob(job->get(), *process)) return true;
    *process = StartHiddenProcess(commandLine, CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB);
    if (process->valid() && JoinJob(job->get(), *process)) return true;
    job->reset();
  }
  *process = StartHiddenProcess(commandLine);
  return process->valid();
}

// A process ends before the processes it started: a cancelled wait also waits for those (the image
// tool holds the output file open until it is gone), for a few seconds at most.
void WaitForEmptyJob(HANDLE job) {
  if (!job) return;
  for (int i = 0; i < 500; ++i) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    if (!::QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr) ||
        info.ActiveProcesses == 0) {
      return;
    }
    ::Sleep(10);
  }
}

}  // namespace

void SetDialogWindow(HWND hwnd) { g_dialogWindow = hwnd; }

bool PumpPendingMessages(int* quitCode) {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      if (quitCode) *quitCode = static_cast<int>(msg.wParam);
      return false;
    }
    if (g_dialogWindow && ::IsDialogMessageW(g_dialogWindow, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return true;
}

UniqueProcess StartHiddenProcess(const std::wstring& commandLine, DWORD extraFlags) {
  // The standard handles are the NUL device: a tool that asks a question reads end of file and
  // fails at once, instead of waiting for a keyboard on a console nobody sees. That one handle is
  // inherited, and where the system can say so (Windows Vista on), nothing else is.
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  UniqueFile nul(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                               OPEN_EXISTING, 0, nullptr));
  STARTUPINFOEXW_ info = {};
  info.StartupInfo.cb = sizeof info.StartupInfo;
  info.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
  info.StartupInfo.wShowWindow = SW_HIDE;
  if (nul) {
    info.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
    info.StartupInfo.hStdInput = info.StartupInfo.hStdOutput = info.StartupInfo.hStdError = nul.get();
  }
  HANDLE inherited = nul.get();
  InheritOnly only(nul ? &inherited : nullptr);
  if (only.list()) {
    info.StartupInfo.cb = sizeof info;
    info.lpAttributeList = only.list();
    extraFlags |= kExtendedStartupInfoPresent;
  }
  // CreateProcessW may write into the command line buffer: it must not be a constant.
  std::wstring buffer = commandLine;
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessW(nullptr, &buffer[0], nullptr, nullptr, nul ? TRUE : FALSE, CREATE_NO_WINDOW | extraFlags,
                        nullptr, nullptr, &info.StartupInfo, &started)) {
    return UniqueProcess();
  }
  return UniqueProcess(started);
}

void WaitCancel::Cancel() {
  if (cancelled) return;
  cancelled = true;
  if (job) {
    ::TerminateJobObject(job, kCancelledExitCode);
  } else if (process) {
    ::TerminateProcess(process, kCancelledExitCode);
  }
}

RunResult ShellWait(const std::wstring& commandLine, WaitCancel* cancel) {
  UniqueKernelHandle job;
  UniqueProcess process;
  if (!StartInJob(commandLine, cancel ? &job : nullptr, &process)) return RunResult{false, ::GetLastError()};
  RunResult result{true, 0};
  if (!process.valid()) return result;  // started, but nothing to wait on
  if (cancel) *cancel = WaitCancel{job.get(), process.process(), false};

  bool quit = false;
  int quitCode = 0;
  const HANDLE handle = process.process();
  for (;;) {
    // MWMO_INPUTAVAILABLE: also wake for messages that were already queued but not yet seen.
    const DWORD wake = ::MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (wake == WAIT_OBJECT_0) break;
    if (wake != WAIT_OBJECT_0 + 1) break;
    if (!quit && !PumpPendingMessages(&quitCode)) quit = true;
    if (quit) {
      // A quit must wait for the process: sleep on the handle alone from now on.
      ::WaitForSingleObject(handle, INFINITE);
      break;
    }
  }
  if (cancel && cancel->cancelled) {
    WaitForEmptyJob(job.get());
    result.exitCode = kCancelledExitCode;
  } else {
    DWORD code = 0;
    if (::GetExitCodeProcess(handle, &code)) result.exitCode = code;
  }
  if (cancel) *cancel = WaitCancel{};
  if (quit) ::PostQuitMessage(quitCode);
  return result;
}

}  // namespace morvane
