#include "tests/activex/person.h"

#include <sstream>

#include "platform/win32/text.h"
#include "ui/control_ids.h"

namespace quilta::test {
namespace {

// Looks every 20 ms, for up to `ms`, whether `done()` holds; whether it came to hold.
template <typename Done>
bool WaitFor(Done done, DWORD ms) {
  for (DWORD waited = 0; !done(); waited += 20) {
    if (waited >= ms) return false;
    Sleep(20);
  }
  return true;
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  const int n = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(n));
  return text;
}

// Waits until the dialog's countdown has moved twice. It moves as the dialog looks at the
// reader (once a second); the second move began after the first was shown, so the dialog
// has looked at the reader as it is now.
bool LookedAtReader(HWND dlg) {
  HWND countdown = GetDlgItem(dlg, ui::kIdCountdown);
  std::wstring last = TextOf(countdown);
  auto moved = [&] {
    std::wstring now = TextOf(countdown);
    return now != last ? (last = now, true) : false;
  };
  return WaitFor(moved, 5000) && WaitFor(moved, 5000);
}

// Nothing of the dialog or its controls is waiting to be painted.
bool Painted(HWND dlg) {
  if (GetUpdateRect(dlg, nullptr, FALSE)) return false;
  for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (GetUpdateRect(c, nullptr, FALSE)) return false;
  return true;
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

}  // namespace

bool Ask(const std::wstring& shots, const std::wstring& name, DWORD ms) {
  const std::wstring base = shots + L"\\" + name, done = base + L".done";
  DeleteFileW(done.c_str());
  HANDLE h =
      CreateFileW((base + L".req").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return WaitFor([&] { return GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, ms);
}

BOOL CALLBACK FindInstruction(HWND hwnd, LPARAM found) {
  if (IsWindowVisible(hwnd) && GetDlgItem(hwnd, 206) && GetDlgItem(hwnd, ui::kIdTxnInstruction)) {
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
  }
  return TRUE;
}
BOOL CALLBACK FindConfirmation(HWND hwnd, LPARAM found) {
  if (IsWindowVisible(hwnd) && GetDlgItem(hwnd, ui::kIdCountdown) && GetDlgItem(hwnd, ui::kIdOk)) {
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
  }
  return TRUE;
}

Person::Person(std::wstring shots, WNDENUMPROC find, std::wstring plan, DWORD pageThread)
    : shots_(std::move(shots)),
      find_(find),
      plan_(std::move(plan)),
      pageThread_(pageThread),
      thread_([this] { result_ = Play(); }) {}

std::string Person::Done() {
  stop_ = true;
  thread_.join();
  return result_;
}

std::string Person::Play() {
  HWND dlg = nullptr;
  for (; dlg == nullptr; Sleep(50)) {
    if (stop_) return "the dialog was not shown";
    EnumThreadWindows(pageThread_, find_, reinterpret_cast<LPARAM>(&dlg));
  }
  if (!WaitFor([dlg] { return Painted(dlg); }, 10000)) return "the dialog was not painted";
  std::wistringstream steps(plan_);
  for (std::wstring step; std::getline(steps, step, L';');) {
    step.erase(0, step.find_first_not_of(L' '));
    const std::string failed = Step(dlg, step);
    if (!failed.empty()) return "at [" + platform::win32::Utf8(step) + "]: " + failed;
  }
  return "";
}

std::string Person::Step(HWND dlg, const std::wstring& step) {
  HWND ok = GetDlgItem(dlg, ui::kIdOk);
  if (step.rfind(L"shot ", 0) == 0) return Ask(shots_, step.substr(5), 10000) ? "" : "no picture";
  if (step == L"ok disabled") return IsWindowEnabled(ok) ? "OK is usable" : "";
  if (step.rfind(L"keys ", 0) == 0) {
    // Each digit typed shows in the entry before the next key is clicked.
    HWND entry = GetDlgItem(dlg, ui::kIdTransferEntry);
    for (wchar_t c : step.substr(5)) {
      if (c < L'0' || c > L'9') return "not a digit";
      const int before = GetWindowTextLengthW(entry);
      ClickAt(GetDlgItem(dlg, ui::kTransferKeypad.firstKeyId + (c - L'0')));
      if (!WaitFor([&] { return GetWindowTextLengthW(entry) > before; }, 10000))
        return "the entry did not take the digit";
    }
    return "";
  }
  if (step == L"card out and in") {
    if (!Ask(shots_, L"do-remove", 20000)) return "the card was not pulled";
    if (!LookedAtReader(dlg)) return "the dialog did not look at the reader without the card";
    if (!Ask(shots_, L"do-insert", 20000)) return "the card was not put back";
    return LookedAtReader(dlg) ? "" : "the dialog did not look at the reader with the card";
  }
  if (step == L"ok enabled") {
    return WaitFor([ok] { return IsWindowEnabled(ok); }, 10000) ? "" : "OK stays disabled";
  }
  if (step == L"click ok") {
    ClickAt(ok);
    return "";
  }
  return "unknown step";
}

}  // namespace quilta::test
