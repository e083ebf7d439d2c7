// The controls of the main window. Each has a fixed child-window identifier, so a test driver in
// another process can find them with GetDlgItem.
#pragma once

namespace morvane {

enum class Ctl : int {
  Frame0, Frame1, Frame2, Frame3,
  Label0, Label1, Label2, Label3, Label4,
  Text1, Text2, Text3,
  Command1, Command2, Command3, Command4,
  Combo0, Combo1, Combo2,
  Check1, Check2,
  Status, ProgressBar1, RDriver,
  Count
};

// The program's name, the caption of its message boxes that have none of their own.
constexpr const wchar_t* kAppTitle = L"Morvane系统安装工具";

constexpr int kFirstControlId = 1000;
constexpr int ControlId(Ctl c) { return kFirstControlId + static_cast<int>(c); }

// The inputs that an installation locks, in the order they are disabled and enabled again.
constexpr Ctl kRunInputs[] = {Ctl::Command1, Ctl::Command2, Ctl::Command3, Ctl::Command4, Ctl::Text1,
                              Ctl::Text2,    Ctl::Text3,    Ctl::Combo0,   Ctl::Check1,   Ctl::Check2};

}  // namespace morvane
