// The storage bus of a drive, as the device descriptor of the volume reports it.
#pragma once

#include <cstdint>
#include <string>

namespace morvane {

// The platform's CTL_CODE rule.
constexpr uint32_t CtlCode(uint32_t deviceType, uint32_t function, uint32_t method, uint32_t access) {
  return (deviceType << 16) | (access << 14) | (function << 2) | method;
}
constexpr uint32_t kQueryPropertyIoctl = CtlCode(0x2D, 0x500, 0, 0);  // IOCTL_STORAGE_QUERY_PROPERTY
constexpr uint32_t kBusTypeUsb = 7;

// The bus type as the device descriptor reports it (bytes 28 to 31): "Usb" or the empty string.
std::wstring BusTypeText(const unsigned char (&descriptor)[40]);

}  // namespace morvane
