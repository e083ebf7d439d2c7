// The Windows installations on the fixed drives, for the boot repair.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/ports.h"

namespace morvane {

// The drive names ("C:") in a drive-root list ("C:\<NUL>D:\<NUL><NUL>"), in list order.
std::vector<std::wstring> SplitDriveRoots(const std::wstring& roots);

// Empties RDriver and refills it with one "<drive>\Windows" per fixed drive that holds a visible
// "Windows" entry, the preinstallation drive X: excluded. Tells the user when no fixed drive exists.
void FindWindowsDirs(WindowPort& ui, const SystemPort& sys);

// The platform's CTL_CODE rule.
constexpr uint32_t CtlCode(uint32_t deviceType, uint32_t function, uint32_t method, uint32_t access) {
  return (deviceType << 16) | (access << 14) | (function << 2) | method;
}
constexpr uint32_t kQueryPropertyIoctl = CtlCode(0x2D, 0x500, 0, 0);  // IOCTL_STORAGE_QUERY_PROPERTY
constexpr uint32_t kBusTypeUsb = 7;

// The bus type as the device descriptor reports it (bytes 28 to 31): "Usb" or the empty string.
std::wstring BusTypeText(const unsigned char (&descriptor)[40]);

}  // namespace morvane
