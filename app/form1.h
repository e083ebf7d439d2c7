// The main window's state and event handlers, free of the platform: everything it does to the
// window or the system goes through the two ports, so whole flows run against fakes in tests.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shell/run_context.h"

namespace morvane {

class Form1 : private RunHold {
 public:
  Form1(WindowPort& ui, SystemPort& sys) : ui_(ui), sys_(sys) {}

  void OnLoad();
  void OnResize();
  // True when the window may close now. A close asked for during an image query ends the query's
  // processes; the window closes once the query handler is done.
  bool OnQueryClose();
  // The session is about to end (log off, shut down, restart): true when it may.
  bool OnQueryEndSession();
  void OnText1Change();
  void OnDrop(bool hasFileList, const std::vector<std::wstring>& files);
  void OnComboClick();
  void OnCommand1();
  void OnCommand2();
  void OnCommand3();
  void OnCommand4();
  void OnTimer();
  // The apply batch has ended: its output is final, so the watch can run to its end at once.
  void OnWatchedEnded();
  void OnStatusClick();

  const RunState& state() const { return state_; }

  // The keyboard focus is remembered when the window is deactivated, before a message box and when
  // a run begins, and given back when the window is activated, after the box and when the run ends.
  void RememberFocus();
  void GiveFocusBack();

  // Whether an installation is running (from the confirmed Start until the run is over: inputs
  // locked, closing refused). The one answer to that question, for every handler and test.
  bool running() const;

 private:
  void HoldForRun(bool running) override;
  RunContext Context() { return RunContext{ui_, sys_, state_, *this}; }
  void RunQueries();
  void ChooseDrive(Ctl field);
  void CloseIfAsked();
  bool GuardRefuses();

  WindowPort& ui_;
  SystemPort& sys_;
  RunState state_;
  bool queryRunning_ = false;
  bool queryPending_ = false;
  bool closeAsked_ = false;
  bool startAsked_ = false;  // Start was pressed during a query
  std::optional<Ctl> focus_;
};

// Where the focus goes back to: the remembered control while it can take the focus, else the first
// control in tab order that can; none (the window itself) during a run, which locks every one.
std::optional<Ctl> FocusTarget(std::optional<Ctl> remembered, bool running, const WindowPort& ui);

}  // namespace morvane
