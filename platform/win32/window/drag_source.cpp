// Dragging files out of the program: a data object that offers them as a file list
// (CF_HDROP) and a drop source that allows copying only.
#include <atomic>

#include "platform/win32/window/com.h"
#include "platform/win32/window/win32_ui.h"

namespace tandrel::ui {
namespace {

// Reference counting and QueryInterface for an object with one interface besides
// IUnknown. Objects start with one reference, which their creator's ComRef holds.
template <typename Interface, const IID& kInterfaceId>
class ComObject : public Interface {
 public:
  virtual ~ComObject() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kInterfaceId)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> references_{1};
};

bool IsFileListFormat(const FORMATETC& format) {
  return format.cfFormat == CF_HDROP && format.dwAspect == DVASPECT_CONTENT && (format.tymed & TYMED_HGLOBAL) != 0 &&
         format.lindex == -1;
}

FORMATETC FileListFormat() { return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

class FileListData final : public ComObject<IDataObject, IID_IDataObject> {
 public:
  explicit FileListData(std::vector<std::string> paths) : paths_(std::move(paths)) {}

  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    if (!IsFileListFormat(*format)) return DV_E_FORMATETC;
    win32::OwnedGlobal list = win32::FileDropOf(paths_);
    if (!list) return E_OUTOFMEMORY;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = list.Release();  // the receiver frees it
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return DATA_E_FORMATETC; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
    return format != nullptr && IsFileListFormat(*format) ? S_OK : DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    if (out != nullptr) out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (direction != DATADIR_GET) return E_NOTIMPL;
    FORMATETC offered = FileListFormat();
    return SHCreateStdEnumFmtEtc(1, &offered, out);
  }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  const std::vector<std::string> paths_;
};

// Drops when the button that started the drag is released; Escape cancels.
class CopyDropSource final : public ComObject<IDropSource, IID_IDropSource> {
 public:
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape_pressed, DWORD key_state) override {
    if (escape_pressed) return DRAGDROP_S_CANCEL;
    if ((key_state & (MK_LBUTTON | MK_RBUTTON)) == 0) return DRAGDROP_S_DROP;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

}  // namespace

void Win32Ui::DragFiles(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  win32::ComRef<IDataObject> data(new FileListData(paths));
  win32::ComRef<IDropSource> source(new CopyDropSource());
  DWORD effect = DROPEFFECT_NONE;
  DoDragDrop(data.get(), source.get(), DROPEFFECT_COPY, &effect);  // the outcome is the target's
}

}  // namespace tandrel::ui
