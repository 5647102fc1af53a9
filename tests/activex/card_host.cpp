// The control on the real PC/SC stack under Wine: a compiled host on a page of the bank's
// domain (the client site's moniker) scripts it through IDispatch like the web-ATM page does:
// ConnectDriver, ListReadersName, ConnectCard, ReadBasicData, VerifyPIN (a wrong PIN, then the
// right one), and an inquiry with the bank's inputs, whose outputs it prints for the bank to
// judge (tests/activex/run-card-test). Then two transfers with their dialogs drawn by the
// Win32 renderer, a watcher thread playing the person: on the same reader the confirmation
// with the keypad (104): the in-account's last three digits typed on its keys, OK only after
// the card was pulled and put back (the simulator does that when asked);
// on the second reader, which has a PIN pad, the reader instruction (105), up while the
// customer types the PIN on the pad. Pictures of both are taken.
//   card_host.exe SHOTS READER INQUIRY TRANSFER PINPAD_READER PINPAD_TRANSFER
// READER: the simulated card's reader; INQUIRY, TRANSFER, PINPAD_TRANSFER: files of
// "Property=Value" lines (the bank's inputs). SHOTS: the request folder of
// tests/activex/with-screenshots. Prints "OUT", "OUT2" and "OUT3 Property=Value" for the
// outputs of the three transactions, and "ALL PASSED" last when every check held.
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
#include "tests/activex/page_site.h"
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

using Site = PageSite;

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
// `inAccount` (when given) gets the value of InAccountNo.
bool SetInputs(Page& page, const char* file, std::string* inAccount = nullptr) {
  std::ifstream inputs(file);
  std::string line;
  int count = 0;
  while (std::getline(inputs, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::wstring property = Wide(line.substr(0, eq));
    Check("set " + line.substr(0, eq), page.Put(property.c_str(), Wide(line.substr(eq + 1))));
    if (inAccount && line.substr(0, eq) == "InAccountNo") *inAccount = line.substr(eq + 1);
    ++count;
  }
  return count > 0;
}

// Asks the test's watcher for NAME (a screenshot; an action for "do-" names, see
// tests/activex/with-screenshots) and waits up to `ms` for it to be done.
bool Ask(const std::string& shots, const char* name, DWORD ms) {
  const std::wstring base = Wide(shots) + L"\\" + Wide(name);
  HANDLE h = CreateFileW((base + L".req").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  for (DWORD waited = 0; waited < ms; waited += 50) {
    if (GetFileAttributesW((base + L".done").c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    Sleep(50);
  }
  return false;
}

// Recognises the page thread's dialogs: the reader instruction (its operate text and
// instruction line) and the transfer confirmation (its countdown and OK).
BOOL CALLBACK FindInstruction(HWND hwnd, LPARAM found) {
  if (IsWindowVisible(hwnd) && GetDlgItem(hwnd, 206) && GetDlgItem(hwnd, quilta::ui::kIdTxnInstruction)) {
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
  }
  return TRUE;
}
BOOL CALLBACK FindConfirmation(HWND hwnd, LPARAM found) {
  if (IsWindowVisible(hwnd) && GetDlgItem(hwnd, quilta::ui::kIdCountdown) &&
      GetDlgItem(hwnd, quilta::ui::kIdOk)) {
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
  }
  return TRUE;
}

// What went wrong on the person's side; false.
bool Say(const char* what) {
  std::printf("the person: %s\n", what);
  return false;
}

// A click with the mouse in the middle of a window.
void ClickAt(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  INPUT in[3] = {};
  for (INPUT& i : in) {
    i.type = INPUT_MOUSE;
    i.mi.dx = (r.left + r.right) / 2 * 65535 / (sw - 1);
    i.mi.dy = (r.top + r.bottom) / 2 * 65535 / (sh - 1);
  }
  in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
  in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
  SendInput(3, in, sizeof(INPUT));
}

// Calls `method(arg)` on the page thread while another thread waits for the dialog `find`
// recognises among the page thread's windows and plays the person on it (`person(dialog)`,
// false when something the person waited for did not come). The method's status.
template <typename Person>
LONG WithDialog(Page& page, const wchar_t* method, const wchar_t* arg, WNDENUMPROC find,
                const std::string& what, Person person) {
  std::atomic<bool> done{false};
  bool seen = false, played = false;
  const DWORD pageThread = GetCurrentThreadId();
  std::thread watcher([&] {
    for (; !done; Sleep(50)) {
      HWND dlg = nullptr;
      EnumThreadWindows(pageThread, find, reinterpret_cast<LPARAM>(&dlg));
      if (dlg == nullptr) continue;
      seen = true;
      Sleep(300);  // painted
      played = person(dlg);
      return;
    }
  });
  const LONG status = page.Call(method, arg);
  done = true;
  watcher.join();
  Check(what + ": the dialog was shown", seen);
  Check(what + ": the person did their part", played);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) return 2;
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

  // A transfer on the ordinary reader: the confirmation dialog with the keypad (104) wants
  // the in-account's last three digits typed on its keys, and OK only after the card was
  // taken out and put back (the watcher has the simulator do that); then the person clicks OK.
  std::string inAccount;
  Check("the bank's transfer inputs", SetInputs(page, argv[4], &inAccount) && inAccount.size() >= 3);
  const LONG confirmed = WithDialog(page, L"DoTransferTAC", L"1234", &FindConfirmation,
                                    "confirmation", [&](HWND dlg) {
    HWND ok = GetDlgItem(dlg, quilta::ui::kIdOk);
    if (!Ask(shots, "104-real", 10000)) return Say("no picture");
    if (IsWindowEnabled(ok)) return Say("OK usable before the card was pulled");
    for (char c : inAccount.substr(inAccount.size() - 3)) {
      ClickAt(GetDlgItem(dlg, quilta::ui::kTransferKeypad.firstKeyId + (c - '0')));
      Sleep(150);
    }
    if (!Ask(shots, "do-reinsert", 20000)) return Say("the card was not pulled and put back");
    for (int i = 0; i < 100 && !IsWindowEnabled(ok); ++i) Sleep(50);
    if (!IsWindowEnabled(ok)) return Say("OK stays disabled after the card came back");
    if (!Ask(shots, "104-ready", 10000)) return Say("no picture");
    ClickAt(ok);
    return true;
  });
  Check("DoTransferTAC confirmed (" + std::to_string(confirmed) + ", " + page.Get(L"ErrorInfo") + ")",
        confirmed == 0);
  for (const wchar_t* p : {L"TAC", L"IccSeqNo", L"SessionTAC", L"EncOutAccountNo"})
    std::printf("OUT2 %s=%s\n", Narrow(p).c_str(), page.Get(p).c_str());

  // The transfer on the PIN-pad reader: the reader-instruction dialog stays up while the
  // customer types the PIN on the pad.
  const std::string pinpad = argv[5];
  Check("ReaderName of the PIN-pad reader", page.Put(L"ReaderName", Wide(pinpad)));
  Check("SetReaderType 2", page.Call(L"SetReaderType", L"2") == 0);
  Check("ConnectCard on the PIN-pad reader", page.Call(L"ConnectCard") == 0);
  Check("the bank's transfer inputs", SetInputs(page, argv[6]));
  const LONG typed = WithDialog(page, L"DoTransferTAC", L"", &FindInstruction, "reader instruction",
                                [&](HWND) { return Ask(shots, "105-pinpad", 10000); });
  Check("DoTransferTAC on the PIN-pad reader", typed == 0);
  for (const wchar_t* p : {L"TAC", L"IccSeqNo", L"SessionTAC", L"EncOutAccountNo"})
    std::printf("OUT3 %s=%s\n", Narrow(p).c_str(), page.Get(p).c_str());

  if (ole) {
    ole->SetClientSite(nullptr);
    ole->Release();
  }
  control->Release();
  CoUninitialize();
  if (failures == 0) std::printf("ALL PASSED\n");
  return failures == 0 ? 0 : 1;
}
