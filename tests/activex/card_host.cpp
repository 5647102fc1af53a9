// The control on the real PC/SC stack under Wine: a compiled host on a page of the bank's
// domain (the client site's moniker) scripts it through IDispatch like the web-ATM page does:
// ConnectDriver, ListReadersName, ConnectCard, ReadBasicData, VerifyPIN (a wrong PIN, then the
// right one), and an inquiry with the bank's inputs, whose outputs it prints for the bank to
// judge (tests/activex/run-card-test). Then, on the second reader, which has a PIN pad, a
// transfer on reader type 2: the reader-instruction dialog (105, the Win32 renderer) stays up
// while the customer types the PIN on the pad; a watcher thread has its picture taken.
//   card_host.exe SHOTS READER INPUTS PINPAD_READER TRANSFER_INPUTS
// READER: the simulated card's reader; INPUTS: a file of "Property=Value" lines (the bank's
// inputs of the inquiry), TRANSFER_INPUTS those of the transfer. SHOTS: the screenshot
// request folder (tests/activex/with-screenshots). Prints "OUT Property=Value" for each
// inquiry output and "OUT2 Property=Value" for each transfer output, and "ALL PASSED" last
// when every check held.
#include <windows.h>
#include <ole2.h>
#include <urlmon.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "activex/tovak.h"
#include "quilta_config.h"
#include "ui/control_ids.h"

namespace {

int failures = 0;

void Check(const std::string& what, bool ok) {
  if (!ok) ++failures;
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  std::fflush(stdout);
}

std::wstring Wide(const std::string& s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string Narrow(const wchar_t* w) {
  if (w == nullptr) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
  return s;
}

// The client site of a page on the bank's host.
class Site final : public IOleClientSite {
 public:
  explicit Site(std::wstring url) : url_(std::move(url)) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
      *ppv = static_cast<IOleClientSite*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // on the stack
  STDMETHODIMP_(ULONG) Release() override { return 1; }
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

 private:
  std::wstring url_;
};

class Page {
 public:
  explicit Page(IDispatch* d) : d_(d) {}

  // A method with no argument or one text argument; its status, or -1.
  LONG Call(const wchar_t* name, const wchar_t* arg = nullptr) {
    VARIANT args[1];
    VariantInit(&args[0]);
    if (arg) {
      V_VT(&args[0]) = VT_BSTR;
      V_BSTR(&args[0]) = SysAllocString(arg);
    }
    DISPPARAMS params{args, nullptr, arg ? 1u : 0u, 0};
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = d_->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                  &params, &result, nullptr, nullptr);
    VariantClear(&args[0]);
    if (FAILED(hr) || V_VT(&result) != VT_I4) return -1;
    return V_I4(&result);
  }

  bool Put(const wchar_t* name, const std::wstring& value) {
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(value.c_str());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&v, &named, 1, 1};
    const HRESULT hr = d_->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                                  &params, nullptr, nullptr, nullptr);
    VariantClear(&v);
    return SUCCEEDED(hr);
  }

  // A property as text (numbers in decimal).
  std::string Get(const wchar_t* name) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    if (FAILED(d_->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                          &result, nullptr, nullptr)) ||
        FAILED(VariantChangeType(&result, &result, 0, VT_BSTR))) {
      return "<error>";
    }
    std::string s = Narrow(V_BSTR(&result));
    VariantClear(&result);
    return s;
  }

 private:
  DISPID Id(const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    d_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
  }
  IDispatch* d_;
};

// Writes the bank's inputs from a file of "Property=Value" lines; false when there were none.
bool SetInputs(Page& page, const char* file) {
  std::ifstream inputs(file);
  std::string line;
  int count = 0;
  while (std::getline(inputs, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::wstring property = Wide(line.substr(0, eq));
    Check("set " + line.substr(0, eq), page.Put(property.c_str(), Wide(line.substr(eq + 1))));
    ++count;
  }
  return count > 0;
}

// The reader-instruction dialog among the thread's windows: the one with its operate text and
// instruction line.
BOOL CALLBACK FindInstruction(HWND hwnd, LPARAM found) {
  if (IsWindowVisible(hwnd) && GetDlgItem(hwnd, 206) && GetDlgItem(hwnd, quilta::ui::kIdTxnInstruction)) {
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) return 2;
  const std::string shots = argv[1];
  const std::string reader = argv[2];
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  IDispatch* control = nullptr;
  if (FAILED(CoCreateInstance(CLSID_CZELB, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&control)))) {
    std::printf("FAIL CoCreateInstance\n");
    return 1;
  }
  Site site(L"https://webatm." + Wide(quilta::config::kBankDomain) + L"/atm/index.html");
  IOleObject* ole = nullptr;
  Check("SetClientSite", SUCCEEDED(control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole))) &&
                             ole->SetClientSite(&site) == S_OK);
  Page page(control);

  Check("ConnectDriver", page.Call(L"ConnectDriver") == 0);
  Check("ListReadersName", page.Call(L"ListReadersName") == 0);
  Check("ReaderCount >= 1", std::atoi(page.Get(L"ReaderCount").c_str()) >= 1);
  Check("Reader0 is the card's reader [" + page.Get(L"Reader0") + "]", page.Get(L"Reader0") == reader);
  Check("ReaderName", page.Put(L"ReaderName", Wide(reader)));
  Check("SetReaderType 1", page.Call(L"SetReaderType", L"1") == 0);
  Check("ConnectCard", page.Call(L"ConnectCard") == 0);
  Check("ReadBasicData", page.Call(L"ReadBasicData") == 0);
  Check("VerifyPIN with a wrong PIN -> 5031", page.Call(L"VerifyPIN", L"0000") == 5031);
  Check("VerifyPIN", page.Call(L"VerifyPIN", L"1234") == 0);

  Check("the bank's inquiry inputs", SetInputs(page, argv[3]));
  Check("DoInquiryTAC", page.Call(L"DoInquiryTAC", L"1234") == 0);
  Check("ErrorInfo after DoInquiryTAC", page.Get(L"ErrorInfo") == "Command successful. (0)");
  for (const wchar_t* p : {L"TAC", L"IccSeqNo", L"SessionTAC", L"EncOutAccountNo"})
    std::printf("OUT %s=%s\n", Narrow(p).c_str(), page.Get(p).c_str());

  // The transfer on the PIN-pad reader, its dialog on the screen.
  const std::string pinpad = argv[4];
  Check("ReaderName of the PIN-pad reader", page.Put(L"ReaderName", Wide(pinpad)));
  Check("SetReaderType 2", page.Call(L"SetReaderType", L"2") == 0);
  Check("ConnectCard on the PIN-pad reader", page.Call(L"ConnectCard") == 0);
  Check("the bank's transfer inputs", SetInputs(page, argv[5]));
  std::atomic<bool> done{false};
  std::atomic<bool> seen{false};
  const DWORD pageThread = GetCurrentThreadId();
  std::thread watcher([&] {
    while (!done) {
      HWND dlg = nullptr;
      EnumThreadWindows(pageThread, &FindInstruction, reinterpret_cast<LPARAM>(&dlg));
      if (dlg) {
        seen = true;
        Sleep(300);  // painted
        const std::wstring req = Wide(shots) + L"\\105-pinpad.req";
        HANDLE h = CreateFileW(req.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        return;
      }
      Sleep(50);
    }
  });
  const LONG transfer = page.Call(L"DoTransferTAC", L"");
  done = true;
  watcher.join();
  Check("DoTransferTAC on the PIN-pad reader", transfer == 0);
  Check("the reader-instruction dialog was shown", seen);
  for (const wchar_t* p : {L"TAC", L"IccSeqNo", L"SessionTAC", L"EncOutAccountNo"})
    std::printf("OUT2 %s=%s\n", Narrow(p).c_str(), page.Get(p).c_str());

  if (ole) {
    ole->SetClientSite(nullptr);
    ole->Release();
  }
  control->Release();
  CoUninitialize();
  if (failures == 0) std::printf("ALL PASSED\n");
  return failures == 0 ? 0 : 1;
}
