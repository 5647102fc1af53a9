// The rest of a stock embeddable control's interfaces, for a control with nothing to persist
// and no property pages: ISpecifyPropertyPages answers an empty list, IPersistStorage takes
// and gives nothing, IDataObject renders the control's drawing (IViewObject::Draw) as a
// metafile picture of its extent and keeps data advises in an OLE advise holder.
#include "activex/control.h"

namespace quilta::activex {

STDMETHODIMP CZELB::GetPages(CAUUID* pages) {
  if (pages == nullptr) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = nullptr;
  return S_OK;
}

// CF_METAFILEPICT on TYMED_MFPICT of the content: the drawing in a metafile whose picture
// has the control's extent (HIMETRIC) in MM_ANISOTROPIC. Any other format: DATA_E_FORMATETC.
STDMETHODIMP CZELB::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (format == nullptr || medium == nullptr) return E_POINTER;
  if (format->cfFormat != CF_METAFILEPICT || !(format->tymed & TYMED_MFPICT) ||
      format->dwAspect != DVASPECT_CONTENT)
    return DATA_E_FORMATETC;
  // The extent in pixels at the screen's resolution.
  HDC screen = GetDC(nullptr);
  const int cx = MulDiv(extent_.cx, GetDeviceCaps(screen, LOGPIXELSX), 2540);
  const int cy = MulDiv(extent_.cy, GetDeviceCaps(screen, LOGPIXELSY), 2540);
  ReleaseDC(nullptr, screen);

  HDC meta = CreateMetaFileW(nullptr);
  if (meta == nullptr) return E_OUTOFMEMORY;
  SetWindowOrgEx(meta, 0, 0, nullptr);
  SetWindowExtEx(meta, cx, cy, nullptr);
  const RECTL bounds{0, 0, cx, cy};
  Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, meta, &bounds, nullptr, nullptr, 0);
  HMETAFILE picture = CloseMetaFile(meta);
  if (picture == nullptr) return E_OUTOFMEMORY;

  HGLOBAL mem = GlobalAlloc(GMEM_SHARE | GMEM_MOVEABLE, sizeof(METAFILEPICT));
  auto* mfp = mem ? static_cast<METAFILEPICT*>(GlobalLock(mem)) : nullptr;
  if (mfp == nullptr) {
    if (mem) GlobalFree(mem);
    DeleteMetaFile(picture);
    return E_OUTOFMEMORY;
  }
  mfp->mm = MM_ANISOTROPIC;
  mfp->xExt = extent_.cx;
  mfp->yExt = extent_.cy;
  mfp->hMF = picture;
  GlobalUnlock(mem);
  medium->tymed = TYMED_MFPICT;
  medium->hMetaFilePict = mem;
  medium->pUnkForRelease = nullptr;
  return S_OK;
}

STDMETHODIMP CZELB::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
  if (out) out->ptd = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CZELB::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (dataAdvise_ == nullptr && FAILED(CreateDataAdviseHolder(&dataAdvise_))) return E_OUTOFMEMORY;
  return dataAdvise_->Advise(static_cast<IDataObject*>(this), format, flags, sink, cookie);
}

STDMETHODIMP CZELB::DUnadvise(DWORD cookie) {
  return dataAdvise_ ? dataAdvise_->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

STDMETHODIMP CZELB::EnumDAdvise(IEnumSTATDATA** e) {
  if (e == nullptr) return E_POINTER;
  *e = nullptr;
  return dataAdvise_ ? dataAdvise_->EnumAdvise(e) : E_FAIL;
}

}  // namespace quilta::activex
