// Whole installations through the real window: the format stand-in, the image tool (real, or the
// wrapper replaying a recorded Windows transcript, or dying), the boot tool stand-ins.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include <windows.h>
#include <commctrl.h>

#include "app_driver.h"

namespace morvane::wine {
namespace {

std::vector<std::string> Lines(const std::wstring& logPath) { return ReadLines(logPath); }

class Install : public ::testing::Test {
 protected:
  void SetUp() override {
    exe = EnvOr(L"MORVANE_EXE");
    log = EnvOr(L"MORVANE_STANDIN_LOG");
    image = EnvOr(L"MORVANE_SMALL_IMAGE");
    target = EnvOr(L"MORVANE_TARGET", L"T:");
    boot = EnvOr(L"MORVANE_BOOT", L"B:");
    if (exe.empty() || log.empty() || image.empty()) GTEST_SKIP() << "the rig's environment is not set";
    ::DeleteFileW(log.c_str());
    windir = EnvOr(L"windir");
  }

  // Starts the program, fills the fields and confirms the start.
  void Start(const std::map<std::wstring, std::wstring>& env, bool autoRestart) {
    ASSERT_TRUE(app.Launch(exe, env));
    ASSERT_TRUE(app.SetText(Ctl::Text1, image));
    ASSERT_FALSE(app.Items(Ctl::Combo0).empty());
    ASSERT_TRUE(app.SetText(Ctl::Text2, boot));
    ASSERT_TRUE(app.SetText(Ctl::Text3, target));
    if (!autoRestart) {
      app.Click(Ctl::Check2);
      ASSERT_TRUE(app.WaitFor([&] { return !app.Checked(Ctl::Check2); }, 5000));
    }
    app.Click(Ctl::Command4);
    const Box confirm = app.WaitBox();
    ASSERT_TRUE(confirm);
    EXPECT_EQ(confirm.caption, L"操作提示：");
    EXPECT_EQ(confirm.text, L"警告：本操作将会删除[" + target + L"]盘上的所有数据，且不可恢复。\r\r"
                                L"若想继续，请单击“确定”。若想退出，请单击“取消”。");
    app.Answer(confirm, IDOK);
    ASSERT_TRUE(app.WaitGone(confirm));
  }

  void ExpectIdle() {
    EXPECT_TRUE(app.WaitText(Ctl::Command4, L"开始安装", 10000));
    EXPECT_EQ(app.Text(Ctl::Status), L"状态");
    for (Ctl c : kRunInputs) EXPECT_TRUE(app.Enabled(c)) << static_cast<int>(c);
    // Start had the focus when it was pressed: it has it again, though it was disabled in between.
    EXPECT_TRUE(app.WaitFor([&] { return app.Focused() == app.Control(Ctl::Command4); }, 5000)) << app.Focused();
    EXPECT_FALSE(FileExists(windir + L"\\temp\\apply.bat"));
    EXPECT_FALSE(FileExists(windir + L"\\temp\\apply.xml"));
  }

  void Shot(const wchar_t* name) {
    const std::wstring shots = EnvOr(L"MORVANE_SHOTS");
    if (!shots.empty()) SaveWindowBitmap(app.main(), shots + L"\\" + name + L".bmp");
  }

  std::wstring exe, log, image, target, boot, windir;
  App app;
};

TEST_F(Install, ThreeStagesAreFollowedStageByStageAndTheCloseIsRefused) {
  const std::wstring transcript = EnvOr(L"MORVANE_TRANSCRIPT");
  if (transcript.empty()) GTEST_SKIP() << "MORVANE_TRANSCRIPT is not set";
  Start({{L"MORVANE_TOOL_MODE", L"transcript"},
         {L"MORVANE_TOOL_TRANSCRIPT", transcript},
         {L"MORVANE_TOOL_TRANSCRIPT_MS", L"120"}},
        false);

  std::vector<std::wstring> statuses;
  std::vector<int> bars;
  auto readBar = [&] {
    DWORD_PTR pos = 0;
    ::SendMessageTimeoutW(::GetDlgItem(app.Control(Ctl::ProgressBar1), 1), PBM_GETPOS, 0, 0, SMTO_NORMAL, 2000,
                          &pos);
    if (bars.empty() || bars.back() != static_cast<int>(pos)) bars.push_back(static_cast<int>(pos));
  };
  bool closeTried = false, shot = false;
  Box done;
  const ULONGLONG end = ::GetTickCount64() + 60000;
  while (::GetTickCount64() < end) {
    if ((done = app.WaitBox(1))) {
      readBar();  // the completion has reset the bar before its box: a fast one is seen only here
      break;
    }
    const std::wstring status = app.Text(Ctl::Status);
    if (statuses.empty() || statuses.back() != status) statuses.push_back(status);
    readBar();
    if (status == L"正在提取文件" && !closeTried) {
      EXPECT_EQ(app.Text(Ctl::Command4), L"正在安装");
      for (Ctl c : kRunInputs) EXPECT_FALSE(app.Enabled(c)) << static_cast<int>(c);
      if (!shot) Shot(L"install-extracting"), shot = true;
      closeTried = true;
      app.RequestClose();
      const Box refused = app.WaitBox();
      ASSERT_TRUE(refused);
      EXPECT_EQ(refused.text, L"正在安装系统，无法关闭！");
      app.Answer(refused, IDOK);
      app.WaitGone(refused);
    }
    ::Sleep(15);
  }
  ASSERT_TRUE(done) << "no completion box";
  EXPECT_EQ(done.caption, L"提示：");
  EXPECT_EQ(done.text, L"这个阶段的安装完成，重新启动后，Sysprep部署阶段将开始！");
  Shot(L"install-done");
  app.Answer(done, IDOK);
  ExpectIdle();

  auto seen = [&](const wchar_t* s) { return std::find(statuses.begin(), statuses.end(), s) != statuses.end(); };
  EXPECT_TRUE(seen(L"正在创建文件"));
  EXPECT_TRUE(seen(L"正在提取文件"));
  EXPECT_TRUE(seen(L"正在应用文件"));
  const auto creating = std::find(statuses.begin(), statuses.end(), L"正在创建文件");
  const auto extracting = std::find(statuses.begin(), statuses.end(), L"正在提取文件");
  const auto metadata = std::find(statuses.begin(), statuses.end(), L"正在应用文件");
  EXPECT_LT(creating, extracting);
  EXPECT_LT(extracting, metadata);
  EXPECT_GT(std::count_if(bars.begin(), bars.end(), [](int b) { return b > 0 && b < 100; }), 3);
  EXPECT_EQ(bars.back(), 0);

  const std::vector<std::string> calls = Lines(log);
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front(), "format.com " + Utf8(target) + " /FS:NTFS /v:Win /q /x /y");
  EXPECT_EQ(calls.back(), "bootsect.exe /nt60 " + Utf8(boot) + " /mbr");
  EXPECT_TRUE(std::none_of(calls.begin(), calls.end(), [](const std::string& c) { return c.rfind("shutdown", 0) == 0; }));
}

TEST_F(Install, AFailedFormatStopsBeforeTheApply) {
  Start({{L"MORVANE_STANDIN_FAIL", L"format.com"}}, true);
  const Box box = app.WaitBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box.caption, L"错误");
  EXPECT_NE(box.text.find(L"格式化磁盘[" + target + L"]失败"), std::wstring::npos) << Utf8(box.text);
  app.Answer(box, IDOK);
  ExpectIdle();
  EXPECT_EQ(Lines(log), std::vector<std::string>{"format.com " + Utf8(target) + " /FS:NTFS /v:Win /q /x /y"});
}

TEST_F(Install, AToolThatDiesEndsIdleWithItsError) {
  Start({{L"MORVANE_TOOL_MODE", L"die"}}, true);
  const Box box = app.WaitBox(60000);
  ASSERT_TRUE(box);
  EXPECT_EQ(box.caption, L"错误");
  EXPECT_NE(box.text.find(L"映像应用失败"), std::wstring::npos) << Utf8(box.text);
  app.Answer(box, IDOK);
  ExpectIdle();
  EXPECT_FALSE(FileExists(windir + L"\\temp\\apply.err"));
  for (const std::string& call : Lines(log)) EXPECT_EQ(call.rfind("format.com", 0), 0u) << call;
}

// The real tool applies the real image; every call is checked, and the files byte for byte.
class EndToEnd : public Install, public ::testing::WithParamInterface<int> {};

void ExpectSameTree(const std::wstring& want, const std::wstring& got, int* files) {
  WIN32_FIND_DATAW data;
  UniqueFind find(::FindFirstFileW((want + L"\\*").c_str(), &data));
  ASSERT_TRUE(find.valid()) << Utf8(want);
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ExpectSameTree(want + L"\\" + name, got + L"\\" + name, files);
    } else {
      ++*files;
      EXPECT_EQ(ReadAll(want + L"\\" + name), ReadAll(got + L"\\" + name)) << Utf8(got + L"\\" + name);
    }
  } while (::FindNextFileW(find.get(), &data));
}

// Parameter: 0 restart answered OK, 1 answered Cancel, 2 an image of major version 5 (answered OK).
TEST_P(EndToEnd, TheImageIsAppliedTheBootRebuiltAndTheRestartAsked) {
  const bool cancel = GetParam() == 1, version5 = GetParam() == 2;
  const std::wstring source = EnvOr(L"MORVANE_SOURCE_DIR");
  if (source.empty()) GTEST_SKIP() << "MORVANE_SOURCE_DIR is not set";
  if (version5 && (image = EnvOr(L"MORVANE_V5_IMAGE")).empty()) GTEST_SKIP() << "MORVANE_V5_IMAGE is not set";
  Start({}, true);
  const Box box = app.WaitBox(120000);
  ASSERT_TRUE(box) << "no completion box";
  EXPECT_EQ(box.caption, L"提示：");
  EXPECT_EQ(box.text, L"这个阶段的安装完成，重新启动后，Sysprep部署阶段将开始！\n"
                      L"您的电脑将在5秒后重新启动！若想取消自动重启任务，请单击“取消”。");
  EXPECT_EQ(app.Text(Ctl::Command4), L"正在安装");  // the guard holds while the box is open
  if (!cancel) Shot(L"end-to-end-restart-box");
  app.Answer(box, cancel ? IDCANCEL : IDOK);
  ExpectIdle();
  if (!cancel) Shot(L"end-to-end-idle");

  int files = 0;
  ExpectSameTree(source, target, &files);
  EXPECT_GT(files, 3);

  const std::string t = Utf8(target), b = Utf8(boot);
  std::vector<std::string> want = {"format.com " + t + " /FS:NTFS /v:Win /q /x /y"};
  // The Windows folders of the fixed drives, last drive first: the target, then the prefix's C:.
  // An image of version 5 gets no boot files, and the older boot code.
  for (const std::string& windows : {t + "\\Windows", std::string("C:\\Windows")}) {
    if (version5) break;
    want.push_back("bcdboot.exe " + windows + " /s " + b + " /l zh-cn");
    want.push_back("bcdboot.exe " + windows + " /s " + b + " /f uefi /l zh-cn");
  }
  want.push_back("bootsect.exe " + std::string(version5 ? "/nt52 " : "/nt60 ") + b + " /mbr");
  want.push_back("shutdown.exe -r -f -t 5");
  if (cancel) want.push_back("shutdown.exe -a");
  std::vector<std::string> calls = Lines(log);
  // The restart is started without waiting: give its log line a moment.
  app.WaitFor([&] { return (calls = Lines(log)).size() >= want.size(); }, 5000);
  EXPECT_EQ(calls, want);
}

INSTANTIATE_TEST_SUITE_P(Restart, EndToEnd, ::testing::Values(0, 1, 2), [](const ::testing::TestParamInfo<int>& info) {
  return info.param == 0 ? "Ok" : info.param == 1 ? "Cancel" : "Version5";
});

}  // namespace
}  // namespace morvane::wine
