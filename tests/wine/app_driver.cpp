#include "app_driver.h"

#include <vector>

namespace morvane::wine {
namespace {

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<std::pair<const wchar_t*, std::vector<HWND>>*>(param);
  wchar_t name[64] = {};
  ::GetClassNameW(hwnd, name, 64);
  if (::IsWindowVisible(hwnd) && lstrcmpW(name, search->first) == 0) search->second.push_back(hwnd);
  return TRUE;
}

std::vector<wchar_t> EnvironmentBlock(const std::map<std::wstring, std::wstring>& extra) {
  std::map<std::wstring, std::wstring> vars;
  if (wchar_t* block = ::GetEnvironmentStringsW()) {
    for (const wchar_t* p = block; *p; p += lstrlenW(p) + 1) {
      const std::wstring entry(p);
      const size_t eq = entry.find(L'=', 1);
      if (eq != std::wstring::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    ::FreeEnvironmentStringsW(block);
  }
  for (const auto& kv : extra) {
    // Names are case-insensitive: drop any spelling of the same name first.
    for (auto it = vars.begin(); it != vars.end();) {
      it = lstrcmpiW(it->first.c_str(), kv.first.c_str()) == 0 ? vars.erase(it) : std::next(it);
    }
    if (!kv.second.empty()) vars[kv.first] = kv.second;
  }
  std::vector<wchar_t> out;
  for (const auto& kv : vars) {
    const std::wstring entry = kv.first + L"=" + kv.second;
    out.insert(out.end(), entry.begin(), entry.end());
    out.push_back(L'\0');
  }
  out.push_back(L'\0');
  return out;
}

}  // namespace

std::vector<HWND> WindowsOf(DWORD pid, const wchar_t* className) {
  std::pair<const wchar_t*, std::vector<HWND>> search{className, {}};
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  std::vector<HWND> own;
  for (HWND h : search.second) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(h, &owner);
    if (owner == pid) own.push_back(h);
  }
  return own;
}

bool App::Launch(const std::wstring& exe, const std::map<std::wstring, std::wstring>& env) {
  std::vector<wchar_t> block = EnvironmentBlock(env);
  std::wstring commandLine = L"\"" + exe + L"\"";
  const size_t slash = exe.find_last_of(L'\\');
  const std::wstring folder = slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        block.data(), folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
    return false;
  }
  process_ = UniqueProcess(pi);
  pid_ = pi.dwProcessId;
  ::WaitForInputIdle(process_.process(), 20000);
  return WaitFor(
      [&] {
        const std::vector<HWND> found = WindowsOf(pid_, L"MorvaneSetupForm1");
        return (main_ = found.empty() ? nullptr : found[0]) != nullptr;
      },
      30000);
}

App::~App() { Kill(); }

void App::Kill() {
  if (process_.valid() && Running()) {
    ::TerminateProcess(process_.process(), 1);
    ::WaitForSingleObject(process_.process(), 5000);
  }
}

bool App::Running() const { return process_.valid() && ::WaitForSingleObject(process_.process(), 0) == WAIT_TIMEOUT; }

bool App::WaitExit(DWORD timeoutMs) {
  return process_.valid() && ::WaitForSingleObject(process_.process(), timeoutMs) == WAIT_OBJECT_0;
}

// The reads below wait for the program's thread (up to their time-out) instead of giving up when it
// looks hung: a thread that has just come back from a wait of more than five seconds on a tool
// counts as hung until it fetches its next message, and a box it shows then would read as empty.
std::wstring App::WindowText(HWND h) const {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length)) return std::wstring();
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  ::SendMessageTimeoutW(h, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]), SMTO_NORMAL, 5000, &got);
  text.resize(got);
  return text;
}

std::wstring App::Text(Ctl c) const { return WindowText(Control(c)); }

bool App::SetText(Ctl c, const std::wstring& text, DWORD timeoutMs) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(Control(c), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL,
                               timeoutMs, &result) != 0;
}

void App::Click(Ctl c) { ::PostMessageW(Control(c), BM_CLICK, 0, 0); }

HWND App::Focused() const {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  return ::GetGUIThreadInfo(::GetWindowThreadProcessId(main_, nullptr), &info) ? info.hwndFocus : nullptr;
}

bool App::Checked(Ctl c) const {
  DWORD_PTR state = 0;
  ::SendMessageTimeoutW(Control(c), BM_GETCHECK, 0, 0, SMTO_NORMAL, 5000, &state);
  return state == BST_CHECKED;
}

std::vector<std::wstring> App::Items(Ctl c) const {
  std::vector<std::wstring> items;
  DWORD_PTR count = 0;
  ::SendMessageTimeoutW(Control(c), CB_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &count);
  for (DWORD_PTR i = 0; i < count && count != static_cast<DWORD_PTR>(CB_ERR); ++i) {
    DWORD_PTR length = 0;
    ::SendMessageTimeoutW(Control(c), CB_GETLBTEXTLEN, i, 0, SMTO_NORMAL, 5000, &length);
    std::wstring item(length + 1, L'\0');
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(Control(c), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0]), SMTO_NORMAL, 5000,
                          &got);
    item.resize(got);
    items.push_back(item);
  }
  return items;
}

int App::Selected(Ctl c) const {
  DWORD_PTR index = 0;
  ::SendMessageTimeoutW(Control(c), CB_GETCURSEL, 0, 0, SMTO_NORMAL, 5000, &index);
  return static_cast<int>(static_cast<LONG_PTR>(index));
}

RECT App::ClientRect() const {
  RECT r = {};
  ::GetClientRect(main_, &r);
  return r;
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
  ::PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(box.hwnd, button)));
}

bool App::WaitGone(const Box& box, DWORD timeoutMs) const {
  return WaitFor([&] { return !::IsWindow(box.hwnd) || !::IsWindowVisible(box.hwnd); }, timeoutMs);
}

bool App::WaitText(Ctl c, const std::wstring& text, DWORD timeoutMs) const {
  return WaitFor([&] { return Text(c) == text; }, timeoutMs);
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadAll(const std::wstring& path) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return std::string();
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
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
  const std::string bytes = ReadAll(path);
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    pos = end + 1;
  }
  return lines;
}

}  // namespace morvane::wine

namespace morvane::wine {

bool SaveWindowBitmap(HWND window, const std::wstring& path) {
  ::Sleep(400);  // let the window and its controls finish painting
  RECT r;
  if (!::GetWindowRect(window, &r)) return false;
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  ::GdiFlush();
  const DWORD stride = ((w * 3 + 3) / 4) * 4;
  const DWORD imageSize = stride * h;
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + imageSize;
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  bytes.append(static_cast<const char*>(bits), imageSize);
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return WriteAll(path, bytes);
}

}  // namespace morvane::wine
