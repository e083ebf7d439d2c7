#include "install/drive_check.h"

#include "shell/drive_names.h"

namespace morvane {
std::optional<std::wstring> CheckDriveFields(const std::wstring& target, const std::wstring& boot,
                                             const DriveFacts& facts) {
  if (!IsDriveName(target)) {
    return L"“安装到...”一栏必须是一个盘符加冒号，例如“D:”。\r\n请重新选择要安装系统的磁盘。";
  }
  if (!IsDriveName(boot)) {
    return L"“主引导：”一栏必须是一个盘符加冒号，例如“C:”。\r\n请重新选择写入引导文件的磁盘。";
  }
  const std::wstring named = L"[" + target + L"]";
  if (!facts.targetExists) return L"磁盘" + named + L"不存在，请重新选择要安装系统的磁盘。";
  if (!facts.bootExists) return L"磁盘[" + boot + L"]不存在，请重新选择写入引导文件的磁盘。";
  if (SameDrive(target, facts.windowsDrive)) {
    return L"不能安装到" + named + L"盘：当前正在运行的 Windows 就在这个盘上。";
  }
  if (auto image = TargetHolds(target, facts.targetVolume, facts.imagePlaces, L"所选的映像文件")) return image;
  return TargetHolds(target, facts.targetVolume, facts.programPlaces, L"本程序");
}

}  // namespace morvane
