// The control embedded the way a page's container does it (under Wine, on a display: the
// windowed activation makes a window): IQuickActivate's site sets the page URL as
// SetClientSite does; in-place activation windowless, windowed (a child of the container's
// window, placed by SetObjectRects, gone with Close) and refused; UI activation and
// deactivation told to the site in order; the interface map of a stock control, one object
// behind every interface; the drawing as a metafile picture and what a container may ask
// about that data. Prints "ALL PASSED" when every check held.
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>
#include <ole2.h>
#include <urlmon.h>

#include <cstdio>
#include <string>

#include "activex/tovak.h"
#include "quilta_config.h"

#include "check.h"

namespace {

using quilta::test::Check;

// A container's site: client site and (windowless) in-place site in one, writing what the
// control asked of it into `log`.
class Site final : public IOleClientSite, public IOleInPlaceSiteWindowless {
 public:
  Site(std::wstring url, bool windowless, bool allow, HWND window)
      : url_(std::move(url)), windowless_(windowless), allow_(allow), window_(window) {}
  std::string log;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) *ppv = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleInPlaceSite || riid == IID_IOleWindow || riid == IID_IOleInPlaceSiteEx ||
             riid == IID_IOleInPlaceSiteWindowless)
      *ppv = static_cast<IOleInPlaceSiteWindowless*>(this);
    return *ppv ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // on the stack
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD which, IMoniker** mk) override {
    *mk = nullptr;
    if (which != OLEWHICHMK_CONTAINER) return E_FAIL;
    return CreateURLMoniker(nullptr, url_.c_str(), mk);
  }
  STDMETHODIMP GetContainer(IOleContainer** c) override {
    *c = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleWindow
  STDMETHODIMP GetWindow(HWND* h) override {
    *h = window_;
    return window_ ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return allow_ ? S_OK : S_FALSE; }
  STDMETHODIMP OnInPlaceActivate() override { return Note("activate "); }
  STDMETHODIMP OnUIActivate() override { return Note("ui "); }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                LPRECT clip, LPOLEINPLACEFRAMEINFO) override {
    *frame = nullptr;
    *doc = nullptr;
    *pos = *clip = RECT{10, 20, 130, 60};
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return Note("ui-off "); }
  STDMETHODIMP OnInPlaceDeactivate() override { return Note("deactivate "); }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
  // IOleInPlaceSiteEx
  STDMETHODIMP OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) override {
    if (noRedraw) *noRedraw = FALSE;
    return Note(flags & ACTIVATE_WINDOWLESS ? "activate-windowless " : "activate-ex ");
  }
  STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override { return Note("deactivate-ex "); }
  STDMETHODIMP RequestUIActivate() override { return S_OK; }
  // IOleInPlaceSiteWindowless
  STDMETHODIMP CanWindowlessActivate() override { return windowless_ ? S_OK : S_FALSE; }
  STDMETHODIMP GetCapture() override { return S_FALSE; }
  STDMETHODIMP SetCapture(BOOL) override { return S_OK; }
  STDMETHODIMP GetFocus() override { return S_FALSE; }
  STDMETHODIMP SetFocus(BOOL) override { return S_OK; }
  STDMETHODIMP GetDC(LPCRECT, DWORD, HDC*) override { return E_NOTIMPL; }
  STDMETHODIMP ReleaseDC(HDC) override { return E_NOTIMPL; }
  STDMETHODIMP InvalidateRect(LPCRECT, BOOL) override { return S_OK; }
  STDMETHODIMP InvalidateRgn(HRGN, BOOL) override { return S_OK; }
  STDMETHODIMP ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return S_OK; }
  STDMETHODIMP AdjustRect(LPRECT) override { return S_OK; }
  STDMETHODIMP OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override { return S_OK; }

 private:
  HRESULT Note(const char* what) {
    log += what;
    return S_OK;
  }
  std::wstring url_;
  bool windowless_, allow_;
  HWND window_;
};

template <typename T>
T* Query(IUnknown* u, REFIID iid) {
  void* p = nullptr;
  return SUCCEEDED(u->QueryInterface(iid, &p)) ? static_cast<T*>(p) : nullptr;
}

LONG ConnectCard(IZELB* z) {
  LONG st = -1;
  return SUCCEEDED(z->ConnectCard(&st)) ? st : -1;
}

}  // namespace

int main() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  const std::wstring bankPage =
      L"https://webatm." + std::wstring(quilta::config::kBankDomain, quilta::config::kBankDomain +
                                                                         sizeof(quilta::config::kBankDomain) - 1) +
      L"/atm/";
  HWND container = CreateWindowExW(0, L"STATIC", L"container", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                   0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
  Check("the container's window", container != nullptr);

  // ---- IQuickActivate: the site and its page URL as with SetClientSite ----
  {
    IZELB* z = nullptr;
    CoCreateInstance(CLSID_CZELB, nullptr, CLSCTX_INPROC_SERVER, IID_IZELB, reinterpret_cast<void**>(&z));
    auto* qa = z ? Query<IQuickActivate>(z, IID_IQuickActivate) : nullptr;
    Check("IQuickActivate", qa != nullptr);
    if (qa) {
      Site foreign(L"https://evil.example/atm/", true, true, container);
      QACONTAINER c{};
      c.cbSize = sizeof(c);
      c.pClientSite = &foreign;
      QACONTROL q{};
      q.cbSize = sizeof(q);
      Check("QuickActivate", qa->QuickActivate(&c, &q) == S_OK);
      Check("QACONTROL misc status as registered", q.dwMiscStatus == 0x20191);
      Check("QuickActivate on a foreign page: ConnectCard 5004", ConnectCard(z) == 5004);
      Site bank(bankPage, true, true, container);
      c.pClientSite = &bank;
      Check("QuickActivate on the bank's page", qa->QuickActivate(&c, &q) == S_OK);
      const LONG st = ConnectCard(z);
      Check("... ConnectCard passes the page check (" + std::to_string(st) + ")", st != 5004 && st != -1);
      QACONTROL small{};
      small.cbSize = 4;
      Check("a short QACONTROL", qa->QuickActivate(&c, &small) == E_INVALIDARG);
      SIZEL size{5080, 2540}, back{};
      Check("content extent", qa->SetContentExtent(&size) == S_OK &&
                                  qa->GetContentExtent(&back) == S_OK && back.cx == 5080);
      auto* ole = Query<IOleObject>(z, IID_IOleObject);
      ole->SetClientSite(nullptr);
      ole->Release();
      qa->Release();
    }
    auto* ctl = z ? Query<IOleControl>(z, IID_IOleControl) : nullptr;
    Check("IOleControl", ctl && ctl->FreezeEvents(TRUE) == S_OK && ctl->FreezeEvents(FALSE) == S_OK &&
                             ctl->OnAmbientPropertyChange(DISPID_UNKNOWN) == S_OK);
    if (ctl) ctl->Release();
    if (z) z->Release();
  }

  // ---- the interface map: every interface answers, one object behind them ----
  {
    IUnknown* unk = nullptr;
    CoCreateInstance(CLSID_CZELB, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&unk));
    const struct {
      const char* name;
      const IID* iid;
    } map[] = {
        {"IZELB", &IID_IZELB}, {"IDispatch", &IID_IDispatch}, {"IViewObjectEx", &IID_IViewObjectEx},
        {"IViewObject2", &IID_IViewObject2}, {"IViewObject", &IID_IViewObject},
        {"IOleInPlaceObjectWindowless", &IID_IOleInPlaceObjectWindowless},
        {"IOleInPlaceObject", &IID_IOleInPlaceObject}, {"IOleWindow", &IID_IOleWindow},
        {"IOleInPlaceActiveObject", &IID_IOleInPlaceActiveObject}, {"IOleControl", &IID_IOleControl},
        {"IOleObject", &IID_IOleObject}, {"IPersistStreamInit", &IID_IPersistStreamInit},
        {"IPersist", &IID_IPersist}, {"ISpecifyPropertyPages", &IID_ISpecifyPropertyPages},
        {"IQuickActivate", &IID_IQuickActivate}, {"IPersistStorage", &IID_IPersistStorage},
        {"IDataObject", &IID_IDataObject}, {"IProvideClassInfo", &IID_IProvideClassInfo},
        {"IProvideClassInfo2", &IID_IProvideClassInfo2}, {"IObjectSafety", &IID_IObjectSafety},
    };
    for (const auto& m : map) {
      IUnknown* itf = unk ? Query<IUnknown>(unk, *m.iid) : nullptr;
      IUnknown* back = itf ? Query<IUnknown>(itf, IID_IUnknown) : nullptr;
      Check(std::string("answers ") + m.name + ", the same object behind it", itf && back == unk);
      if (back) back->Release();
      if (itf) itf->Release();
    }
    auto* pages = unk ? Query<ISpecifyPropertyPages>(unk, IID_ISpecifyPropertyPages) : nullptr;
    CAUUID list{5, nullptr};
    Check("no property pages", pages && pages->GetPages(&list) == S_OK && list.cElems == 0);
    if (pages) pages->Release();
    auto* data = unk ? Query<IDataObject>(unk, IID_IDataObject) : nullptr;
    if (data) {
      FORMATETC f{CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
      STGMEDIUM m{};
      const bool got = data->GetData(&f, &m) == S_OK && m.tymed == TYMED_MFPICT;
      auto* mfp = got ? static_cast<METAFILEPICT*>(GlobalLock(m.hMetaFilePict)) : nullptr;
      Check("the drawing as a metafile picture of the extent",
            mfp && mfp->mm == MM_ANISOTROPIC && mfp->xExt == 2540 && mfp->yExt == 2540 && mfp->hMF);
      if (mfp) GlobalUnlock(m.hMetaFilePict);
      if (got) ReleaseStgMedium(&m);
      FORMATETC text{CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
      Check("no text data", data->GetData(&text, &m) == DATA_E_FORMATETC);
      // What a container may ask about the data: QueryGetData answers S_OK exactly for what
      // GetData serves (and says why not otherwise), the enumerator lists just that, and
      // nothing is written into a caller's medium or taken from one.
      const struct {
        const char* name;
        FORMATETC format;
        HRESULT query;
      } formats[] = {
          {"the picture", {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT}, S_OK},
          {"the picture among other media",
           {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL | TYMED_MFPICT}, S_OK},
          {"text", {CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}, DV_E_FORMATETC},
          {"an enhanced metafile", {CF_ENHMETAFILE, nullptr, DVASPECT_CONTENT, -1, TYMED_ENHMF},
           DV_E_FORMATETC},
          {"the picture in global memory", {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
           DV_E_TYMED},
          {"the picture as an icon", {CF_METAFILEPICT, nullptr, DVASPECT_ICON, -1, TYMED_MFPICT},
           DV_E_DVASPECT},
      };
      for (const auto& k : formats) {
        FORMATETC f = k.format;
        const HRESULT query = data->QueryGetData(&f);
        const HRESULT get = data->GetData(&f, &m);
        if (get == S_OK) ReleaseStgMedium(&m);
        Check(std::string(k.name) + ": QueryGetData agrees with GetData; GetDataHere, SetData refuse",
              query == k.query && (query == S_OK) == (get == S_OK) &&
                  data->GetDataHere(&f, &m) == DATA_E_FORMATETC && data->SetData(&f, &m, FALSE) == E_NOTIMPL);
      }
      IEnumFORMATETC* e = nullptr;
      FORMATETC listed[2]{};
      ULONG n = 0;
      const bool enumerated = data->EnumFormatEtc(DATADIR_GET, &e) == S_OK && e &&
                              e->Next(2, listed, &n) == S_FALSE && n == 1;
      Check("EnumFormatEtc(GET) lists the picture", enumerated && listed[0].cfFormat == CF_METAFILEPICT &&
                                                        listed[0].tymed == TYMED_MFPICT &&
                                                        data->QueryGetData(&listed[0]) == S_OK);
      IEnumFORMATETC* copy = nullptr;
      Check("... Reset, Skip and Clone", e && e->Reset() == S_OK && e->Skip(2) == S_FALSE &&
                                             e->Reset() == S_OK && e->Clone(&copy) == S_OK && copy &&
                                             copy->Next(1, listed, nullptr) == S_OK);
      if (copy) copy->Release();
      if (e) e->Release();
      e = reinterpret_cast<IEnumFORMATETC*>(1);
      Check("EnumFormatEtc(SET) not implemented", data->EnumFormatEtc(DATADIR_SET, &e) == E_NOTIMPL && !e);
      data->Release();
    }
    if (unk) unk->Release();
  }

  // ---- in-place activation: windowless, windowed, refused ----
  struct Case {
    const char* name;
    bool windowless, allow;
    LONG verb;
    HRESULT verbResult;
    const char* activateLog;
    const char* deactivateLog;
  };
  const Case cases[] = {
      {"windowless, UI-active", true, true, OLEIVERB_UIACTIVATE, S_OK, "activate-windowless ui ",
       "ui-off deactivate-ex "},
      {"windowed", false, true, OLEIVERB_INPLACEACTIVATE, S_OK, "activate ", "deactivate "},
      {"windowed, primary verb", false, true, OLEIVERB_PRIMARY, S_OK, "activate ui ",
       "ui-off deactivate "},
      {"refused by the site", true, false, OLEIVERB_INPLACEACTIVATE, E_FAIL, "", ""},
  };
  for (const Case& k : cases) {
    const std::string n = std::string(k.name) + ": ";
    IOleObject* ole = nullptr;
    CoCreateInstance(CLSID_CZELB, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, reinterpret_cast<void**>(&ole));
    if (!ole) {
      Check(n + "IOleObject", false);
      continue;
    }
    Site site(bankPage, k.windowless, k.allow, container);
    ole->SetClientSite(&site);
    RECT pos{10, 20, 130, 60};
    Check(n + "DoVerb", ole->DoVerb(k.verb, nullptr, &site, 0, container, &pos) == k.verbResult);
    Check(n + "site told [" + site.log + "]", site.log == k.activateLog);
    auto* ip = Query<IOleInPlaceObject>(ole, IID_IOleInPlaceObject);
    HWND own = nullptr;
    const HRESULT hw = ip->GetWindow(&own);
    if (k.allow && !k.windowless) {
      Check(n + "a child window of the container's", hw == S_OK && own && GetParent(own) == container &&
                                                         IsWindowVisible(own));
      RECT moved{40, 50, 240, 90};
      ip->SetObjectRects(&moved, &moved);
      RECT r{};
      GetWindowRect(own, &r);
      Check(n + "placed by SetObjectRects", r.right - r.left == 200 && r.bottom - r.top == 40);
      Check(n + "Close", ole->Close(OLECLOSE_NOSAVE) == S_OK);
      Check(n + "its window went with it", !IsWindow(own));
    } else {
      Check(n + "no window of its own", hw == E_FAIL && own == nullptr);
      Check(n + "InPlaceDeactivate", ip->InPlaceDeactivate() == S_OK);
    }
    Check(n + "deactivation told [" + site.log.substr(std::string(k.activateLog).size()) + "]",
          site.log == std::string(k.activateLog) + k.deactivateLog);
    ip->InPlaceDeactivate();  // a second time: nothing more
    Check(n + "deactivated once", site.log == std::string(k.activateLog) + k.deactivateLog);
    ip->Release();
    ole->SetClientSite(nullptr);
    ole->Release();
  }

  DestroyWindow(container);
  CoUninitialize();
  return quilta::test::Finish();
}
