// The runner of the fault matrix (matrix_wine_test.cpp) and of the runs made on request (stress,
// sandbox): a row is one program run under Wine, and every row ends with the same checks: the
// program is idle (or has closed when it was asked to), closes at once when idle, has formatted
// nothing but the confirmed target, has run exactly the tools the row allows, has shown a success
// box only for a run that succeeded, and has left no batch file behind.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "app_driver.h"

namespace morvane::wine {

using Env = std::map<std::wstring, std::wstring>;
using Texts = std::vector<std::wstring>;
const wchar_t kBadSource[] = L"Windows源无效！";
const char kEarlierQuery[] = "left by an earlier query";
const wchar_t kTool[] = L"wimlib-imagex.exe";

// Query: the image path is typed, the lists are checked. Start: then the fields and Start, which
// must be refused before anything runs. Cancel: the confirmation comes and is cancelled. Install:
// the confirmation is accepted and the run followed to its last box.
enum class Flow { Query, Start, Cancel, Install };
// Where a close request is made besides the one every row ends with (when idle): while a query
// whose tool never ends waits, while the target is formatted, while the image is applied, while
// the last box is open.
enum class CloseAt { Never, Query, Format, Apply, EndBox };
// The lists shown: the small image, the image whose names hold 0x0A bytes in UTF-16 (names.wim),
// the three images with full-width names, the small image as version 5 (xp.wim), or nothing.
enum class Lists { Small, Names, Three, Version5, Empty };
const Texts kListed[][3] = {  // by Lists: labels, display names, major versions
    {{L"Small:Small test system"}, {L"小型测试系统"}, {L"10"}},
    {{L"上海:《简介》", L"《专业》版:第一行\n第二行", L"Home"}, {L"上海版", L"《专业》版", L"Home"}, {L"10", L"", L""}},
    {{L"Win10 Pro:专业版", L"Home", L"ABC123 企业版"}, {L"Windows 10 专业版", L"Home", L"ABC123 企业版"},
     {L"10", L"6", L""}},
    {{L"Small:Small test system"}, {L"小型测试系统"}, {L"5"}},
    {}};
// The run's last box: a refusal or error under "错误", the completion under "提示：" (a note on the
// boot files, the plain completion text, or the restart box).
enum class End { None, Error, BootNote, Done, Restart };
// What the stand-ins log: nothing, the format alone, the whole run, the whole run and the restart.
enum class Calls { None, Format, Whole, WholeAndRestart };
// Before the launch: the Temp folder made hidden and system; the small image put into T:\images and
// U: made to stand for that folder, as "subst U: T:\images" does. Between the query and Start: the
// tool taken away, or the Temp folder replaced by a file.
enum class Tamper { None, HideTemp, SubstOfTarget, TakeToolAway, TempBecomesFile };

struct Row {
  std::string name;
  Flow flow = Flow::Query;
  std::wstring image = L"";  // under the matrix folder unless it names a drive; empty: the rig's small image
  Lists lists = Lists::Small;
  End end = End::None;
  Texts endText = {};  // pieces the last box must hold
  Calls calls = Calls::None;
  Env env = {};
  // The program folder by its rig variable: the rig's, one without the image tool (NOTOOL), without
  // the boot tools (NOBOOT), one whose tool a row takes away (SPARE), on P: (DRIVE_P), with the tool
  // in Bin only (PROBE); the Windows folder to run with, by its rig variable.
  const wchar_t* exeVar = L"MORVANE_EXE";
  const wchar_t* windirVar = L"windir";
  std::wstring target = L"T:", boot = L"B:";
  // asTyped: the image typed as it stands (relative to the program's folder); afterImage: typed
  // after the small image was listed, whose lists must go; restart: the "restart" box stays
  // ticked; sessionEnd: the close request is the session-end query of a log-off or shut-down;
  // formatFails: the last box comes while Start still reads "开始安装"; english: runs in the pass
  // under an English locale (code pages 1252 and 437); replay: the tool replays a recorded Windows
  // apply in three stages (no files reach the target); startInQuery: Start is pressed while the
  // query's tool still runs.
  bool asTyped = false, afterImage = false, restart = true;
  bool sessionEnd = false, formatFails = false, english = false, replay = false, startInQuery = false;
  int answer = IDOK;  // to the last box; IDCANCEL to the restart box cancels the restart
  CloseAt close = CloseAt::Never;
  Tamper tamper = Tamper::None;
  const wchar_t* earlyBox = nullptr;  // a warning expected before the main window
  const wchar_t* queryBox = nullptr;  // an error expected when the path is typed

  Row& Shows(Lists l) { return lists = l, *this; }
  Row& Set(bool Row::*flag) { return this->*flag = true, *this; }
  template <typename T, typename V>
  Row& Set(T Row::*field, V value) { return this->*field = std::move(value), *this; }
  // A path that names no file is not queried: a WIMInfo.xml left before stays as it was.
  bool noQuery() const { return asTyped && lists == Lists::Empty; }
  bool succeeds() const { return end == End::Done || end == End::Restart; }
};

inline void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }
inline std::string RowName(const ::testing::TestParamInfo<Row>& info) { return info.param.name; }

inline Row Install(const std::string& name, End end, Calls calls, Env env = {}, Texts text = {}) {
  return Row{name, Flow::Install, L"", Lists::Small, end, text, calls, env};
}
// A whole installation without the restart.
inline Row Whole(const std::string& name, const std::wstring& image = L"") {
  return Install(name, End::Done, Calls::Whole).Set(&Row::image, image).Set(&Row::restart, false);
}
inline Row Restarts(const std::string& name, Env env) {
  return Install(name, End::Restart, Calls::WholeAndRestart, env);
}

// How many processes of the prefix run the program file `name`.
inline int ProcessesNamed(const wchar_t* name) {
  UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  int count = 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;) {
    count += lstrcmpiW(entry.szExeFile, name) == 0;
    more = ::Process32NextW(snapshot.get(), &entry);
  }
  return snapshot ? count : -1;
}

// What the window showed while a run went on: each new status text, the bar's positions (each
// change), whether every input was disabled at the bar's first move, and the run's last box.
struct Course {
  Texts statuses;
  std::vector<int> bars = {0};
  bool inputsLocked = true;
  Box last;
};

class Matrix : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    const std::wstring matrix = EnvOr(L"MORVANE_MATRIX");
    ASSERT_FALSE(log_.empty() || windir_.empty() || exe_.empty() || matrix.empty())
        << "the rig's environment is not set: run the suite through tests/wine/run.sh";
    // Wine takes a program's code pages from the Unix locale it was started under, which a child
    // inherits: run.sh runs these rows in a pass of their own under LANG=en_US.UTF-8.
    ASSERT_TRUE(!row.english || ::GetOEMCP() == 437) << "an English-locale row: run it with LANG=en_US.UTF-8";
    ::DeleteFileW(log_.c_str());
    for (const wchar_t* name : kRunFiles) ::DeleteFileW((temp_ + name).c_str());
    if (row.noQuery()) { ASSERT_TRUE(WriteAll(temp_ + L"WIMInfo.xml", kEarlierQuery)); }
    const bool asIs = row.asTyped || row.image.find(L':') != std::wstring::npos;
    image_ = asIs ? row.image : matrix + L"\\" + row.image;
    if (row.image.empty()) image_ = EnvOr(L"MORVANE_SMALL_IMAGE");
    const DWORD earlier = ::GetFileAttributesW(L"T:\\Windows");
    earlierT_ = row.target != L"T:" && earlier != INVALID_FILE_ATTRIBUTES && (earlier & FILE_ATTRIBUTE_DIRECTORY);
  }

  // Runs the row's tampering if it is due `before` the launch or not; Finish puts things back.
  void Tamper(bool before) {
    const std::wstring temp = windir_ + L"\\Temp", bin = exe_.substr(0, exe_.find_last_of(L'\\')) + L"\\Bin";
    const bool early = row.tamper == Tamper::HideTemp || row.tamper == Tamper::SubstOfTarget;
    if (row.tamper == Tamper::None || early != before) return;
    if (row.tamper == Tamper::SubstOfTarget) {
      ::CreateDirectoryW(L"T:\\images", nullptr);  // a format of T: may have taken it
      ASSERT_TRUE(::CopyFileW(EnvOr(L"MORVANE_SMALL_IMAGE").c_str(), L"T:\\images\\small.wim", FALSE));
      ASSERT_TRUE(AliasDrive(L"U:", L"T:\\images"));
      return;
    }
    if (row.tamper == Tamper::HideTemp) {
      const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
      ::SetFileAttributesW(temp.c_str(), hiddenSystem);
      ASSERT_EQ(::GetFileAttributesW(temp.c_str()) & hiddenSystem, hiddenSystem) << "Temp is not hidden";
      return;
    }
    Texts aside = {temp};
    if (row.tamper == Tamper::TakeToolAway) aside = {bin + L"\\" + kTool, bin + L"64\\" + kTool};
    for (const std::wstring& path : aside) {
      ASSERT_TRUE(::MoveFileExW(path.c_str(), (path + L".away").c_str(), 0)) << ToUtf8(path);
      moved_.push_back(path);
    }
    if (row.tamper == Tamper::TempBecomesFile) { ASSERT_TRUE(WriteAll(temp, "not a folder\r\n")); }
  }

  // Every box the row meets goes through here: none tells of a success unless the run succeeded.
  Box Seen(const Box& box) {
    EXPECT_TRUE(row.succeeds() || box.text.find(kStageDone) == std::wstring::npos) << ToUtf8(box.text);
    return box;
  }

  void ExpectLists(Lists lists) {
    const Texts* want = kListed[static_cast<int>(lists)];
    EXPECT_EQ(app_.Items(Ctl::Combo0), want[0]);
    EXPECT_EQ(app_.Selected(Ctl::Combo0), want[0].empty() ? -1 : 0);
    // A path that names no file empties the edition list only: the hidden lists wait for a query.
    if (lists == Lists::Empty && row.afterImage) return;
    EXPECT_EQ(app_.Items(Ctl::Combo1), want[1]);
    EXPECT_EQ(app_.Items(Ctl::Combo2), want[2]);
  }

  // Types the image path from a second thread: the change handler may take its time (a slow query,
  // a modal error box) while the test acts.
  std::future<bool> TypeAside() {
    return std::async(std::launch::async, [this] { return app_.SetText(Ctl::Text1, image_, 60000); });
  }

  // A close request that must be refused while the run goes on.
  void CloseRefused(HWND openBox = nullptr) {
    std::future<int> query = row.sessionEnd ? QueryEndSession(app_.main()) : std::future<int>();
    if (!row.sessionEnd) app_.RequestClose();
    const Box refused = Seen(app_.WaitBox(10000, openBox));
    ASSERT_TRUE(refused) << "no answer to the close request";
    EXPECT_EQ(refused.caption, L"警告！");
    EXPECT_EQ(refused.text, L"正在安装系统，无法关闭！");
    app_.Answer(refused, IDOK);
    EXPECT_TRUE(app_.WaitGone(refused));
    if (row.sessionEnd) { EXPECT_EQ(Ready(query, 10000) ? query.get() : -1, 0) << "the session end went on"; }
    EXPECT_TRUE(app_.Running());
  }

  void ExpectEndBox(const Box& box) {
    EXPECT_NE(row.end, End::None) << "a row without a last box: " << ToUtf8(box.text);
    EXPECT_EQ(box.caption, row.end == End::Error ? L"错误" : L"提示：") << ToUtf8(box.text);
    const std::wstring restart = L"\n您的电脑将在5秒后重新启动！若想取消自动重启任务，请单击“取消”。";
    if (row.succeeds()) { EXPECT_EQ(box.text, kStageDone + (row.end == End::Restart ? restart : L"")); }
    for (const std::wstring& piece : row.endText) {
      EXPECT_NE(box.text.find(piece), std::wstring::npos) << ToUtf8(piece) << " not in: " << ToUtf8(box.text);
    }
  }

  // A box after which nothing may come: answered, and the window idle.
  void Dismiss(const Box& box, int answer) {
    app_.Answer(box, answer);
    EXPECT_TRUE(app_.WaitGone(box));
    EXPECT_FALSE(Seen(app_.WaitBox(300))) << "another box after: " << ToUtf8(box.text);
    ExpectIdle(app_);
  }

  void TypeImage() {
    if (row.queryBox) {
      // The query's error box is modal inside the change handler: typed from the side.
      std::future<bool> typing = TypeAside();
      const Box box = Seen(app_.WaitBox(20000));
      ASSERT_TRUE(box) << "no box from the query";
      EXPECT_EQ(box.caption, L"错误");
      EXPECT_NE(box.text.find(row.queryBox), std::wstring::npos) << ToUtf8(box.text);
      app_.Answer(box, IDOK);
      ASSERT_TRUE(Ready(typing, 20000));
      return;
    }
    if (row.afterImage) {
      ASSERT_TRUE(app_.SetText(Ctl::Text1, EnvOr(L"MORVANE_SMALL_IMAGE")));
      ExpectLists(Lists::Small);
    }
    ASSERT_TRUE(app_.SetText(Ctl::Text1, image_));
    EXPECT_TRUE(WindowsOf(app_.pid()).empty()) << "an unexpected box after the query";
  }

  // Launches the program for the row; a box before the main window is the row's start-up warning.
  void Start() {
    Env env = row.env;
    env[L"windir"] = windir_;
    ASSERT_NO_FATAL_FAILURE(Tamper(true));
    std::vector<Box> early;
    ASSERT_TRUE(app_.Launch(exe_, env, &early)) << "the main window did not appear";
    for (const Box& box : early) Seen(box);
    ASSERT_EQ(early.size(), row.earlyBox ? 1u : 0u) << (early.empty() ? "" : ToUtf8(early[0].text));
    if (row.earlyBox) {
      EXPECT_EQ(early[0].caption, L"警告！");
      EXPECT_NE(early[0].text.find(row.earlyBox), std::wstring::npos) << ToUtf8(early[0].text);
    }
  }

  void RunRow() {
    ASSERT_NO_FATAL_FAILURE(Start());
    if (row.close == CloseAt::Query) {
      // The query's tool never ends: the close ends the query's processes and the window.
      std::future<bool> typing = TypeAside();
      const auto queryRuns = [&] { return FileExists(temp_ + L"WIMInfo.bat") && ProcessesNamed(kTool) > 0; };
      EXPECT_TRUE(App::WaitFor(queryRuns, 10000)) << "the query's tool did not start";
      app_.RequestClose();
      EXPECT_TRUE(app_.WaitExit(20000)) << "the window did not close";
      EXPECT_EQ(ProcessesNamed(kTool), 0) << "the query's tool still runs";
      EXPECT_TRUE(Ready(typing, 10000));
      return;
    }
    if (row.startInQuery) {
      // Start is pressed while the query's tool runs: the confirmation comes once the query is over.
      std::future<bool> typing = TypeAside();
      EXPECT_TRUE(App::WaitFor([&] { return ProcessesNamed(kTool) > 0; }, 10000)) << "no query runs";
      Installation(Seen(PressStart(app_, row.boot, row.target, row.restart)));
      EXPECT_TRUE(Ready(typing, 10000));
      return;
    }
    ASSERT_NO_FATAL_FAILURE(TypeImage());
    ExpectLists(row.lists);
    if (row.flow == Flow::Query) {
      ExpectIdle(app_);
      if (!row.sessionEnd) return;
      std::future<int> query = QueryEndSession(app_.main());
      EXPECT_EQ(Ready(query, 5000) ? query.get() : -1, 1) << "an idle window refused the session end";
      return;
    }
    ASSERT_NO_FATAL_FAILURE(Tamper(false));
    Installation();
  }

  // Presses Start (unless its box came already) and goes through the row's flow to the idle window.
  void Installation(Box box = Box()) {
    if (!box) box = Seen(PressStart(app_, row.boot, row.target, row.restart));
    ASSERT_TRUE(box) << "no box after Start";
    const bool confirmation = box.caption == L"操作提示：";
    if (row.flow == Flow::Start) {
      // A confirmation to wipe the target means the refusal came too late: cancelled here.
      EXPECT_FALSE(confirmation) << "accepted, the confirmation came: " << ToUtf8(box.text);
      if (!confirmation) ExpectEndBox(box);
      return Dismiss(box, confirmation ? IDCANCEL : IDOK);
    }
    ASSERT_TRUE(confirmation) << ToUtf8(box.text);
    Tell("asked", box.hwnd, box.text);
    EXPECT_EQ(box.text, L"警告：本操作将会删除[" + row.target + L"]盘上的所有数据，且不可恢复。\r\r"
                        L"若想继续，请单击“确定”。若想退出，请单击“取消”。");
    if (row.flow == Flow::Cancel) {
      Dismiss(box, IDCANCEL);
      return ExpectLists(row.lists);
    }
    app_.Answer(box, IDOK);
    app_.WaitGone(box);
    run_ = Course();
    bool closed = false;
    // Every look at the window until the run's last box comes: the bar, the status, a close request.
    App::WaitFor(
        [&] {
          run_.last = app_.WaitBox(0, box.hwnd);
          // The completion resets the bar before its box: a fast run's positions are seen only here.
          const int bar = app_.BarPosition();
          if (bar != run_.bars.back()) {
            run_.bars.push_back(bar);
            if (run_.bars.size() == 2 && !run_.last) {
              for (Ctl c : kRunInputs) run_.inputsLocked &= !app_.Enabled(c);
            }
          }
          if (run_.last) return true;
          const std::wstring status = app_.Text(Ctl::Status);
          if (run_.statuses.empty() || status != run_.statuses.back()) run_.statuses.push_back(status);
          Tell("status", app_.main(), status);
          if (closed) return false;
          closed = (row.close == CloseAt::Format && status == L"正在格式化磁盘 [" + row.target + L"]") ||
                   (row.close == CloseAt::Apply && FileExists(temp_ + L"apply.bat"));
          if (closed) CloseRefused();
          if (closed && row.close == CloseAt::Apply) {
            EXPECT_TRUE(FileExists(temp_ + L"apply.bat")) << "the apply should still be running";
          }
          return false;
        },
        90000);
    EXPECT_EQ(closed, row.close == CloseAt::Format || row.close == CloseAt::Apply) << "no close request made";
    box = Seen(run_.last);
    ASSERT_TRUE(box) << "the run did not end";
    Tell("told", box.hwnd, box.text);
    // The image's files are on the target when a completed run says so.
    const std::wstring source = EnvOr(L"MORVANE_SOURCE_DIR");
    const bool installed = row.succeeds() && !row.replay && !source.empty();
    for (const wchar_t* file : {L"\\Windows\\System32\\ntoskrnl.exe", L"\\Windows\\System32\\big.bin",
                                L"\\Users\\Public\\说明.txt"}) {
      if (installed) { EXPECT_EQ(ReadAll(source + file), ReadAll(row.target + file)) << ToUtf8(file); }
    }
    if (row.replay) {
      // The replayed apply's three stages between the format and the boot files; the bar follows
      // it while every input stays disabled, and ends at 0.
      EXPECT_EQ(run_.statuses, (Texts{L"正在格式化磁盘 [T:]", L"正在创建文件", L"正在提取文件", L"正在应用文件",
                                     L"正在更新Boot", L"正在更新MBR", L"状态"}));
      const auto between = [](int bar) { return bar > 0 && bar < 100; };
      EXPECT_GT(std::count_if(run_.bars.begin(), run_.bars.end(), between), 3);
      EXPECT_EQ(run_.bars.back(), 0);
      EXPECT_TRUE(run_.inputsLocked);
    }
    ExpectEndBox(box);
    // The guard holds while the last box is open; Start gets back the focus it had when pressed.
    if (!row.formatFails) { EXPECT_EQ(app_.Text(Ctl::Command4), L"正在安装"); }
    if (row.close == CloseAt::EndBox) CloseRefused(box.hwnd);
    app_.Answer(box, row.answer);
    EXPECT_TRUE(app_.WaitGone(box));
    ExpectIdle(app_);
    const auto startFocused = [&] { return app_.Focused() == app_.Control(Ctl::Command4); };
    if (!row.formatFails) { EXPECT_TRUE(app_.WaitFor(startFocused, 5000)); }
    ExpectLists(row.lists);
    Tell("idle", app_.main(), app_.Text(Ctl::Status));
  }

  // What every row ends with: what was tampered with put back, a close when idle, the stand-ins'
  // calls, the temporary files.
  void Finish() {
    const std::wstring temp = windir_ + L"\\Temp";
    if (row.tamper == Tamper::HideTemp) ::SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_DIRECTORY);
    for (const std::wstring& path : moved_) {
      ::DeleteFileW(path.c_str());  // the file that took the Temp folder's place
      ::MoveFileExW((path + L".away").c_str(), path.c_str(), 0);
    }
    if (app_.Running()) {
      EXPECT_TRUE(WindowsOf(app_.pid()).empty()) << "a box is still open";
      app_.RequestClose();
      EXPECT_TRUE(app_.WaitExit(5000)) << "the idle window did not close at once";
    }
    ExpectAfterRun();
    if (row.noQuery()) { EXPECT_EQ(ReadAll(temp_ + L"WIMInfo.xml"), kEarlierQuery) << "a query ran"; }
  }

  // No temporary file is left; the stand-ins were called as the row allows.
  void ExpectAfterRun() {
    for (const wchar_t* name : kRunFiles) EXPECT_FALSE(FileExists(temp_ + name)) << "left: " << ToUtf8(name);
    // A whole run: the format, bcdboot twice for each Windows folder, the installed system's last
    // (bcdboot makes it the default entry; also on a removable target, which the scan does not
    // list), bootsect. An image of major version 5 gets no boot files, and the older boot code.
    std::vector<std::string> want;
    if (row.calls != Calls::None) want = {FormatCall(row.target)};
    const bool whole = row.calls >= Calls::Whole, version5 = row.lists == Lists::Version5;
    // T:\Windows that an earlier row installed is another system when the target is not T:.
    const std::string b = ToUtf8(row.boot), installed = ToUtf8(row.target) + "\\Windows";
    for (const std::string& windows : {std::string(earlierT_ ? "T:\\Windows" : ""), std::string("C:\\Windows"), installed}) {
      if (!whole || version5 || windows.empty()) continue;
      want.push_back("bcdboot.exe " + windows + " /s " + b + " /l zh-cn");
      want.push_back("bcdboot.exe " + windows + " /s " + b + " /f uefi /l zh-cn");
    }
    if (whole) want.push_back("bootsect.exe " + std::string(version5 ? "/nt52 " : "/nt60 ") + b + " /mbr");
    if (row.calls == Calls::WholeAndRestart) {
      // The restart is started, not waited for: its line may come a moment after the box.
      want.push_back("shutdown.exe -r -f -t 5");
      if (row.answer == IDCANCEL) want.push_back("shutdown.exe -a");
      App::WaitFor([&] { return ReadLines(log_).size() >= want.size(); }, 10000);
    }
    const std::vector<std::string> calls = ReadLines(log_);
    EXPECT_EQ(calls, want);
    EXPECT_EQ(ProcessesNamed(L"format.com"), 0) << "a format still waits";
    for (const std::string& call : calls) {
      if (call.rfind("format.com", 0) == 0) { EXPECT_EQ(call, FormatCall(row.target)) << "formatted wrongly"; }
      if (row.end != End::Restart) { EXPECT_NE(call.rfind("shutdown.exe", 0), 0u) << call; }
    }
  }

  // Told each step of an installation (the confirmation asked, each look at the status, the last
  // box, the idle window): for the runs that narrate it.
  virtual void Tell(const char* /*step*/, HWND /*window*/, const std::wstring& /*text*/) {}

  const Row& row = GetParam();
  App app_;
  Course run_;
  const std::wstring log_ = EnvOr(L"MORVANE_STANDIN_LOG"), exe_ = EnvOr(row.exeVar);
  const std::wstring windir_ = EnvOr(row.windirVar), temp_ = windir_ + L"\\temp\\";
  std::wstring image_;
  std::vector<std::wstring> moved_;
  bool earlierT_ = false;
};

}  // namespace morvane::wine
