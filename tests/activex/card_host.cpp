// The control on pages, scripted as the web-ATM page scripts it: a small script host
// (script_host.h) creates the controls a page script sees, gives each a client site on its
// page (page_site.h), as a page's container does marks them safe for scripting, and runs a
// JScript file with them and `rig`, what a page cannot do itself:
//   ATM       on a page of the bank's domain whose URL is over 300 characters long (a query
//             the bank's pages may carry)
//   ATM2      on another page of the bank's domain
//   FOREIGN   on a page of another domain whose host begins with the bank's domain
//             (https://DOMAIN.evil.test/...)
// Two scripts: card_road.js, on the real PC/SC stack under Wine (run-card-test), and the
// page part of control_test.js, without a card.
//   rig.check(what, ok)        an assertion: prints "ok   what" or "FAIL what"
//   rig.arg(n)                 the n-th ARG after the script's exchange folder (text)
//   rig.bankPrepare(name)      the bank-server simulator prepares the transaction NAME
//                              (inquiry, transfer, pinpad): its inputs as the JSON text
//                              {"inputs": [[property, value], ...]}
//   rig.bankVerify(name, tac, iccSeqNo, sessionTac, encOutAccountNo)
//                              the bank judges the outputs: "accepted: REASON" or
//                              "refused: REASON"
//   rig.customer(dialog, plan) arms the person at the screen for the next dialog of the page
//                              thread, "confirmation" (a countdown and OK: 104) or "reader
//                              instruction" (105): once it shows, the steps of PLAN ("; "
//                              between them) are played from another thread while the
//                              script's call waits in the dialog (person.h)
//   rig.customerDone()         waits for the person: "" when the dialog was shown and every
//                              step held, otherwise what went wrong
//   card_host.exe SHOTS SCRIPT EXCHANGE [ARG...]
// SHOTS: the request folder of tests/activex/with-screenshots, which answers pictures and the
// "do-" requests ("do-remove" and "do-insert" of the card; "do-prepare-NAME", which writes
// EXCHANGE\NAME.json; "do-verify-NAME", which reads EXCHANGE\NAME.outputs, the four outputs a
// line each, and writes EXCHANGE\NAME.verdict); run-card-test provides them. Prints "ALL PASSED" last when
// every check held and the script ran to its end without an error.
#include <windows.h>
#include <objsafe.h>
#include <ole2.h>
#include <shellapi.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "activex/tovak.h"
#include "platform/win32/text.h"
#include "quilta_config.h"
#include "tests/activex/check.h"
#include "tests/activex/page_site.h"
#include "tests/activex/person.h"
#include "tests/activex/script_host.h"

namespace {

using quilta::platform::win32::Utf8;
using quilta::platform::win32::Wide;

using quilta::test::Ask;
using quilta::test::Check;
using quilta::test::FindConfirmation;
using quilta::test::FindInstruction;
using quilta::test::Person;

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return in ? text.str() : std::string();
}

// `rig` as the script sees it (an IDispatch on the host's stack).
class Rig final : public IDispatch {
 public:
  Rig(std::wstring shots, std::wstring exchange, std::vector<std::wstring> args)
      : shots_(std::move(shots)), exchange_(std::move(exchange)), args_(std::move(args)) {}
  ~Rig() { CustomerDone(); }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *ppv = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (const Member& m : kMembers) {
      if (count >= 1 && m.name == std::wstring(names[0])) {
        ids[0] = m.id;
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
      }
    }
    return DISP_E_UNKNOWNNAME;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) override {
    const Member* m = nullptr;
    for (const Member& k : kMembers) m = k.id == id ? &k : m;
    if (m == nullptr) return DISP_E_MEMBERNOTFOUND;
    if (params->cArgs != m->argc) return DISP_E_BADPARAMCOUNT;
    std::vector<std::wstring> a;
    for (UINT i = params->cArgs; i-- > 0;) {  // the first argument comes last
      VARIANT v;
      VariantInit(&v);
      if (FAILED(VariantChangeType(&v, &params->rgvarg[i], 0, VT_BSTR)))
        return DISP_E_TYPEMISMATCH;
      a.emplace_back(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
      VariantClear(&v);
    }
    std::wstring text;
    switch (id) {
      case kCheck:  // holds only for the boolean true
        Check(Utf8(a[0]), V_VT(&params->rgvarg[0]) == VT_BOOL && V_BOOL(&params->rgvarg[0]) == VARIANT_TRUE);
        break;
      case kArg: {
        const size_t n = _wtoi(a[0].c_str());
        text = n < args_.size() ? args_[n] : L"";
        break;
      }
      case kBankPrepare: text = BankPrepare(a[0]); break;
      case kBankVerify: text = BankVerify(a); break;
      case kCustomer: Customer(a[0], a[1]); break;
      case kCustomerDone: text = Wide(CustomerDone()); break;
    }
    if (result && m->returnsText) {
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    return S_OK;
  }

  std::string CustomerDone() {
    if (person_ == nullptr) return "no customer was armed";
    std::string what = person_->Done();
    delete person_;
    person_ = nullptr;
    return what;
  }

 private:
  enum : DISPID { kCheck = 1, kArg, kBankPrepare, kBankVerify, kCustomer, kCustomerDone };
  struct Member {
    const wchar_t* name;
    DISPID id;
    UINT argc;
    bool returnsText;
  };
  static constexpr Member kMembers[] = {
      {L"check", kCheck, 2, false},          {L"arg", kArg, 1, true},
      {L"bankPrepare", kBankPrepare, 1, true},
      {L"bankVerify", kBankVerify, 5, true}, {L"customer", kCustomer, 2, false},
      {L"customerDone", kCustomerDone, 0, true},
  };

  std::wstring BankPrepare(const std::wstring& name) {
    if (!Ask(shots_, L"do-prepare-" + name, 10000)) return L"";
    return Wide(ReadFile(exchange_ + L"\\" + name + L".json"));
  }
  std::wstring BankVerify(const std::vector<std::wstring>& a) {
    std::ofstream(std::filesystem::path(exchange_ + L"\\" + a[0] + L".outputs"), std::ios::binary)
        << Utf8(a[1]) << '\n' << Utf8(a[2]) << '\n' << Utf8(a[3]) << '\n' << Utf8(a[4]) << '\n';
    if (!Ask(shots_, L"do-verify-" + a[0], 10000)) return L"refused: the bank did not answer";
    std::string verdict = ReadFile(exchange_ + L"\\" + a[0] + L".verdict");
    while (!verdict.empty() && (verdict.back() == '\n' || verdict.back() == '\r')) verdict.pop_back();
    return Wide(verdict);
  }
  void Customer(const std::wstring& dialog, const std::wstring& plan) {
    CustomerDone();
    WNDENUMPROC find = dialog == L"confirmation" ? &FindConfirmation
                       : dialog == L"reader instruction" ? &FindInstruction : nullptr;
    if (find == nullptr) {
      Check("a known dialog [" + Utf8(dialog) + "]", false);
      return;
    }
    person_ = new Person(shots_, find, plan, GetCurrentThreadId());
  }

  const std::wstring shots_, exchange_;
  const std::vector<std::wstring> args_;
  Person* person_ = nullptr;
};

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);  // the texts as given
  if (argv == nullptr || argc < 4) return 2;
  const std::wstring shots = argv[1], exchange = argv[3];
  const std::string script = ReadFile(argv[2]);
  Check("the script " + Utf8(argv[2]), !script.empty());
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;

  const std::wstring domain = Wide(quilta::config::kBankDomain);
  std::wstring longQuery = L"?step=transfer";
  for (int i = 0; longQuery.size() <= 300; ++i)
    longQuery += L"&field" + std::to_wstring(i) + L"=0123456789abcdef";
  struct Page {
    const wchar_t* name;
    std::wstring url;
  };
  const Page pages[] = {
      {L"ATM", L"https://webatm." + domain + L"/atm/index.html" + longQuery},
      {L"ATM2", L"https://www." + domain + L"/atm/"},
      {L"FOREIGN", L"https://" + domain + L".evil.test/atm/index.html"},
  };
  Check("the bank's page URL is over 300 characters", pages[0].url.size() > 300);

  std::vector<std::unique_ptr<PageSite>> sites;  // outlive the controls' references
  std::vector<std::pair<std::wstring, IDispatch*>> items;
  for (const Page& page : pages) {
    IDispatch* control = nullptr;
    if (FAILED(CoCreateInstance(CLSID_CZELB, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&control)))) {
      std::printf("FAIL CoCreateInstance\n");
      return 1;
    }
    const std::string name = Utf8(page.name);
    IObjectSafety* safety = nullptr;
    Check(name + " safe for scripting",
          SUCCEEDED(control->QueryInterface(IID_IObjectSafety,
                                            reinterpret_cast<void**>(&safety))) &&
              safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                                INTERFACESAFE_FOR_UNTRUSTED_CALLER) == S_OK);
    if (safety) safety->Release();
    sites.push_back(std::make_unique<PageSite>(page.url));
    IOleObject* ole = nullptr;
    Check(name + " SetClientSite",
          SUCCEEDED(control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole))) &&
              ole->SetClientSite(sites.back().get()) == S_OK);
    if (ole) ole->Release();
    items.emplace_back(page.name, control);
  }

  int errors = 0;
  {
    std::vector<std::wstring> args;
    for (int i = 4; i < argc; ++i) args.push_back(argv[i]);
    Rig rig(shots, exchange, std::move(args));
    items.emplace_back(L"rig", &rig);
    errors = quilta::test::RunJScript(Wide(script), items);
    items.pop_back();
  }
  for (auto& [name, control] : items) {
    IOleObject* ole = nullptr;
    if (SUCCEEDED(control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)))) {
      ole->SetClientSite(nullptr);
      ole->Release();
    }
    control->Release();
  }
  CoUninitialize();
  return quilta::test::Finish(errors);
}
