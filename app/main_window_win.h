// The main window on Win32: real controls behind the window port, and the messages routed to the
// handlers of Form1.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/drop_target_win.h"
#include "app/form1.h"
#include "shell/ports.h"
#include "progress/progress_bar_win.h"
#include "progress/taskbar_win.h"
#include "shell/handles_win.h"
#include "shell/system_win.h"

namespace morvane {

class MainWindow : public WindowPort {
 public:
  static constexpr const wchar_t* kClassName = L"MorvaneSetupForm1";

  explicit MainWindow(WinSystem& sys);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  static bool Register(HINSTANCE instance);
  // Creates the window and its controls, runs the load steps and shows it.
  bool Create(HINSTANCE instance, int showCommand);

  HWND hwnd() const { return hwnd_; }
  HWND control(Ctl c) const { return controls_[static_cast<size_t>(c)]; }
  Form1& form() { return form_; }
  IDropTarget* drop_target() const { return dropTarget_.get(); }

  // WindowPort
  std::wstring Text(Ctl c) const override;
  void SetText(Ctl c, const std::wstring& text) override;
  void Enable(Ctl c, bool enabled) override;
  bool IsEnabled(Ctl c) const override;
  bool IsChecked(Ctl c) const override;
  void ListClear(Ctl c) override;
  void ListAdd(Ctl c, const std::wstring& item) override;
  int ListCount(Ctl c) const override;
  std::wstring ListItem(Ctl c, int index) const override;
  int ListIndex(Ctl c) const override;
  void SetListIndex(Ctl c, int index) override;
  void SetTooltip(Ctl c, const std::wstring& text) override;
  void SetTimerEnabled(bool enabled) override;
  bool TimerEnabled() const override { return timerEnabled_; }
  void SetTimerInterval(int ms) override;
  int TimerInterval() const override { return timerInterval_; }
  void SetBarValue(int32_t value) override { bar_.SetValue(value); }
  int32_t BarValue() const override { return bar_.Value(); }
  bool CreateTaskbarList() override { return taskbar_.Create(); }
  void SetTaskbarState(TaskbarState state) override;
  void SetTaskbarValue(uint64_t completed, uint64_t total) override;
  void SetIcon(int sizePx) override;
  MsgAnswer Message(const std::wstring& text, const std::wstring& caption, MsgIcon icon,
                    MsgButtons buttons) override;
  std::optional<Ctl> Focus() const override;
  void SetFocus(std::optional<Ctl> c) override;
  void BlockSessionEnd(const std::wstring& reason) override;
  std::wstring PickImageFile() override;
  std::wstring PickFolder(const std::wstring& prompt) override;
  WindowState State() const override;
  void SetStateNormal() override;
  void SetSize(int32_t widthTwips, int32_t heightTwips) override;
  int32_t WindowHeight() const override;
  int32_t ClientHeight() const override;
  void Close() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK Text1Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data);
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void OnCommand(int id, int code);
  void QueueDrop(bool hasFileList, const std::vector<std::wstring>& files);
  int Px(int32_t twips, bool vertical) const;

  WinSystem& sys_;
  Form1 form_;
  HWND hwnd_ = nullptr;
  std::array<HWND, static_cast<size_t>(Ctl::Count)> controls_{};
  ProgressBar bar_;
  TaskbarProgress taskbar_;
  UniqueFont yahei_, verdana_;
  UniqueIcon largeIcon_;
  bool sessionBlocked_ = false;
  HWND tooltip_ = nullptr;
  UniqueCom<FileDropTarget> dropTarget_;
  struct Drop {
    bool hasFileList;
    std::vector<std::wstring> files;
  };
  std::optional<Drop> queuedDrop_;  // taken by the message QueueDrop posts
  int dpiX_ = 96, dpiY_ = 96;
  bool loaded_ = false;
  bool timerEnabled_ = false;
  int timerInterval_ = 100;
};

}  // namespace morvane
