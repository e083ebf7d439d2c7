// The system functions that only newer Windows versions have: looked up by name while the program
// runs, so that it still starts on the systems before them and does without them there. Each is
// null where the system lacks it.
#pragma once

#include <windows.h>

namespace morvane {

struct LateCalls {
  // user32, Windows Vista: the reason shown for a refused session end.
  BOOL(WINAPI* shutdownBlockReasonCreate)(HWND, LPCWSTR) = nullptr;
  BOOL(WINAPI* shutdownBlockReasonDestroy)(HWND) = nullptr;
  // kernel32, Windows Vista: the handle list that limits what a started program inherits.
  BOOL(WINAPI* initializeProcThreadAttributeList)(void*, DWORD, DWORD, SIZE_T*) = nullptr;
  BOOL(WINAPI* updateProcThreadAttribute)(void*, DWORD, DWORD_PTR, void*, SIZE_T, void*, SIZE_T*) = nullptr;
  void(WINAPI* deleteProcThreadAttributeList)(void*) = nullptr;
  // kernel32, Windows 10: the machine of the system, also for a program it emulates.
  BOOL(WINAPI* isWow64Process2)(HANDLE, USHORT*, USHORT*) = nullptr;
  // virtdisk, Windows 7: the file behind a virtual disk's volume.
  DWORD(WINAPI* getStorageDependencyInformation)(HANDLE, DWORD, ULONG, void*, ULONG*) = nullptr;
};

// Looked up on first use.
const LateCalls& Late();

}  // namespace morvane
