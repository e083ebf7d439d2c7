#pragma once

#include <windows.h>

#include <string>

namespace morvane {

// "Usb" when the drive's storage device sits on the USB bus; the empty string otherwise, and when
// the volume cannot be opened (as without administrator rights) or asked.
std::wstring GetBusType(const std::wstring& drive);

// IOCTL_STORAGE_QUERY_PROPERTY for the device descriptor, into a zero-filled 40-byte buffer whose
// Size field is set; true when the call succeeded.
bool QueryStorageDevice(HANDLE device, unsigned char (&descriptor)[40]);

}  // namespace morvane
