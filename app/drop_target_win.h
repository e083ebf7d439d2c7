#pragma once

#include <windows.h>
#include <oleidl.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

namespace morvane {

// The OLE drop target of the image path field. It reads the shell's file-list format (CF_HDROP)
// from the dropped data and hands over the file names; the handler decides whether to take them.
class FileDropTarget : public IDropTarget {
 public:
  using Handler = std::function<void(bool hasFileList, const std::vector<std::wstring>& files)>;

  explicit FileDropTarget(Handler handler) : handler_(std::move(handler)) {}

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDropTarget
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL point, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

 private:
  virtual ~FileDropTarget() = default;
  Handler handler_;
  LONG refs_ = 1;

  friend class FileDropTargetOwner;
};

// The file names of a CF_HDROP block.
std::vector<std::wstring> DroppedFiles(HDROP drop);

}  // namespace morvane
