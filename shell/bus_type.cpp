#include "shell/bus_type.h"

namespace morvane {

std::wstring BusTypeText(const unsigned char (&descriptor)[40]) {
  const uint32_t bus = static_cast<uint32_t>(descriptor[28]) | (static_cast<uint32_t>(descriptor[29]) << 8) |
                       (static_cast<uint32_t>(descriptor[30]) << 16) | (static_cast<uint32_t>(descriptor[31]) << 24);
  return bus == kBusTypeUsb ? L"Usb" : L"";
}

}  // namespace morvane
