#include "install/tool_check.h"

namespace morvane {
namespace {

constexpr uint16_t kX86 = 0x014C, kX64 = 0x8664, kArm64 = 0xAA64;

uint32_t Little(const std::string& bytes, size_t at, size_t size) {
  uint32_t value = 0;
  for (size_t i = size; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::wstring MachineName(uint16_t machine) {
  switch (machine) {
    case kX86: return L"x86";
    case kX64: return L"x64";
    case kArm64: return L"ARM64";
    case 0x01C4: return L"ARM";
    case 0x0200: return L"IA64";
    default: break;
  }
  const wchar_t* digits = L"0123456789ABCDEF";
  std::wstring hex = L"0x";
  for (int shift = 12; shift >= 0; shift -= 4) hex += digits[(machine >> shift) & 0xF];
  return hex;
}

}  // namespace

std::optional<uint16_t> PeMachine(const std::string& file) {
  if (file.size() < 64 || file.compare(0, 2, "MZ") != 0) return std::nullopt;
  const size_t header = Little(file, 0x3C, 4);
  if (header > file.size() || file.size() - header < 6 || file.compare(header, 4, std::string("PE\0\0", 4)) != 0) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(Little(file, header + 4, 2));
}

bool CanRun(uint16_t machine, const Machines& system) {
  return system.native == 0 || machine == system.native || (machine == kX86 && system.x86) ||
         (machine == kX64 && system.native == kArm64);
}

std::optional<std::wstring> ToolProblem(SystemPort& sys, const std::wstring& path, const std::wstring& kind) {
  if (!sys.FileExists(path)) return L"找不到" + kind + L"“" + path + L"”，无法安装。";
  const auto file = sys.ReadFile(path, false);
  if (!file) return std::nullopt;
  const auto machine = PeMachine(*file);
  if (!machine) return kind + L"“" + path + L"”不是可以运行的程序，无法安装。";
  const Machines system = sys.SystemMachines();
  if (CanRun(*machine, system)) return std::nullopt;
  std::wstring runnable = MachineName(system.native);
  if (system.x86 && system.native != kX86) runnable += L"、x86";
  return kind + L"“" + path + L"”是 " + MachineName(*machine) + L" 程序，这个系统只能运行 " + runnable +
         L" 程序，无法安装。";
}

}  // namespace morvane
