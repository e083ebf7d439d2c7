#include "drives/find_windows.h"

namespace morvane {

std::vector<std::wstring> SplitDriveRoots(const std::wstring& roots) {
  std::vector<std::wstring> drives;
  size_t pos = 0;
  while (pos < roots.size()) {
    const size_t nul = roots.find(L'\0', pos);
    if (nul == std::wstring::npos) break;  // an unterminated tail is no root
    const std::wstring root = roots.substr(pos, nul - pos);
    pos = nul + 1;
    if (root.empty()) break;  // the list's closing NUL
    if (root.size() >= 2) drives.push_back(root.substr(0, root.size() - 1));  // "C:\" -> "C:"
  }
  return drives;
}

void FindWindowsDirs(WindowPort& ui, const SystemPort& sys) {
  ui.ListClear(Ctl::RDriver);
  std::vector<std::wstring> fixed;
  for (const std::wstring& drive : SplitDriveRoots(sys.DriveRoots())) {
    if (sys.TypeOfDrive(drive) == DriveType::Fixed) fixed.push_back(drive);
  }
  if (fixed.empty()) {
    ui.Message(L"未发现任何磁盘或光驱", L"Error!", MsgIcon::Information, MsgButtons::Ok);
    return;
  }
  for (const std::wstring& drive : fixed) {
    if (drive == L"X:") continue;
    const std::wstring windows = drive + L"\\Windows";
    if (sys.Lookup(windows) != Entry::None) ui.ListAdd(Ctl::RDriver, windows);
  }
}

}  // namespace morvane
