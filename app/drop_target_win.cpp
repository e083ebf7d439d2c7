#include "app/drop_target_win.h"

#include <shellapi.h>

namespace morvane {

std::vector<std::wstring> DroppedFiles(HDROP drop) {
  std::vector<std::wstring> files;
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
    std::wstring name(length + 1, L'\0');
    const UINT got = ::DragQueryFileW(drop, i, &name[0], length + 1);
    name.resize(got);
    files.push_back(name);
  }
  return files;
}

HRESULT FileDropTarget::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDropTarget) {
    *object = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG FileDropTarget::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }

ULONG FileDropTarget::Release() {
  const LONG refs = ::InterlockedDecrement(&refs_);
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

HRESULT FileDropTarget::DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) {
  if (effect) *effect &= DROPEFFECT_COPY;
  return S_OK;
}

HRESULT FileDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
  if (effect) *effect &= DROPEFFECT_COPY;
  return S_OK;
}

HRESULT FileDropTarget::DragLeave() { return S_OK; }

HRESULT FileDropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  bool hasFileList = false;
  std::vector<std::wstring> files;
  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  // A failure to read the data is a refused drop, never an error.
  if (data && SUCCEEDED(data->GetData(&format, &medium))) {
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
      if (HDROP drop = static_cast<HDROP>(::GlobalLock(medium.hGlobal))) {
        hasFileList = true;
        files = DroppedFiles(drop);
        ::GlobalUnlock(medium.hGlobal);
      }
    }
    ::ReleaseStgMedium(&medium);
  }
  if (effect) *effect = hasFileList ? DROPEFFECT_COPY : DROPEFFECT_NONE;
  handler_(hasFileList, files);
  return S_OK;
}

}  // namespace morvane
