// Drives the real program from another process, as a user would: its window, controls and
// message boxes, through the standard messages that Windows marshals between processes.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <future>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "shell/controls.h"
#include "shell/handles_win.h"
#include "tests/fixtures/fixture_util.h"

namespace morvane {

// Owners of the handle kinds only the tests use, on the program's own UniqueHandle.
template <typename T, auto CloseFn>
struct NullHandleTraits {
  using Type = T;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { CloseFn(h); }
};
using UniqueModule = UniqueHandle<NullHandleTraits<HMODULE, ::FreeLibrary>>;  // also loaded as a data file
using UniqueBitmap = UniqueHandle<NullHandleTraits<HBITMAP, ::DeleteObject>>;

namespace wine {

using fixture::ToUtf8;
inline std::wstring EnvOr(const wchar_t* name, const std::wstring& fallback = std::wstring()) {
  const std::wstring value = fixture::Env(name);
  return value.empty() ? fallback : value;
}

struct Box {
  HWND hwnd = nullptr;
  std::wstring caption, text;
  explicit operator bool() const { return hwnd != nullptr; }
};

class App {
 public:
  // Starts the program with extra environment variables (an empty value removes one) and waits for
  // its main window. With `early`, a box shown before the main window (the start-up warning) is
  // recorded there and answered OK; without, such a box keeps the launch from succeeding.
  using Vars = std::map<std::wstring, std::wstring>;
  bool Launch(const std::wstring& exe, const Vars& env = {}, std::vector<Box>* early = nullptr);
  ~App() {
    if (!Running()) return;
    ::TerminateProcess(process(), 1);
    ::WaitForSingleObject(process(), 5000);
  }

  HWND main() const { return main_; }
  HWND Control(Ctl c) const { return ::GetDlgItem(main_, ControlId(c)); }
  std::wstring Text(Ctl c) const { return WindowText(Control(c)); }
  // One message for the text, with room to spare: a length asked first may be stale by the time the
  // text is read while the program changes it.
  static std::wstring WindowText(HWND h) {
    std::wstring text(Send(h, WM_GETTEXTLENGTH) + 512, L'\0');
    text.resize(Send(h, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0])));
    return text;
  }
  // Sets a control's text as typing would end; the program's change handler runs before this
  // returns (an image query included).
  bool SetText(Ctl c, const std::wstring& text, DWORD timeoutMs = 60000) {
    return Send(Control(c), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), timeoutMs) == TRUE;
  }
  void Click(Ctl c) { ::PostMessageW(Control(c), BM_CLICK, 0, 0); }  // posted: a box it opens blocks nothing
  bool Enabled(Ctl c) const { return ::IsWindowEnabled(Control(c)) != FALSE; }
  bool Checked(Ctl c) const { return Send(Control(c), BM_GETCHECK) == BST_CHECKED; }
  int BarPosition() const {  // of the bar's common control
    return static_cast<int>(Send(::GetDlgItem(Control(Ctl::ProgressBar1), 1), PBM_GETPOS));
  }
  std::vector<std::wstring> Items(Ctl c) const {
    std::vector<std::wstring> items;
    const LONG_PTR count = static_cast<LONG_PTR>(Send(Control(c), CB_GETCOUNT));  // CB_ERR: none
    for (LONG_PTR i = 0; i < count; ++i) {
      std::wstring item(Send(Control(c), CB_GETLBTEXTLEN, i) + 1, L'\0');
      item.resize(Send(Control(c), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0])));
      items.push_back(item);
    }
    return items;
  }
  int Selected(Ctl c) const { return static_cast<int>(static_cast<LRESULT>(Send(Control(c), CB_GETCURSEL))); }
  // The window that holds the keyboard focus in the program's thread.
  HWND Focused() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return ::GetGUIThreadInfo(::GetWindowThreadProcessId(main_, nullptr), &info) ? info.hwndFocus : nullptr;
  }
  // Pixels, relative to the main window's client area.
  RECT RectInClient(Ctl c) const {
    RECT r = {};
    ::GetWindowRect(Control(c), &r);
    ::MapWindowPoints(HWND_DESKTOP, main_, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  // The program's next message box (a dialog of its process) other than `other`, or none after the
  // timeout; only windows are enumerated while it waits, no message is sent to the program.
  Box WaitBox(DWORD timeoutMs = 20000, HWND other = nullptr) const;
  void Answer(const Box& box, int button) {  // IDOK, IDCANCEL
    const LPARAM control = reinterpret_cast<LPARAM>(::GetDlgItem(box.hwnd, button));
    ::PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), control);
  }
  bool WaitGone(const Box& box, DWORD timeoutMs = 10000) const {
    return WaitFor([&] { return !::IsWindow(box.hwnd) || !::IsWindowVisible(box.hwnd); }, timeoutMs);
  }
  bool WaitText(Ctl c, const std::wstring& text, DWORD timeoutMs = 60000) const {
    return WaitFor([&] { return Text(c) == text; }, timeoutMs);
  }
  // Polls `predicate` until it holds or the time is up (a timeout of 0: one look).
  template <typename F>
  static bool WaitFor(F predicate, DWORD timeoutMs) {
    for (const ULONGLONG end = ::GetTickCount64() + timeoutMs; !predicate(); ::Sleep(20)) {
      if (::GetTickCount64() >= end) return false;
    }
    return true;
  }

  void RequestClose() { ::PostMessageW(main_, WM_CLOSE, 0, 0); }
  bool WaitExit(DWORD timeoutMs = 10000) {
    return process_.valid() && ::WaitForSingleObject(process_.process(), timeoutMs) == WAIT_OBJECT_0;
  }
  bool Running() const { return process_.valid() && ::WaitForSingleObject(process(), 0) == WAIT_TIMEOUT; }
  DWORD pid() const { return pid_; }
  HANDLE process() const { return process_.process(); }

 private:
  // Waits for the program's thread (up to five seconds) instead of giving up when it looks hung: a
  // thread that has just come back from a wait of more than five seconds on a tool counts as hung
  // until it fetches its next message, and a box it shows then would read as empty.
  static DWORD_PTR Send(HWND h, UINT message, WPARAM w = 0, LPARAM l = 0, DWORD timeoutMs = 5000) {
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(h, message, w, l, SMTO_NORMAL, timeoutMs, &result) ? result : 0;
  }

  UniqueProcess process_;
  DWORD pid_ = 0;
  HWND main_ = nullptr;
};

// The process that owns `window`.
inline DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  return pid;
}

// For EnumWindows and EnumChildWindows: each window into the std::vector<HWND> at `param`.
inline BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
  return TRUE;
}

// The visible top-level windows of process `pid` with that window class; "#32770": its message boxes.
inline std::vector<HWND> WindowsOf(DWORD pid, const wchar_t* className = L"#32770") {
  std::vector<HWND> all, own;
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
  for (HWND h : all) {
    wchar_t name[64] = {};
    const bool match = ::GetClassNameW(h, name, 64) && lstrcmpW(name, className) == 0;
    if (ProcessOf(h) == pid && match && ::IsWindowVisible(h)) own.push_back(h);
  }
  return own;
}

inline bool App::Launch(const std::wstring& exe, const Vars& env, std::vector<Box>* early) {
  // The program inherits this process's environment, changed for the moment of its start.
  Vars saved;
  const auto put = [](const Vars& vars) {
    for (const auto& [name, value] : vars) {
      ::SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    }
  };
  for (const auto& kv : env) saved[kv.first] = fixture::Env(kv.first.c_str());
  put(env);
  std::wstring commandLine = L"\"" + exe + L"\"";
  const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  const BOOL started = ::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                        folder.c_str(), &si, &pi);
  put(saved);
  if (!started) return false;
  process_ = UniqueProcess(pi);
  pid_ = pi.dwProcessId;
  ::WaitForInputIdle(process_.process(), 20000);
  return WaitFor(
      [&] {
        if (Box box = early ? WaitBox(0) : Box()) {
          early->push_back(box);
          Answer(box, IDOK);
          WaitGone(box, 5000);
        }
        const std::vector<HWND> found = WindowsOf(pid_, L"MorvaneSetupForm1");
        return (main_ = found.empty() ? nullptr : found[0]) != nullptr;
      },
      30000);
}

inline Box App::WaitBox(DWORD timeoutMs, HWND other) const {
  Box box;
  WaitFor(
      [&] {
        for (HWND h : WindowsOf(pid_)) {
          if (h != other) return (box.hwnd = h) != nullptr;
        }
        return false;
      },
      timeoutMs);
  if (box.hwnd) {
    box.caption = WindowText(box.hwnd);
    box.text = WindowText(::GetDlgItem(box.hwnd, 0xFFFF));
  }
  return box;
}

// File helpers on Windows paths.
inline bool FileExists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::string ReadAll(const std::wstring& path) {
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  char buffer[65536];
  for (DWORD got = 0; file && ::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0;) {
    bytes.append(buffer, got);
  }
  return bytes;
}

inline bool WriteAll(const std::wstring& path, const std::string& bytes) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

// AliasDrive(L"U:", L"T:\\images") does what `subst U: T:\images` does on Windows: the processes
// started after it read \??\T:\images from QueryDosDeviceW(L"U:"). Under Wine the definition lives
// as long as the wine server (which this process keeps alive), and the files on the drive still
// come through its own drive link: the rig points it at the same folder.
inline bool AliasDrive(const wchar_t* drive, const wchar_t* target) {
  ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive, nullptr);  // under Wine the drive link is defined too
  return ::DefineDosDeviceW(0, drive, target) != FALSE;
}

// UTF-8 lines without CR LF.
inline std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadAll(path));
  for (std::string line; std::getline(in, line); lines.push_back(line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  return lines;
}

// The window's pixels as a 24-bit BMP file `name`.bmp in MORVANE_SHOTS (the rig turns them into PNG),
// when that folder is given.
inline bool SaveWindowBitmap(HWND window, const std::wstring& name) {
  const std::wstring shots = EnvOr(L"MORVANE_SHOTS");
  ::Sleep(400);  // let the window and its controls finish painting
  RECT r;
  if (shots.empty() || !::GetWindowRect(window, &r)) return false;
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof info.bmiHeader, r.right - r.left, r.bottom - r.top, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const DWORD imageSize = (info.bmiHeader.biWidth * 3 + 3) / 4 * 4 * info.bmiHeader.biHeight;
  const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof info.bmiHeader;
  const BITMAPFILEHEADER file = {0x4D42, offset + imageSize, 0, 0, offset};
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  void* bits = nullptr;
  UniqueBitmap bitmap(::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  HGDIOBJ old = ::SelectObject(memory, bitmap.get());
  ::BitBlt(memory, 0, 0, info.bmiHeader.biWidth, info.bmiHeader.biHeight, screen, r.left, r.top, SRCCOPY);
  ::GdiFlush();
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  if (bits) bytes.append(static_cast<const char*>(bits), imageSize);
  ::SelectObject(memory, old);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return bits && WriteAll(shots + L"\\" + name + L".bmp", bytes);
}

// Asks the window whether the session may end, as Windows does at a log-off or a shut-down, from a
// second thread (a refusal shows its box before the answer comes): 1 it may, 0 refused, -1 no answer.
inline std::future<int> QueryEndSession(HWND window) {
  return std::async(std::launch::async, [window] {
    DWORD_PTR answer = 0;
    const bool ok = ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 60000, &answer);
    return ok ? answer != 0 : -1;
  });
}

// Whether the work of a second thread has come back within the time.
template <typename T>
bool Ready(const std::future<T>& work, DWORD timeoutMs) {
  return work.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
}

const wchar_t kStageDone[] = L"这个阶段的安装完成，重新启动后，Sysprep部署阶段将开始！";
// What a run writes to %windir%\temp and must not leave behind.
const wchar_t* const kRunFiles[] = {L"apply.bat", L"apply.xml", L"apply.err", L"WIMInfo.bat"};

// Fills the drive fields, unticks the restart unless `restart`, presses Start: the box that comes.
inline Box PressStart(App& app, const std::wstring& boot, const std::wstring& target, bool restart = true) {
  if (!app.SetText(Ctl::Text2, boot) || !app.SetText(Ctl::Text3, target)) return Box();
  if (!restart && app.Checked(Ctl::Check2)) {
    app.Click(Ctl::Check2);
    if (!app.WaitFor([&] { return !app.Checked(Ctl::Check2); }, 5000)) return Box();
  }
  app.Click(Ctl::Command4);
  return app.WaitBox(20000);
}

// The window after a run: Start reads "开始安装" again, the status line rests, every input is enabled.
inline void ExpectIdle(const App& app) {
  EXPECT_TRUE(app.WaitText(Ctl::Command4, L"开始安装", 10000)) << ToUtf8(app.Text(Ctl::Command4));
  EXPECT_EQ(app.Text(Ctl::Status), L"状态");
  for (Ctl c : kRunInputs) EXPECT_TRUE(app.Enabled(c)) << "control " << static_cast<int>(c);
}

// The format.com line the stand-in logs for a format of `target`.
inline std::string FormatCall(const std::wstring& target) {
  return "format.com " + ToUtf8(target) + " /FS:NTFS /v:Win /q /x /y";
}

}  // namespace wine
}  // namespace morvane
