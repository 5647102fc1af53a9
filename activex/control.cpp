#include "activex/control.h"

#include <vector>

#include "activex/variant.h"

namespace quilta::activex {
namespace {

// The URL of the page the control sits on: the display name of the container's moniker.
// Returns false when the site has a moniker whose display name cannot be obtained.
bool SitePageUrl(IOleClientSite* site, std::optional<std::string>* url) {
  url->reset();
  IMoniker* moniker = nullptr;
  if (FAILED(site->GetMoniker(OLEGETMONIKER_TEMPFORUSER, OLEWHICHMK_CONTAINER, &moniker)) ||
      moniker == nullptr) {
    return true;  // no moniker: the site is kept, without a URL
  }
  IBindCtx* ctx = nullptr;
  LPOLESTR name = nullptr;
  HRESULT hr = CreateBindCtx(0, &ctx);
  if (SUCCEEDED(hr)) hr = moniker->GetDisplayName(ctx, nullptr, &name);
  if (ctx) ctx->Release();
  moniker->Release();
  if (FAILED(hr) || name == nullptr) return false;
  std::string utf8 =
      ToUtf8(FromPageUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(name),
                                               lstrlenW(name))));
  CoTaskMemFree(name);
  *url = std::move(utf8);  // whole: a bank page with a long query is still the bank's
  return true;
}

}  // namespace

CZELB::CZELB() { ModuleAddRef(); }

CZELB::~CZELB() {
  // A container that let go without deactivating: the window goes, the site hears nothing.
  DestroyOwnWindow();
  if (document_) document_->Release();
  if (frame_) frame_->Release();
  if (inPlaceSite_) inPlaceSite_->Release();
  if (dataAdvise_) dataAdvise_->Release();
  if (site_) site_->Release();
  ModuleRelease();
}

// ---- IUnknown ----

STDMETHODIMP CZELB::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IZELB)
    *ppv = static_cast<IZELBEx*>(this);
  else if (riid == IID_IObjectSafety)
    *ppv = static_cast<IObjectSafety*>(this);
  else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2)
    *ppv = static_cast<IProvideClassInfo2*>(this);
  else if (riid == IID_IOleObject)
    *ppv = static_cast<IOleObject*>(this);
  else if (riid == IID_IPersistStreamInit || riid == IID_IPersist)
    *ppv = static_cast<IPersistStreamInit*>(this);
  else if (riid == IID_IViewObject || riid == IID_IViewObject2 || riid == IID_IViewObjectEx)
    *ppv = static_cast<IViewObjectEx*>(this);
  else if (riid == IID_IOleInPlaceObjectWindowless || riid == IID_IOleInPlaceObject ||
           riid == IID_IOleWindow)
    *ppv = static_cast<IOleInPlaceObjectWindowless*>(this);
  else if (riid == IID_IOleInPlaceActiveObject)
    *ppv = static_cast<IOleInPlaceActiveObject*>(this);
  else if (riid == IID_IOleControl)
    *ppv = static_cast<IOleControl*>(this);
  else if (riid == IID_IQuickActivate)
    *ppv = static_cast<IQuickActivate*>(this);
  else if (riid == IID_ISpecifyPropertyPages)
    *ppv = static_cast<ISpecifyPropertyPages*>(this);
  else if (riid == IID_IPersistStorage)
    *ppv = static_cast<IPersistStorage*>(this);
  else if (riid == IID_IDataObject)
    *ppv = static_cast<IDataObject*>(this);
  if (*ppv == nullptr) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CZELB::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) CZELB::Release() {
  const ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}

// ---- IDispatch ----

STDMETHODIMP CZELB::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP CZELB::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  *info = ZelbTypeInfo();
  return *info ? S_OK : TYPE_E_ELEMENTNOTFOUND;
}

// Names are matched with case, as on every surface.
STDMETHODIMP CZELB::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (names == nullptr || ids == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    if (i > 0 || names[i] == nullptr) {  // named arguments: none
      hr = DISP_E_UNKNOWNNAME;
      continue;
    }
    const std::string name =
        ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(names[i]), lstrlenW(names[i])));
    std::optional<Member> m = FindMember(name, Surface::ActiveX);
    if (!m) {
      hr = DISP_E_UNKNOWNNAME;
      continue;
    }
    ids[i] = m->isMethod ? Info(m->method).dispid : Info(m->prop).dispid;
  }
  return hr;
}

STDMETHODIMP CZELB::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO*, UINT*) {
  static DISPPARAMS kNone{nullptr, nullptr, 0, 0};
  if (params == nullptr) params = &kNone;
  if (result) VariantInit(result);
  // A caller in the process hands its DISPPARAMS as they are: counts that cannot hold, or
  // arrays missing for the counts given, are refused before any argument is read.
  if (params->cNamedArgs > params->cArgs) return DISP_E_BADPARAMCOUNT;
  if ((params->cArgs > 0 && params->rgvarg == nullptr) ||
      (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr)) {
    return E_INVALIDARG;
  }
  Method method;
  if (FindMethodByDispid(id, &method) && Visible(method, Surface::ActiveX)) {
    if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    // Positional arguments arrive last first, after the named ones; only the ones the method
    // takes are read.
    const UINT positional = params->cArgs - params->cNamedArgs;
    const UINT n = std::min<UINT>(positional, static_cast<UINT>(Info(method).argc));
    std::vector<ScriptValue> args;
    args.reserve(n);
    for (UINT i = 0; i < n; ++i) args.push_back(FromVariant(params->rgvarg[params->cArgs - 1 - i]));
    const ScriptValue r = layer_.Invoke(method, args);
    if (result && !ToVariant(r, result)) return E_OUTOFMEMORY;
    return S_OK;
  }
  Prop prop;
  if (!FindPropByDispid(id, &prop)) return DISP_E_MEMBERNOTFOUND;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (params->cArgs < 1) return DISP_E_BADPARAMCOUNT;
    // Off the bank's pages every write is refused alike, read-only or not: such a page
    // learns nothing of the properties.
    if (!layer_.OnBankPage()) return S_OK;
    if (!Info(prop).writable()) return DISP_E_MEMBERNOTFOUND;
    // A refused write (TACLog5 here, a dialog open, a value of the wrong kind) changes
    // nothing and still succeeds, like a value over the property's limit.
    layer_.Set(prop, FromVariant(params->rgvarg[0]));
    return S_OK;
  }
  if (flags & DISPATCH_PROPERTYGET) {
    // Off the bank's pages every read is Void (VT_EMPTY), write-only properties too.
    std::optional<ScriptValue> v = layer_.Get(prop);
    if (!v) return DISP_E_MEMBERNOTFOUND;  // write-only
    if (result && !ToVariant(*v, result)) return E_OUTOFMEMORY;
    return S_OK;
  }
  return DISP_E_MEMBERNOTFOUND;
}

// ---- IZELB typed entries ----

HRESULT CZELB::Call(Method m, std::initializer_list<BSTR> in, LONG* pVal) {
  std::vector<ScriptValue> args;
  args.reserve(in.size());
  for (BSTR b : in) args.push_back(ScriptValue::OfText(FromBstr(b)));
  const ScriptValue r = layer_.Invoke(m, args, Entry::Vtable);
  if (pVal) *pVal = r.kind == ScriptValue::Kind::Int ? r.i : 0;
  return S_OK;
}

HRESULT CZELB::Version(BSTR* pVal) {
  const ScriptValue r = layer_.Invoke(Method::GetComVersion, {});
  if (pVal) *pVal = ToBstr(r.text);
  return S_OK;
}

HRESULT CZELB::Get(Prop p, BSTR* pVal) {
  if (pVal == nullptr) return S_OK;
  *pVal = nullptr;
  std::optional<ScriptValue> v = layer_.Get(p);
  if (v) *pVal = ToBstr(v->text);
  return S_OK;
}

HRESULT CZELB::Get(Prop p, LONG* pVal) {
  if (pVal == nullptr) return S_OK;
  *pVal = 0;
  std::optional<ScriptValue> v = layer_.Get(p);
  if (v && v->kind == ScriptValue::Kind::Int) *pVal = v->i;
  return S_OK;
}

HRESULT CZELB::Put(Prop p, BSTR v) {
  layer_.Set(p, ScriptValue::OfText(FromBstr(v)));
  return S_OK;
}

HRESULT CZELB::Put(Prop p, LONG v) {
  layer_.Set(p, ScriptValue::OfInt(v));
  return S_OK;
}

// ---- IProvideClassInfo2 ----

STDMETHODIMP CZELB::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = CoclassTypeInfo();
  return *info ? S_OK : TYPE_E_ELEMENTNOTFOUND;
}

STDMETHODIMP CZELB::GetGUID(DWORD kind, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *guid = GUID_NULL;  // no event source
  return E_FAIL;
}

// ---- IOleObject ----

// The page is decided here, once per site: the layer the calls go through is made for it.
STDMETHODIMP CZELB::SetClientSite(IOleClientSite* site) {
  std::optional<std::string> url;
  if (site != nullptr && !SitePageUrl(site, &url)) {
    // The site is not stored, and the control is on no page it could name.
    layer_ = ScriptLayer(Surface::ActiveX, std::nullopt);
    return S_OK;
  }
  if (site) site->AddRef();
  if (site_) site_->Release();
  site_ = site;
  layer_ = ScriptLayer(Surface::ActiveX, url);
  return S_OK;
}

STDMETHODIMP CZELB::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  *site = site_;
  if (site_) site_->AddRef();
  return S_OK;
}

STDMETHODIMP CZELB::GetUserClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_CZELB;
  return S_OK;
}

STDMETHODIMP CZELB::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size == nullptr) return E_POINTER;
  extent_ = *size;
  return S_OK;
}

STDMETHODIMP CZELB::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size == nullptr) return E_POINTER;
  *size = extent_;
  return S_OK;
}

// OLEMISC_SETCLIENTSITEFIRST | ACTIVATEWHENVISIBLE | INSIDEOUT | CANTLINKINSIDE |
// RECOMPOSEONRESIZE, as registered.
STDMETHODIMP CZELB::GetMiscStatus(DWORD, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = 0x20191;
  return S_OK;
}

STDMETHODIMP CZELB::GetSizeMax(ULARGE_INTEGER* size) {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}

// ---- IViewObjectEx ----

// "ATL 8.0" centred on the rectangle (alignment centre and baseline), with the device
// context's font and colours; no frame, no background.
STDMETHODIMP CZELB::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC hdc,
                         LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                         ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (hdc == nullptr || bounds == nullptr) return E_INVALIDARG;
  const UINT oldAlign = SetTextAlign(hdc, TA_CENTER | TA_BASELINE);
  const int x = (bounds->left + bounds->right) / 2;
  const int y = (bounds->top + bounds->bottom) / 2;
  TextOutW(hdc, x, y, L"ATL 8.0", 7);
  SetTextAlign(hdc, oldAlign);
  return S_OK;
}

STDMETHODIMP CZELB::GetViewStatus(DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = 0;  // transparent: nothing but the text is painted
  return S_OK;
}

}  // namespace quilta::activex
