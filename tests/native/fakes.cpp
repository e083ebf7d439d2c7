#include "fakes.h"

#include <gtest/gtest.h>

#include "install/command_lines.h"
#include "shell/app_folder.h"

namespace morvane::testing {

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = static_cast<uint32_t>(text[i]);
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size()) {  // a pair where wchar_t has 16 bits
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(text[++i]) - 0xDC00);
    }
    const int extra = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
    out += static_cast<char>(extra == 0 ? cp : ((0xFFu << (7 - extra)) & 0xFFu) | (cp >> (6 * extra)));
    for (int k = extra - 1; k >= 0; --k) out += static_cast<char>(0x80u | ((cp >> (6 * k)) & 0x3Fu));
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

void FakeWindow::SetText(Ctl c, const std::wstring& text) {
  const bool changed = Text(c) != text;
  texts[c] = text;
  if (c == Ctl::Status || c == Ctl::Command4) Note(Shown(c, text));
  if (c == Ctl::Text1 && changed && form) form->OnText1Change();
}

std::wstring FakeWindow::ListItem(Ctl c, int index) const {
  const Lines items = Find(lists, c, Lines());
  const bool in = index >= 0 && index < static_cast<int>(items.size());
  return in ? items[static_cast<size_t>(index)] : std::wstring();
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

std::wstring FakeWindow::Take(std::deque<std::wstring>& picks) {
  if (picks.empty()) return std::wstring();  // the picker was cancelled
  const std::wstring path = picks.front();
  picks.pop_front();
  return path;
}

// ---- FakeSystem ----

FakeSystem::FakeSystem() {
  AddFolder(L"C:\\Windows");
  AddFolder(L"C:\\Windows\\Temp");
  SetDrives({{L"C:", DriveType::Fixed}, {L"D:", DriveType::Fixed}, {L"T:", DriveType::Fixed}});
}

void FakeSystem::SetDrives(const std::vector<std::pair<std::wstring, DriveType>>& drives) {
  driveRoots.clear();
  driveTypes.clear();
  for (const auto& [drive, type] : drives) {
    driveRoots += drive + L"\\" + L'\0';
    driveTypes[drive] = type;
  }
  driveRoots += L'\0';
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
  if (!CanWriteIn(path) || unwritable.count(path) != 0) return WriteResult::Failed;
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
  if (files.erase(path) == 0) return false;
  Note(L"delete " + path);
  entries.erase(path);
  return true;
}

RunResult FakeSystem::RunAndWait(const std::wstring& commandLine) {
  Note(L"run " + commandLine);
  waitCancelled = false;
  const RunResult result = onRun ? onRun(commandLine) : RunResult{true, 0};
  return waitCancelled ? RunResult{true, 1223} : result;
}

bool FakeSystem::StartWatched(const std::wstring& commandLine) {
  Note(L"start " + commandLine);
  if (startWatchedFails) return false;
  watching = true;
  watchedEnded = false;
  return true;
}

bool FakeSystem::BatchCanCarry(const std::wstring& text) const {
  if (englishCodePages) {
    return std::all_of(text.begin(), text.end(), [](wchar_t ch) { return ch < 0x80 || ch == L'\u00E9'; });
  }
  return std::none_of(text.begin(), text.end(), [](wchar_t ch) { return ch >= 0x0E00 && ch <= 0x0E7F; });
}

std::wstring FakeSystem::HalfWidth(const std::wstring& text) const {
  std::wstring out = text;
  for (wchar_t& ch : out) {
    if (ch >= 0xFF01 && ch <= 0xFF5E) ch = static_cast<wchar_t>(ch - 0xFF01 + 0x21);
    if (ch == 0x3000) ch = L' ';
  }
  return out;
}

DriveType FakeSystem::TypeOfDrive(const std::wstring& drive) const {
  const bool rooted = !drive.empty() && drive.back() == L'\\';
  return Find(driveTypes, rooted ? drive.substr(0, drive.size() - 1) : drive, DriveType::NoRootDir);
}

// ---- Rig ----

Rig::Rig() {
  ui.form = &form;
  ui.journal = &journal;
  sys.journal = &journal;
}

void Rig::PlaceTools() {
  for (const auto& folder : toolFolders) {
    sys.AddFile(FolderPlus(sys.programFolder, folder) + L"\\wimlib-imagex.exe");
  }
}

void Rig::Load() {
  PlaceTools();
  form.OnLoad();
  loaded_ = true;
}

void Rig::ChooseImage(const std::wstring& path, const std::wstring& xml) {
  if (sys.Lookup(path) == Entry::None) sys.AddFile(path);
  const auto saved = sys.onRun;
  sys.onRun = [this, xml](const std::wstring&) {
    sys.AddFile(kInfoXml, Utf16Le(xml));
    return RunResult{true, 0};
  };
  ui.Type(path);
  sys.onRun = saved;
}

void Rig::Prepare(const Lines& majors, int index) {
  ChooseImage(L"E:\\sources\\install.wim", WimXml(majors));
  ui.SetListIndex(Ctl::Combo0, index);
  ui.SetText(Ctl::Text2, L"C:");
  ui.SetText(Ctl::Text3, L"T:");
  ClearLogs();
}

void Rig::StartApply(const Lines& majors, int index) {
  if (!loaded_) Load();
  Prepare(majors, index);
  form.OnCommand4();
}

void Rig::FinishStages() {
  sys.AddFile(ApplyOutputPath(sys.Env(L"windir")), "Done applying WIM image.\r\n");
  for (int stage = 0; stage < 3; ++stage) form.OnTimer();
}

void Rig::Complete() {
  FinishStages();
  ClearLogs();
  ui.boxes.clear();
  form.OnTimer();
}

void Rig::ClearLogs() {
  journal.clear();
  ui.log.clear();
  sys.log.clear();
}

Lines Rig::Runs() const { return Starting(sys.log, L"run "); }
Lines Rig::Spawns() const { return Starting(sys.log, L"spawn "); }

void Rig::ExpectIdle() {
  EXPECT_EQ(ui.Text(Ctl::Command4), L"开始安装");
  EXPECT_EQ(ui.Text(Ctl::Status), L"状态");
  EXPECT_EQ(ui.bar, 0);
  EXPECT_FALSE(ui.timerEnabled);
  EXPECT_FALSE(form.running());
  for (Ctl c : kRunInputs) EXPECT_TRUE(ui.IsEnabled(c)) << static_cast<int>(c);
  const size_t boxes = ui.boxes.size();
  EXPECT_TRUE(form.OnQueryClose());
  EXPECT_EQ(ui.boxes.size(), boxes);
}

void Rig::ExpectError(size_t count, const std::wstring& text) {
  ASSERT_EQ(ui.boxes.size(), count);
  EXPECT_EQ(ui.boxes.back().caption, L"错误");
  EXPECT_EQ(ui.boxes.back().icon, MsgIcon::Stop);
  EXPECT_EQ(ui.boxes.back().buttons, MsgButtons::Ok);
  EXPECT_NE(ui.boxes.back().text.find(text), std::wstring::npos) << Narrow(ui.boxes.back().text);
}

void PrintTo(const FakeWindow::Box& box, std::ostream* os) {
  *os << "box \"" << Narrow(box.text) << "\" caption \"" << Narrow(box.caption) << "\" icon "
      << static_cast<int>(box.icon) << " buttons " << static_cast<int>(box.buttons);
}

std::wstring Shown(Ctl c, const std::wstring& text) {
  return L"ctl" + std::to_wstring(static_cast<int>(c)) + L"=" + text;
}

std::vector<std::wstring> Starting(const std::vector<std::wstring>& log, const std::wstring& prefix) {
  std::vector<std::wstring> lines;
  std::copy_if(log.begin(), log.end(), std::back_inserter(lines),
               [&](const std::wstring& line) { return line.rfind(prefix, 0) == 0; });
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
