// The JScript host of the Windows tests (script_host.h): a script site that hands the engine
// the named objects and reports the script's errors.
#include "tests/activex/script_host.h"

#include <activscp.h>
#include <ole2.h>

#include <cstdio>

#include "platform/win32/text.h"

namespace quilta::test {

namespace {

// Lives on RunJScript's stack; the engine's references only count.
class Site final : public IActiveScriptSite {
 public:
  explicit Site(const std::vector<std::pair<std::wstring, IDispatch*>>& items) : items_(items) {}
  int errors = 0;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == __uuidof(IActiveScriptSite)) {
      *ppv = static_cast<IActiveScriptSite*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP GetLCID(LCID*) override { return E_NOTIMPL; }  // the user's default
  STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** unk, ITypeInfo** info) override {
    if (unk) *unk = nullptr;
    if (info) *info = nullptr;
    for (const auto& [itemName, object] : items_) {
      if (itemName != name) continue;
      // The object only: no type information (no events for the script to sink).
      if (!(mask & SCRIPTINFO_IUNKNOWN) || unk == nullptr) return TYPE_E_ELEMENTNOTFOUND;
      object->AddRef();
      *unk = object;
      return S_OK;
    }
    return TYPE_E_ELEMENTNOTFOUND;
  }
  STDMETHODIMP GetDocVersionString(BSTR* version) override {
    *version = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
  STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
  STDMETHODIMP OnScriptError(IActiveScriptError* error) override {
    ++errors;
    EXCEPINFO e{};
    DWORD context = 0;
    ULONG line = 0;
    LONG column = 0;
    error->GetExceptionInfo(&e);
    error->GetSourcePosition(&context, &line, &column);
    std::wstring text = e.bstrDescription ? e.bstrDescription : L"";
    if (text.empty()) {
      wchar_t code[32];
      swprintf(code, 32, L"HRESULT 0x%08lx", static_cast<unsigned long>(e.scode));
      text = code;
    }
    std::printf("FAIL script error at line %lu: %s\n", line + 1, platform::win32::Utf8(text).c_str());
    std::fflush(stdout);
    SysFreeString(e.bstrSource);
    SysFreeString(e.bstrDescription);
    SysFreeString(e.bstrHelpFile);
    return S_OK;
  }
  STDMETHODIMP OnEnterScript() override { return S_OK; }
  STDMETHODIMP OnLeaveScript() override { return S_OK; }

 private:
  const std::vector<std::pair<std::wstring, IDispatch*>>& items_;
};

}  // namespace

int RunJScript(const std::wstring& text, const std::vector<std::pair<std::wstring, IDispatch*>>& items) {
  CLSID jscript;
  IActiveScript* engine = nullptr;
  IActiveScriptParse* parse = nullptr;
  if (FAILED(CLSIDFromProgID(L"JScript", &jscript)) ||
      FAILED(CoCreateInstance(jscript, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IActiveScript),
                              reinterpret_cast<void**>(&engine))) ||
      FAILED(engine->QueryInterface(__uuidof(IActiveScriptParse), reinterpret_cast<void**>(&parse)))) {
    if (engine) engine->Release();
    std::printf("FAIL the JScript engine could not be created\n");
    return -1;
  }
  Site site(items);
  HRESULT hr = engine->SetScriptSite(&site);
  if (SUCCEEDED(hr)) hr = parse->InitNew();
  for (const auto& item : items) {
    if (SUCCEEDED(hr)) hr = engine->AddNamedItem(item.first.c_str(), SCRIPTITEM_ISVISIBLE);
  }
  if (SUCCEEDED(hr)) hr = engine->SetScriptState(SCRIPTSTATE_STARTED);
  if (FAILED(hr)) {
    std::printf("FAIL the JScript engine refused the set-up (0x%08lx)\n", static_cast<unsigned long>(hr));
    parse->Release();
    engine->Close();
    engine->Release();
    return -1;
  }
  // Started: the text runs now, inside this call. A script error has been reported to the
  // site by the time it returns (SCRIPT_E_REPORTED).
  EXCEPINFO excep{};
  hr = parse->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE,
                              nullptr, &excep);
  if (FAILED(hr) && site.errors == 0) {
    std::printf("FAIL the script did not run (0x%08lx)\n", static_cast<unsigned long>(hr));
    site.errors = 1;
  }
  parse->Release();
  engine->Close();
  engine->Release();
  return site.errors;
}

}  // namespace quilta::test
