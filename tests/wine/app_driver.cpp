#include "app_driver.h"

#include <sstream>

namespace morvane::wine {
namespace {

// Waits for the program's thread (up to five seconds) instead of giving up when it looks hung: a
// thread that has just come back from a wait of more than five seconds on a tool counts as hung
// until it fetches its next message, and a box it shows then would read as empty.
DWORD_PTR Send(HWND h, UINT message, WPARAM w = 0, LPARAM l = 0, DWORD timeoutMs = 5000) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(h, message, w, l, SMTO_NORMAL, timeoutMs, &result) ? result : 0;
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
  return TRUE;
}

}  // namespace

std::vector<HWND> WindowsOf(DWORD pid, const wchar_t* className) {
  std::vector<HWND> all, own;
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
  for (HWND h : all) {
    wchar_t name[64] = {};
    DWORD owner = 0;
    ::GetWindowThreadProcessId(h, &owner);
    const bool match = ::GetClassNameW(h, name, 64) && lstrcmpW(name, className) == 0;
    if (owner == pid && match && ::IsWindowVisible(h)) own.push_back(h);
  }
  return own;
}

bool App::Launch(const std::wstring& exe, const Vars& env, std::vector<Box>* early) {
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

// One message for the text, with room to spare: a length asked first may be stale by the time the
// text is read while the program changes it.
std::wstring App::WindowText(HWND h) const {
  std::wstring text(Send(h, WM_GETTEXTLENGTH) + 512, L'\0');
  text.resize(Send(h, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0])));
  return text;
}

bool App::SetText(Ctl c, const std::wstring& text, DWORD timeoutMs) {
  return Send(Control(c), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), timeoutMs) == TRUE;
}

HWND App::Focused() const {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  return ::GetGUIThreadInfo(::GetWindowThreadProcessId(main_, nullptr), &info) ? info.hwndFocus : nullptr;
}

bool App::Checked(Ctl c) const { return Send(Control(c), BM_GETCHECK) == BST_CHECKED; }

int App::BarPosition() const {
  return static_cast<int>(Send(::GetDlgItem(Control(Ctl::ProgressBar1), 1), PBM_GETPOS));
}

std::vector<std::wstring> App::Items(Ctl c) const {
  std::vector<std::wstring> items;
  const LONG_PTR count = static_cast<LONG_PTR>(Send(Control(c), CB_GETCOUNT));  // CB_ERR: none
  for (LONG_PTR i = 0; i < count; ++i) {
    std::wstring item(Send(Control(c), CB_GETLBTEXTLEN, i) + 1, L'\0');
    item.resize(Send(Control(c), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0])));
    items.push_back(item);
  }
  return items;
}

int App::Selected(Ctl c) const {
  return static_cast<int>(static_cast<LRESULT>(Send(Control(c), CB_GETCURSEL)));
}

RECT App::RectInClient(Ctl c) const {
  RECT r = {};
  ::GetWindowRect(Control(c), &r);
  ::MapWindowPoints(HWND_DESKTOP, main_, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

Box App::WaitBox(DWORD timeoutMs, HWND other) const {
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

void App::Answer(const Box& box, int button) {
  const LPARAM control = reinterpret_cast<LPARAM>(::GetDlgItem(box.hwnd, button));
  ::PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), control);
}

std::string ReadAll(const std::wstring& path) {
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  char buffer[65536];
  for (DWORD got = 0; file && ::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0;) {
    bytes.append(buffer, got);
  }
  return bytes;
}

bool WriteAll(const std::wstring& path, const std::string& bytes) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadAll(path));
  for (std::string line; std::getline(in, line); lines.push_back(line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  return lines;
}

bool SaveWindowBitmap(HWND window, const std::wstring& name) {
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

}  // namespace morvane::wine
