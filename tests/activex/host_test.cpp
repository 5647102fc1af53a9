// A compiled host of the control under Wine: what script cannot reach. Registration lookups,
// the keys without values, IObjectSafety's answers, case-sensitive names, the converter's
// handling of values a script host may pass, DISPPARAMS no script engine would hand over, the
// page from the client site's moniker (the typed entries and IDispatch off the bank's pages:
// sites elsewhere, without a moniker, none), the interface's last entry (no DISPID), and the
// pictures of the dialogs' keypads among the module's resources. Run after regsvr32; exit
// code 0 when every check passed, and "ALL PASSED" as the last line.
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
#include "page_site.h"

// A compiled client knows the interface's entry order: the last entry follows the type
// library's 157. (Outside the anonymous namespace: there GCC would conclude that no object
// implements it and drop the call.)
struct IZELBEx : public IZELB {
  virtual HRESULT STDMETHODCALLTYPE DoPolicyLoanTransferTAC(BSTR PIN, LONG* pVal) = 0;
};

namespace {

using quilta::test::Check;

bool KeyExists(const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

using Site = PageSite;

DISPID Id(IDispatch* d, const wchar_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return DISPID_UNKNOWN;
  return id;
}

// IDispatch::Invoke of the member NAME; the HRESULT, the result in `out`.
HRESULT Invoke(IDispatch* d, const wchar_t* name, WORD flags, DISPPARAMS* params, VARIANT* out) {
  VariantInit(out);
  return d->Invoke(Id(d, name), IID_NULL, LOCALE_USER_DEFAULT, flags, params, out, nullptr,
                   nullptr);
}

// A property read through IDispatch: S_OK and nothing (VT_EMPTY)?
bool ReadsEmpty(IDispatch* d, const wchar_t* name) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT v;
  return Invoke(d, name, DISPATCH_PROPERTYGET, &none, &v) == S_OK && V_VT(&v) == VT_EMPTY;
}

// A property write of TEXT through IDispatch, as script engines pass it; its HRESULT.
HRESULT PutText(IDispatch* d, const wchar_t* name, const wchar_t* text) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(text);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&v, &named, 1, 1};
  VARIANT out;
  const HRESULT hr = Invoke(d, name, DISPATCH_PROPERTYPUT, &params, &out);
  VariantClear(&v);
  return hr;
}

// A text property read through the typed entry get_ErrorInfo.
std::wstring ErrorInfo(IZELB* z) {
  BSTR text = nullptr;
  std::wstring value = z->get_ErrorInfo(&text) == S_OK && text ? text : L"(none)";
  SysFreeString(text);
  return value;
}

// A method call through IDispatch with one argument (or none); the status, or -1.
LONG CallStatus(IDispatch* d, const wchar_t* name, const VARIANT* arg) {
  VARIANT args[1];
  if (arg) args[0] = *arg;
  DISPPARAMS params{args, nullptr, arg ? 1u : 0u, 0};
  VARIANT result;
  VariantInit(&result);
  if (FAILED(d->Invoke(Id(d, name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                       &result, nullptr, nullptr)) ||
      V_VT(&result) != VT_I4) {
    return -1;
  }
  return V_I4(&result);
}

// Every keypad picture of the module by number, with its size: input keypad keys 0..9 and
// their hover pictures, its clear key; transfer keypad keys and hover pictures, its clear
// key; the toolbox picture.
void CheckKeypadPictures(HMODULE module) {
  struct Row {
    int first, count, width, height;
  };
  const Row rows[] = {
      {132, 2, 58, 40}, {134, 1, 58, 39}, {135, 2, 58, 40}, {137, 1, 58, 39}, {138, 1, 58, 40},
      {139, 1, 58, 39}, {140, 2, 58, 40}, {143, 10, 58, 40}, {153, 2, 126, 40},
      {732, 10, 28, 28}, {743, 10, 28, 28}, {716, 2, 56, 28}, {101, 1, 16, 16},
  };
  int wrong = 0;
  for (const Row& row : rows) {
    for (int n = row.first; n < row.first + row.count; ++n) {
      HBITMAP b = static_cast<HBITMAP>(
          LoadImageW(module, MAKEINTRESOURCEW(n), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
      BITMAP info{};
      const bool ok = b && GetObjectW(b, sizeof(info), &info) == sizeof(info) &&
                      info.bmWidth == row.width && info.bmHeight == row.height;
      if (!ok) std::printf("bitmap %d: %s %ldx%ld\n", n, b ? "is" : "missing", info.bmWidth, info.bmHeight);
      wrong += ok ? 0 : 1;
      if (b) DeleteObject(b);
    }
  }
  Check("keypad pictures: every number there, each of its size", wrong == 0);
}

}  // namespace

int main() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;

  CLSID clsid{};
  Check("ProgID TOVAK.ZELB -> CLSID",
        SUCCEEDED(CLSIDFromProgID(L"TOVAK.ZELB", &clsid)) && clsid == CLSID_CZELB);
  LPOLESTR progId = nullptr;
  Check("CLSID -> ProgID TOVAK.ZELB.1", SUCCEEDED(ProgIDFromCLSID(CLSID_CZELB, &progId)) &&
                                            progId && std::wstring(progId) == L"TOVAK.ZELB.1");
  CoTaskMemFree(progId);
  const std::wstring key = L"CLSID\\{E2F2FDAB-089C-4512-BA8B-DC725FED3640}\\";
  for (const wchar_t* sub : {L"Control", L"Programmable", L"Insertable"})
    Check("key without value", KeyExists((key + sub).c_str()));

  IZELB* zelb = nullptr;
  if (FAILED(CoCreateInstance(CLSID_CZELB, nullptr, CLSCTX_INPROC_SERVER, IID_IZELB,
                              reinterpret_cast<void**>(&zelb)))) {
    std::printf("FAIL CoCreateInstance\n");
    return 1;
  }

  HMODULE module = GetModuleHandleW(L"npquilta.dll");
  Check("npquilta.dll loaded", module != nullptr);
  if (module) CheckKeypadPictures(module);

  // IObjectSafety.
  IObjectSafety* safety = nullptr;
  Check("IObjectSafety", SUCCEEDED(zelb->QueryInterface(IID_IObjectSafety,
                                                        reinterpret_cast<void**>(&safety))));
  DWORD supported = 9, enabled = 9;
  Check("Get IDispatch before set",
        safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled) == S_OK &&
            supported == 1 && enabled == 0);
  Check("Set IDispatch 1 1", safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 1) == S_OK);
  Check("Get IDispatch after set",
        safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled) == S_OK &&
            supported == 1 && enabled == 1);
  Check("Get IPersistStreamInit",
        safety->GetInterfaceSafetyOptions(IID_IPersistStreamInit, &supported, &enabled) == S_OK &&
            supported == 2 && enabled == 0);
  Check("Get IOleObject", safety->GetInterfaceSafetyOptions(IID_IOleObject, &supported,
                                                            &enabled) == E_FAIL &&
                              supported == 0 && enabled == 0);
  Check("Set IOleObject", safety->SetInterfaceSafetyOptions(IID_IOleObject, 3, 3) == E_FAIL);
  Check("Set IPersistPropertyBag: the query's error",
        safety->SetInterfaceSafetyOptions(IID_IPersistPropertyBag, 2, 2) == E_NOINTERFACE);
  Check("Set mask 0", safety->SetInterfaceSafetyOptions(IID_IDispatch, 0, 1) == E_FAIL);
  safety->Release();

  // Names with case; the typed entries and IDispatch reach the same core.
  Check("ErrorInfo id", Id(zelb, L"ErrorInfo") == 22);
  Check("errorinfo unknown", Id(zelb, L"errorinfo") == DISPID_UNKNOWN);
  Check("DoAccessibleTransferTAC id", Id(zelb, L"DoAccessibleTransferTAC") == 135);
  BSTR version = nullptr;
  Check("typed GetComVersion", zelb->GetComVersion(&version) == S_OK && version &&
                                   std::wstring(version) == L"1,0,0,1");
  SysFreeString(version);
  Check("typed TACLog5 put", zelb->put_TACLog5(nullptr) == S_OK);
  LONG st = -1;

  // The page: the display name of the site's container moniker. On the bank's page the
  // core answers.
  const std::wstring domain(quilta::config::kBankDomain,
                            quilta::config::kBankDomain + sizeof(quilta::config::kBankDomain) - 1);
  IOleObject* ole = nullptr;
  Check("IOleObject",
        SUCCEEDED(zelb->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole))));
  Site bank(L"https://webatm." + domain + L"/atm/");
  Check("SetClientSite on the bank's page", ole->SetClientSite(&bank) == S_OK);

  // The last entry (no DISPID) reaches the policy-loan transfer of the core: with no
  // reader type chosen it refuses before any card command, as every TAC method does.
  auto* ex = static_cast<IZELBEx*>(zelb);
  st = -1;
  Check("last entry -> 5042", ex->DoPolicyLoanTransferTAC(nullptr, &st) == S_OK && st == 5042);
  Check("ErrorInfo 5042", ErrorInfo(zelb) == L"ReaderType is not valid. (5042)");

  // Values script hosts pass: a boolean counts as missing (6002), a missing optional
  // argument too; a whole number is its decimal text.
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = VARIANT_TRUE;
  Check("VerifyPIN(true) -> 6002", CallStatus(zelb, L"VerifyPIN", &v) == 6002);
  V_VT(&v) = VT_ERROR;
  V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
  Check("SetReaderType(missing) -> 5042", CallStatus(zelb, L"SetReaderType", &v) == 5042);
  V_VT(&v) = VT_R8;
  V_R8(&v) = 1.5;
  Check("SetReaderType(1.5) -> 5042", CallStatus(zelb, L"SetReaderType", &v) == 5042);

  // DISPPARAMS an in-process caller may hand over as they are: refused before any argument
  // is read, and nothing runs (ErrorInfo and the property stay).
  Check("ReaderName R", PutText(zelb, L"ReaderName", L"R") == S_OK);
  {
    VARIANT arg;
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = 1234;
    DISPID named = DISPID_PROPERTYPUT;
    struct Row {
      const char* what;
      const wchar_t* member;
      WORD flags;
      DISPPARAMS params;
      HRESULT want;
    };
    const Row rows[] = {
        {"a method, an argument without the array", L"VerifyPIN", DISPATCH_METHOD,
         {nullptr, nullptr, 1, 0}, E_INVALIDARG},
        {"a method, more named arguments than arguments", L"VerifyPIN", DISPATCH_METHOD,
         {&arg, &named, 0, 1}, DISP_E_BADPARAMCOUNT},
        {"a method, named arguments without their names", L"VerifyPIN", DISPATCH_METHOD,
         {&arg, nullptr, 1, 1}, E_INVALIDARG},
        {"a write, the value without the array", L"ReaderName", DISPATCH_PROPERTYPUT,
         {nullptr, &named, 1, 1}, E_INVALIDARG},
        {"a write, more named arguments than arguments", L"ReaderName", DISPATCH_PROPERTYPUT,
         {&arg, &named, 0, 1}, DISP_E_BADPARAMCOUNT},
        {"a read, more named arguments than arguments", L"ErrorInfo", DISPATCH_PROPERTYGET,
         {&arg, &named, 1, 2}, DISP_E_BADPARAMCOUNT},
    };
    for (const Row& row : rows) {
      DISPPARAMS params = row.params;
      VARIANT out;
      const HRESULT hr = Invoke(zelb, row.member, row.flags, &params, &out);
      Check((std::string("malformed DISPPARAMS: ") + row.what).c_str(), hr == row.want);
      VariantClear(&out);
    }
  }
  Check("... ErrorInfo as it was", ErrorInfo(zelb) == L"ReaderType is not valid. (5042)");
  BSTR readerName = nullptr;
  Check("... ReaderName as it was", zelb->get_ReaderName(&readerName) == S_OK && readerName &&
                                        std::wstring(readerName) == L"R");
  SysFreeString(readerName);

  // Off the bank's pages: a page elsewhere (its host begins with the bank's domain), a site
  // without a moniker, no site. The version and nothing else, through IDispatch and the
  // typed entries alike; what the bank's page reads stays as it was.
  Check("ReaderType 2", zelb->put_ReaderType(2) == S_OK);
  Site foreign(L"https://" + domain + L".evil.test/atm/?" + domain);
  Site noMoniker(std::nullopt);
  struct Off {
    const char* what;
    IOleClientSite* site;
  };
  for (const Off& off : {Off{"a foreign page", &foreign},
                         Off{"a site without a moniker", &noMoniker}, Off{"no site", nullptr}}) {
    const std::string what = off.what;
    auto check = [&](const char* c, bool ok) { Check(what + ": " + c, ok); };
    check("SetClientSite", ole->SetClientSite(off.site) == S_OK);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(L"1234");
    check("VerifyPIN 5004", CallStatus(zelb, L"VerifyPIN", &v) == 5004);
    VariantClear(&v);
    check("ConnectCard 5004", CallStatus(zelb, L"ConnectCard", nullptr) == 5004);
    st = -1;
    check("typed SetReaderType 5004", zelb->SetReaderType(nullptr, &st) == S_OK && st == 5004);
    st = -1;
    check("last entry 5004", ex->DoPolicyLoanTransferTAC(nullptr, &st) == S_OK && st == 5004);
    BSTR text = nullptr;
    check("typed GetComVersion", zelb->GetComVersion(&text) == S_OK && text &&
                                     std::wstring(text) == L"1,0,0,1");
    SysFreeString(text);
    for (const wchar_t* name : {L"ErrorInfo", L"ReaderName", L"ReaderType", L"SessionKey"}) {
      const std::string read = "read " + std::string(name, name + wcslen(name)) + ": nothing";
      check(read.c_str(), ReadsEmpty(zelb, name));
    }
    check("typed ErrorInfo empty", ErrorInfo(zelb).empty());
    LONG type = -1;
    check("typed ReaderType 0", zelb->get_ReaderType(&type) == S_OK && type == 0);
    check("write ReaderName", PutText(zelb, L"ReaderName", L"F") == S_OK);
    check("write the read-only Reader0", PutText(zelb, L"Reader0", L"F") == S_OK);
    check("typed writes", zelb->put_ReaderName(nullptr) == S_OK && zelb->put_ReaderType(3) == S_OK);
  }
  Check("SetClientSite on the bank's page again", ole->SetClientSite(&bank) == S_OK);
  Check("... ErrorInfo as it was", ErrorInfo(zelb) == L"ReaderType is not valid. (5042)");
  readerName = nullptr;
  Check("... ReaderName as it was", zelb->get_ReaderName(&readerName) == S_OK && readerName &&
                                        std::wstring(readerName) == L"R");
  SysFreeString(readerName);
  LONG type = -1;
  Check("... ReaderType as it was", zelb->get_ReaderType(&type) == S_OK && type == 2);
  Check("SetClientSite(null)", ole->SetClientSite(nullptr) == S_OK);
  ole->Release();

  zelb->Release();
  CoUninitialize();
  return quilta::test::Finish();
}
