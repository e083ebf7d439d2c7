#include "shell/bus_type_win.h"

#include <cstring>

#include "shell/bus_type.h"
#include "shell/handles_win.h"

namespace morvane {

bool QueryStorageDevice(HANDLE device, unsigned char (&descriptor)[40]) {
  unsigned char query[12] = {};  // StorageDeviceProperty, PropertyStandardQuery
  std::memset(descriptor, 0, sizeof descriptor);
  const DWORD size = sizeof descriptor;
  std::memcpy(descriptor + 4, &size, sizeof size);
  DWORD returned = 0;
  return ::DeviceIoControl(device, kQueryPropertyIoctl, query, sizeof query, descriptor, sizeof descriptor,
                           &returned, nullptr) != FALSE;
}

std::wstring GetBusType(const std::wstring& drive) {
  const std::wstring volume = L"\\\\.\\" + drive;
  UniqueFile device(::CreateFileW(volume.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  if (!device) return std::wstring();
  unsigned char descriptor[40];
  QueryStorageDevice(device.get(), descriptor);
  return BusTypeText(descriptor);
}

}  // namespace morvane
