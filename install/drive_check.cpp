#include "install/drive_check.h"

#include "catalogue/selection.h"

namespace morvane {
namespace {

bool SameDrive(const std::wstring& a, const std::wstring& b) {
  if (!IsDriveName(a) || !IsDriveName(b)) return false;
  return (a[0] | 0x20) == (b[0] | 0x20);
}

}  // namespace

std::wstring DriveOfPath(const std::wstring& path) {
  std::wstring rest = path;
  if (rest.rfind(L"\\\\?\\", 0) == 0 || rest.rfind(L"\\\\.\\", 0) == 0) rest.erase(0, 4);
  if (rest.size() < 2 || (rest.size() > 2 && rest[2] != L'\\' && rest[2] != L'/')) return std::wstring();
  const std::wstring drive = rest.substr(0, 2);
  return IsDriveName(drive) ? drive : std::wstring();
}

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
  if (SameDrive(target, L"X:")) {
    return L"不能安装到" + named + L"盘：它是预安装环境的系统盘。";
  }
  if (SameDrive(target, facts.windowsDrive)) {
    return L"不能安装到" + named + L"盘：当前正在运行的 Windows 就在这个盘上。";
  }
  if (SameDrive(target, facts.imageDrive)) {
    return L"不能安装到" + named + L"盘：所选的映像文件就在这个盘上，格式化会把它删除。";
  }
  if (SameDrive(target, facts.programDrive)) {
    return L"不能安装到" + named + L"盘：本程序就在这个盘上，格式化会把它删除。";
  }
  return std::nullopt;
}

}  // namespace morvane
