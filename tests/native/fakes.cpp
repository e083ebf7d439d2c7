#include "fakes.h"

#include <algorithm>

#include "install/command_lines.h"
#include "shell/app_folder.h"

namespace morvane::testing {
namespace {

std::wstring Name(Ctl c) { return L"ctl" + std::to_wstring(static_cast<int>(c)); }

std::wstring FromUtf8(const std::string& s) {
  std::wstring out;
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp;
    int extra;
    if (c < 0x80) {
      cp = c, extra = 0;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F, extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F, extra = 2;
    } else {
      cp = c & 0x07, extra = 3;
    }
    ++i;
    for (int k = 0; k < extra && i < s.size(); ++k, ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<wchar_t>(cp));
    }
  }
  return out;
}

}  // namespace

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = static_cast<uint32_t>(text[i]) & 0xFFFF;
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size()) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + ((static_cast<uint32_t>(text[++i]) & 0xFFFF) - 0xDC00);
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::string Utf16Le(const std::wstring& text) {
  std::string out = "\xFF\xFE";
  for (wchar_t ch : text) {
    out += static_cast<char>(ch & 0xFF);
    out += static_cast<char>((ch >> 8) & 0xFF);
  }
  return out;
}

// ---- FakeWindow ----

void FakeWindow::Note(const std::wstring& line) {
  log.push_back(line);
  if (journal) journal->push_back(line);
}

FakeWindow::FakeWindow() {
  texts[Ctl::Text2] = L"C:";
  texts[Ctl::Text3] = L"C:";
  texts[Ctl::Command4] = L"开始安装";
  texts[Ctl::Status] = L"状态";
  checked[Ctl::Check1] = true;
  checked[Ctl::Check2] = true;
}

std::wstring FakeWindow::Text(Ctl c) const {
  const auto it = texts.find(c);
  return it == texts.end() ? std::wstring() : it->second;
}

void FakeWindow::SetText(Ctl c, const std::wstring& text) {
  const bool changed = Text(c) != text;
  texts[c] = text;
  if (c == Ctl::Status || c == Ctl::Command4) Note(Shown(c, text));
  if (c == Ctl::Text1 && changed && form) form->OnText1Change();
}

void FakeWindow::Enable(Ctl c, bool on) {
  enabled[c] = on;
  (on ? enabledOrder : disabledOrder).push_back(c);
}

bool FakeWindow::IsEnabled(Ctl c) const {
  const auto it = enabled.find(c);
  return it == enabled.end() || it->second;
}

bool FakeWindow::IsChecked(Ctl c) const {
  const auto it = checked.find(c);
  return it != checked.end() && it->second;
}

void FakeWindow::ListClear(Ctl c) {
  lists[c].clear();
  selected[c] = -1;
}

void FakeWindow::ListAdd(Ctl c, const std::wstring& item) { lists[c].push_back(item); }

int FakeWindow::ListCount(Ctl c) const {
  const auto it = lists.find(c);
  return it == lists.end() ? 0 : static_cast<int>(it->second.size());
}

std::wstring FakeWindow::ListItem(Ctl c, int index) const {
  const auto it = lists.find(c);
  if (it == lists.end() || index < 0 || index >= static_cast<int>(it->second.size())) return std::wstring();
  return it->second[static_cast<size_t>(index)];
}

int FakeWindow::ListIndex(Ctl c) const {
  const auto it = selected.find(c);
  return it == selected.end() ? -1 : it->second;
}

void FakeWindow::SetListIndex(Ctl c, int index) { selected[c] = index < ListCount(c) ? index : -1; }

void FakeWindow::SetTooltip(Ctl c, const std::wstring& text) { tooltips[c] = text; }

void FakeWindow::SetTimerEnabled(bool on) {
  timerEnabled = on;
  Note(on ? L"timer on" : L"timer off");
}

bool FakeWindow::CreateTaskbarList() {
  taskbarCalls.push_back(L"create");
  return taskbarCreates;
}

void FakeWindow::SetTaskbarState(TaskbarState s) {
  taskbarCalls.push_back(L"state " + std::to_wstring(static_cast<int>(s)));
  Note(L"taskbar state " + std::to_wstring(static_cast<int>(s)));
}

void FakeWindow::SetTaskbarValue(uint64_t completed, uint64_t total) {
  taskbarCalls.push_back(L"value " + std::to_wstring(completed) + L"/" + std::to_wstring(total));
}

MsgAnswer FakeWindow::Message(const std::wstring& text, const std::wstring& caption, MsgIcon icon,
                              MsgButtons buttons) {
  Box box{text, caption, icon, buttons};
  boxes.push_back(box);
  Note(L"box " + caption + L" " + text);
  if (onBox) onBox(box);
  if (buttons == MsgButtons::Ok || answers.empty()) return MsgAnswer::Ok;
  const MsgAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::wstring FakeWindow::PickImageFile() {
  if (pickedFiles.empty()) return std::wstring();
  std::wstring path = pickedFiles.front();
  pickedFiles.pop_front();
  return path;
}

std::wstring FakeWindow::PickFolder(const std::wstring&) {
  if (pickedFolders.empty()) return std::wstring();
  std::wstring path = pickedFolders.front();
  pickedFolders.pop_front();
  return path;
}

void FakeWindow::SetStateNormal() {
  state = WindowState::Normal;
  if (form) form->OnResize();
}

void FakeWindow::SetSize(int32_t widthTwips, int32_t heightTwips) {
  width = widthTwips;
  height = heightTwips;
  if (form) form->OnResize();
}

void FakeWindow::Maximise() {
  state = WindowState::Maximised;
  if (form) form->OnResize();
}

void FakeWindow::Minimise() {
  state = WindowState::Minimised;
  if (form) form->OnResize();
}

void FakeWindow::Restore() {
  state = WindowState::Normal;
  if (form) form->OnResize();
}

// ---- FakeSystem ----

void FakeSystem::Note(const std::wstring& line) {
  log.push_back(line);
  if (journal) journal->push_back(line);
}

FakeSystem::FakeSystem() {
  env[L"windir"] = L"C:\\Windows";
  entries[L"C:\\Windows"] = Entry::Folder;
  entries[L"C:\\Windows\\Temp"] = Entry::Folder;
  SetDrives({{L"C:", DriveType::Fixed}, {L"D:", DriveType::Fixed}, {L"T:", DriveType::Fixed}});
}

void FakeSystem::SetDrives(const std::vector<std::pair<std::wstring, DriveType>>& drives) {
  driveRoots.clear();
  driveTypes.clear();
  for (const auto& drive : drives) {
    driveRoots += drive.first + L"\\";
    driveRoots += L'\0';
    driveTypes[drive.first] = drive.second;
  }
  driveRoots += L'\0';
}

void FakeSystem::AddFile(const std::wstring& path, const std::string& bytes) {
  files[path] = bytes;
  entries[path] = Entry::File;
}

void FakeSystem::AddFolder(const std::wstring& path) { entries[path] = Entry::Folder; }

std::wstring FakeSystem::FileText(const std::wstring& path) const {
  const auto it = files.find(path);
  return it == files.end() ? std::wstring() : FromUtf8(it->second);
}

std::wstring FakeSystem::Env(const std::wstring& name) const {
  const auto it = env.find(name);
  return it == env.end() ? std::wstring() : it->second;
}

Entry FakeSystem::Lookup(const std::wstring& path) const {
  const auto it = entries.find(path);
  return it == entries.end() ? Entry::None : it->second;
}

bool FakeSystem::FolderExists(const std::wstring& path) const {
  return Lookup(path) == Entry::Folder || hiddenFolders.count(path) != 0;
}

std::wstring FakeSystem::FullPath(const std::wstring& path) const {
  const auto it = fullPaths.find(path);
  return it == fullPaths.end() ? path : it->second;
}

bool FakeSystem::CreateFolder(const std::wstring& path) {
  Note(L"mkdir " + path);
  if (folderCreationFails) return false;
  entries[path] = Entry::Folder;
  return true;
}

bool FakeSystem::CanWriteIn(const std::wstring& path) const {
  const size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos) return false;
  const std::wstring folder = path.substr(0, slash);
  if (IsDriveName(folder)) return TypeOfDrive(folder) != DriveType::NoRootDir;
  return FolderExists(folder);
}

WriteResult FakeSystem::WriteBatchText(const std::wstring& path, const std::wstring& text) {
  if (!BatchCanCarry(text)) return WriteResult::NotAnsi;
  const auto same = [&](const std::wstring& p) { return !FoldLess()(p, path) && !FoldLess()(path, p); };
  if (!CanWriteIn(path) || std::any_of(unwritable.begin(), unwritable.end(), same)) return WriteResult::Failed;
  Note(L"write " + path + L" " + text);
  std::string bytes;
  if (englishCodePages) {
    for (wchar_t ch : text) bytes += ch == L'\u00E9' ? '\x82' : static_cast<char>(ch);
  } else {
    bytes = Narrow(text);
  }
  AddFile(path, bytes);
  return WriteResult::Ok;
}

std::optional<std::string> FakeSystem::ReadFile(const std::wstring& path, bool createIfMissing) {
  if (failingReads[path] > 0) {
    --failingReads[path];
    return std::nullopt;
  }
  const auto it = files.find(path);
  if (it != files.end()) return it->second;
  if (!createIfMissing || !CanWriteIn(path)) return std::nullopt;
  AddFile(path);
  return std::string();
}

bool FakeSystem::DeleteFile(const std::wstring& path) {
  const auto it = files.find(path);
  if (it == files.end()) return false;
  Note(L"delete " + path);
  entries.erase(path);
  files.erase(it);
  return true;
}

RunResult FakeSystem::RunAndWait(const std::wstring& commandLine) {
  Note(L"run " + commandLine);
  waitCancelled = false;
  const RunResult result = onRun ? onRun(commandLine) : RunResult{true, 0};
  return waitCancelled ? RunResult{true, 1223} : result;
}

void FakeSystem::CancelWait() {
  Note(L"cancel wait");
  waitCancelled = true;
}

bool FakeSystem::StartWatched(const std::wstring& commandLine) {
  Note(L"start " + commandLine);
  if (startWatchedFails) return false;
  watching = true;
  watchedEnded = false;
  return true;
}

bool FakeSystem::StartHidden(const std::wstring& commandLine) {
  Note(L"spawn " + commandLine);
  return true;
}

std::wstring FakeSystem::ShortPath(const std::wstring& path) {
  const auto it = shortPaths.find(path);
  return it == shortPaths.end() ? path : it->second;
}

bool FakeSystem::BatchCanCarry(const std::wstring& text) const {
  if (englishCodePages) {
    return std::all_of(text.begin(), text.end(), [](wchar_t ch) { return ch < 0x80 || ch == L'\u00E9'; });
  }
  return std::none_of(text.begin(), text.end(), [](wchar_t ch) { return ch >= 0x0E00 && ch <= 0x0E7F; });
}

std::wstring FakeSystem::FromAnsi(const std::string& bytes) const { return FromUtf8(bytes); }

std::wstring FakeSystem::HalfWidth(const std::wstring& text) const {
  std::wstring out = text;
  for (wchar_t& ch : out) {
    if (ch >= 0xFF01 && ch <= 0xFF5E) ch = static_cast<wchar_t>(ch - 0xFF01 + 0x21);
    if (ch == 0x3000) ch = L' ';
  }
  return out;
}

DriveType FakeSystem::TypeOfDrive(const std::wstring& drive) const {
  std::wstring name = drive;
  if (!name.empty() && name.back() == L'\\') name.pop_back();
  const auto it = driveTypes.find(name);
  return it == driveTypes.end() ? DriveType::NoRootDir : it->second;
}

// ---- Rig ----

Rig::Rig() {
  ui.form = &form;
  ui.journal = &journal;
  sys.journal = &journal;
}

void Rig::PlaceTools() {
  for (const auto& folder : toolFolders) sys.AddFile(FolderPlus(sys.programFolder, folder) + L"\\wimlib-imagex.exe");
}

void Rig::Load() {
  PlaceTools();
  form.OnLoad();
}

void Rig::ChooseImage(const std::wstring& path, const std::wstring& xml) {
  if (sys.Lookup(path) == Entry::None) sys.AddFile(path);
  const std::wstring output = sys.Env(L"windir") + L"\\temp\\WIMInfo.xml";
  auto saved = sys.onRun;
  sys.onRun = [this, output, xml](const std::wstring&) {
    sys.AddFile(output, Utf16Le(xml));
    return RunResult{true, 0};
  };
  ui.Type(path);
  sys.onRun = saved;
}

void Rig::StartApply(const std::vector<std::wstring>& majors) {
  ChooseImage(L"E:\\sources\\install.wim", WimXml(majors));
  ui.SetText(Ctl::Text2, L"C:");
  ui.SetText(Ctl::Text3, L"T:");
  form.OnCommand4();
}

void Rig::FinishStages() {
  sys.AddFile(ApplyOutputPath(sys.Env(L"windir")), "Done applying WIM image.\r\n");
  for (int stage = 0; stage < 3; ++stage) form.OnTimer();
}

void PrintTo(const FakeWindow::Box& box, std::ostream* os) {
  *os << "box \"" << Narrow(box.text) << "\" caption \"" << Narrow(box.caption) << "\" icon "
      << static_cast<int>(box.icon) << " buttons " << static_cast<int>(box.buttons);
}

std::wstring Shown(Ctl c, const std::wstring& text) { return Name(c) + L"=" + text; }

std::vector<std::wstring> Starting(const std::vector<std::wstring>& log, const std::wstring& prefix) {
  std::vector<std::wstring> lines;
  for (const auto& line : log) {
    if (line.rfind(prefix, 0) == 0) lines.push_back(line);
  }
  return lines;
}

std::wstring WimXml(const std::vector<std::wstring>& majors) {
  std::wstring xml = L"<WIM><TOTALBYTES>1</TOTALBYTES>";
  for (size_t i = 0; i < majors.size(); ++i) {
    const std::wstring n = std::to_wstring(i + 1);
    xml += L"<IMAGE INDEX=\"" + n + L"\"><NAME>Image " + n + L"</NAME><WINDOWS><VERSION>";
    if (!majors[i].empty()) xml += L"<MAJOR>" + majors[i] + L"</MAJOR>";
    xml += L"<MINOR>0</MINOR></VERSION></WINDOWS></IMAGE>";
  }
  return xml + L"</WIM>";
}

}  // namespace morvane::testing
