// What a page's container needs to embed the control: in-place activation, IOleControl and
// IQuickActivate, with the behaviour of a stock embeddable control that has nothing to edit.
//   Activation (DoVerb with OLEIVERB_PRIMARY, SHOW, INPLACEACTIVATE or UIACTIVATE): without a
//   client site nothing happens (S_OK). A site that offers IOleInPlaceSiteWindowless and
//   allows it gets a windowless control (OnInPlaceActivateEx with ACTIVATE_WINDOWLESS; the
//   site paints it through IViewObject::Draw, GetWindow answers E_FAIL); any other
//   IOleInPlaceSite gets the control in a child window of the site's window, painted by the
//   same Draw, placed by SetObjectRects. A site that refuses activation gets E_FAIL.
//   PRIMARY and UIACTIVATE also make the control UI-active (OnUIActivate, SetActiveObject on
//   the frame and the document window).
//   InPlaceDeactivate (also from Close) undoes it all in reverse and tells the site.
// What a container may ask of the control's data (IDataObject; GetData, the picture itself, is
// in stock.cpp): the one format served is the drawing as a metafile picture, CF_METAFILEPICT
// of DVASPECT_CONTENT on TYMED_MFPICT (any lindex, any target device, as GetData takes it).
//   QueryGetData: S_OK exactly when GetData would serve the format; otherwise DV_E_FORMATETC
//   (another clipboard format), DV_E_DVASPECT (another aspect) or DV_E_TYMED (no picture
//   medium among those asked for).
//   EnumFormatEtc(DATADIR_GET): a fresh enumerator of that one format; DATADIR_SET: E_NOTIMPL
//   (nothing can be set); any other direction E_INVALIDARG.
//   GetDataHere: DATA_E_FORMATETC. A metafile picture cannot be written into a medium the
//   caller allocated (only HGLOBAL, stream, storage and file media can), so no format is
//   served here.
//   SetData: E_NOTIMPL. The picture is the control's own drawing and it keeps no data a
//   container could give it; the caller keeps the medium.
#include "activex/control.h"

#include <new>

namespace quilta::activex {
namespace {

constexpr wchar_t kWindowClass[] = L"QuiltaZelbControl";

bool RegisterWindowClass() {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = DefWindowProcW;  // replaced per window (the object rides along)
    wc.hInstance = ModuleHandle();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kWindowClass;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

// The one format GetData serves (no target device: the enumerator hands out copies as is).
constexpr FORMATETC kPictureFormat{CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};

// An enumerator over the served formats; it keeps the module loaded while it lives.
class FormatEnum final : public IEnumFORMATETC {
 public:
  explicit FormatEnum(ULONG next = 0) : next_(next) { ModuleAddRef(); }
  ~FormatEnum() { ModuleRelease(); }
  FormatEnum(const FormatEnum&) = delete;
  FormatEnum& operator=(const FormatEnum&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumFORMATETC) {
      *ppv = static_cast<IEnumFORMATETC*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  // Up to `count` formats from the current position; S_FALSE when fewer were left.
  STDMETHODIMP Next(ULONG count, FORMATETC* out, ULONG* fetched) override {
    if (out == nullptr || (fetched == nullptr && count != 1)) return E_POINTER;
    ULONG n = 0;
    for (; n < count && next_ < kCount; ++n) out[n] = kFormats[next_++];
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    const ULONG left = kCount - next_;
    next_ += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    next_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumFORMATETC** copy) override {
    if (copy == nullptr) return E_POINTER;
    *copy = new (std::nothrow) FormatEnum(next_);
    return *copy ? S_OK : E_OUTOFMEMORY;
  }

 private:
  static constexpr FORMATETC kFormats[] = {kPictureFormat};
  static constexpr ULONG kCount = sizeof(kFormats) / sizeof(kFormats[0]);
  ULONG refs_ = 1;
  ULONG next_;
};

}  // namespace

STDMETHODIMP CZELB::QueryGetData(FORMATETC* format) {
  if (format == nullptr) return E_POINTER;
  if (format->cfFormat != kPictureFormat.cfFormat) return DV_E_FORMATETC;
  if (format->dwAspect != kPictureFormat.dwAspect) return DV_E_DVASPECT;
  if (!(format->tymed & kPictureFormat.tymed)) return DV_E_TYMED;
  return S_OK;
}

STDMETHODIMP CZELB::EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) {
  if (formats == nullptr) return E_POINTER;
  *formats = nullptr;
  if (direction == DATADIR_SET) return E_NOTIMPL;
  if (direction != DATADIR_GET) return E_INVALIDARG;
  *formats = new (std::nothrow) FormatEnum();
  return *formats ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CZELB::GetDataHere(FORMATETC* format, STGMEDIUM* medium) {
  if (format == nullptr || medium == nullptr) return E_POINTER;
  return DATA_E_FORMATETC;
}

STDMETHODIMP CZELB::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL) {
  if (format == nullptr || medium == nullptr) return E_POINTER;
  return E_NOTIMPL;
}

STDMETHODIMP CZELB::DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) {
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_UIACTIVATE:
      return InPlaceActivate(true);
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
      return InPlaceActivate(false);
    case OLEIVERB_HIDE:
      UIDeactivate();
      if (window_) ShowWindow(window_, SW_HIDE);
      return S_OK;
    default:
      return S_OK;  // nothing to open, edit or undo
  }
}

HRESULT CZELB::InPlaceActivate(bool uiActivate) {
  if (site_ == nullptr) return S_OK;
  if (inPlaceSite_ == nullptr) {
    IOleInPlaceSiteWindowless* wl = nullptr;
    IOleInPlaceSite* ip = nullptr;
    if (SUCCEEDED(site_->QueryInterface(IID_IOleInPlaceSiteWindowless, reinterpret_cast<void**>(&wl))) &&
        wl != nullptr) {
      ip = wl;
      windowless_ = wl->CanWindowlessActivate() == S_OK;
    } else if (FAILED(site_->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&ip))) ||
               ip == nullptr) {
      return E_FAIL;
    } else {
      windowless_ = false;
    }
    if (ip->CanInPlaceActivate() != S_OK) {
      ip->Release();
      return E_FAIL;
    }
    BOOL noRedraw = FALSE;
    const HRESULT hr = windowless_ ? wl->OnInPlaceActivateEx(&noRedraw, ACTIVATE_WINDOWLESS)
                                   : ip->OnInPlaceActivate();
    if (FAILED(hr)) {
      ip->Release();
      return hr;
    }
    inPlaceSite_ = ip;

    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof(info);
    if (SUCCEEDED(ip->GetWindowContext(&frame_, &document_, &pos, &clip, &info))) pos_ = pos;
    if (!windowless_) {
      HWND parent = nullptr;
      ip->GetWindow(&parent);
      if (parent == nullptr || !RegisterWindowClass() ||
          (window_ = CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_CLIPSIBLINGS, pos_.left,
                                     pos_.top, pos_.right - pos_.left, pos_.bottom - pos_.top,
                                     parent, nullptr, ModuleHandle(), nullptr)) == nullptr) {
        InPlaceDeactivate();
        return E_FAIL;
      }
      SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CZELB::WindowProc));
    }
  }
  if (window_) ShowWindow(window_, SW_SHOW);
  if (uiActivate && !uiActive_) {
    uiActive_ = true;
    inPlaceSite_->OnUIActivate();
    auto* active = static_cast<IOleInPlaceActiveObject*>(this);
    if (frame_) frame_->SetActiveObject(active, nullptr);
    if (document_) document_->SetActiveObject(active, nullptr);
  }
  return S_OK;
}

STDMETHODIMP CZELB::UIDeactivate() {
  if (!uiActive_) return S_OK;
  uiActive_ = false;
  if (document_) document_->SetActiveObject(nullptr, nullptr);
  if (frame_) frame_->SetActiveObject(nullptr, nullptr);
  if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
  return S_OK;
}

STDMETHODIMP CZELB::InPlaceDeactivate() {
  if (inPlaceSite_ == nullptr) return S_OK;
  UIDeactivate();
  DestroyOwnWindow();
  IOleInPlaceSite* site = inPlaceSite_;
  inPlaceSite_ = nullptr;
  if (windowless_) {
    IOleInPlaceSiteWindowless* wl = nullptr;
    if (SUCCEEDED(site->QueryInterface(IID_IOleInPlaceSiteWindowless, reinterpret_cast<void**>(&wl))) && wl) {
      wl->OnInPlaceDeactivateEx(TRUE);
      wl->Release();
    }
  } else {
    site->OnInPlaceDeactivate();
  }
  site->Release();
  if (document_) document_->Release();
  if (frame_) frame_->Release();
  document_ = nullptr;
  frame_ = nullptr;
  windowless_ = false;
  return S_OK;
}

void CZELB::DestroyOwnWindow() {
  if (window_ == nullptr) return;
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
  window_ = nullptr;
}

LRESULT CALLBACK CZELB::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<CZELB*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_PAINT && self) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    const RECTL bounds{client.left, client.top, client.right, client.bottom};
    self->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

STDMETHODIMP CZELB::GetWindow(HWND* hwnd) {
  if (hwnd == nullptr) return E_POINTER;
  *hwnd = window_;
  return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP CZELB::SetObjectRects(LPCRECT pos, LPCRECT) {
  if (pos == nullptr) return E_POINTER;
  pos_ = *pos;
  if (window_)
    SetWindowPos(window_, nullptr, pos->left, pos->top, pos->right - pos->left,
                 pos->bottom - pos->top, SWP_NOZORDER | SWP_NOACTIVATE);
  return S_OK;
}

// A windowless control's messages: it takes no input of its own.
STDMETHODIMP CZELB::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT* result) {
  if (result) *result = 0;
  return S_FALSE;
}

STDMETHODIMP CZELB::GetDropTarget(IDropTarget** target) {
  if (target == nullptr) return E_POINTER;
  *target = nullptr;
  return E_NOTIMPL;
}

// No keyboard mnemonics: a stock control without accelerators leaves this unimplemented.
STDMETHODIMP CZELB::GetControlInfo(CONTROLINFO* info) {
  if (info == nullptr) return E_POINTER;
  return E_NOTIMPL;
}

// The container's one-call set-up. The site goes through SetClientSite (the page URL is read
// there), the advise sink through SetAdvise; the control has no events and no property
// notifications (cookies 0).
STDMETHODIMP CZELB::QuickActivate(QACONTAINER* container, QACONTROL* control) {
  if (container == nullptr || control == nullptr) return E_POINTER;
  if (container->cbSize < sizeof(QACONTAINER) || control->cbSize < sizeof(QACONTROL))
    return E_INVALIDARG;
  SetClientSite(container->pClientSite);
  if (container->pAdviseSink) SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
  GetMiscStatus(DVASPECT_CONTENT, &control->dwMiscStatus);
  GetViewStatus(&control->dwViewStatus);
  control->dwEventCookie = 0;
  control->dwPropNotifyCookie = 0;
  control->dwPointerActivationPolicy = 0;
  return S_OK;
}

}  // namespace quilta::activex
