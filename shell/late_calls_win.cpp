#include "shell/late_calls_win.h"

#include <string>

namespace morvane {
namespace {

template <typename F>
void Find(HMODULE module, const char* name, F& slot) {
  slot = module ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

// A DLL that not every system has, from the system folder only (never one planted beside the
// program or in the current folder).
HMODULE SystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  return ::LoadLibraryW((std::wstring(folder, n) + L"\\" + name).c_str());
}

LateCalls LookUp() {
  LateCalls calls;
  const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  Find(user32, "ShutdownBlockReasonCreate", calls.shutdownBlockReasonCreate);
  Find(user32, "ShutdownBlockReasonDestroy", calls.shutdownBlockReasonDestroy);
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  Find(kernel32, "InitializeProcThreadAttributeList", calls.initializeProcThreadAttributeList);
  Find(kernel32, "UpdateProcThreadAttribute", calls.updateProcThreadAttribute);
  Find(kernel32, "DeleteProcThreadAttributeList", calls.deleteProcThreadAttributeList);
  Find(kernel32, "IsWow64Process2", calls.isWow64Process2);
  Find(SystemLibrary(L"virtdisk.dll"), "GetStorageDependencyInformation", calls.getStorageDependencyInformation);
  return calls;
}

}  // namespace

const LateCalls& Late() {
  static const LateCalls calls = LookUp();
  return calls;
}

}  // namespace morvane
