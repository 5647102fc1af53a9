// The person at the screen of the card test (card_host.cpp): on a thread of its own while the
// page thread sits in a dialog, it waits for the dialog, waits until it is painted and plays
// a plan, its steps separated by "; ":
//   shot NAME        a picture of the screen, NAME.png
//   ok disabled      OK is not usable yet
//   keys DIGITS      the keypad's digit keys clicked, in order, each once the entry shows the
//                    digit before
//   card out and in  the simulator pulls the first slot's card and puts it back, each once
//                    the dialog has looked at the reader as it was
//   ok enabled       OK becomes usable within 10 s
//   click ok         OK clicked with the mouse
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace quilta::test {

// Asks the test's watcher (tests/activex/with-screenshots) in the folder SHOTS for NAME (a
// screenshot; an action for "do-" names) and waits up to `ms` for it to be done.
bool Ask(const std::wstring& shots, const std::wstring& name, DWORD ms);

// EnumThreadWindows callbacks for the page thread's dialogs: the reader instruction (its
// operate text and instruction line) and the transfer confirmation (its countdown and OK).
BOOL CALLBACK FindInstruction(HWND hwnd, LPARAM found);
BOOL CALLBACK FindConfirmation(HWND hwnd, LPARAM found);

class Person {
 public:
  // Starts waiting for the first window of PAGE_THREAD that `find` accepts.
  Person(std::wstring shots, WNDENUMPROC find, std::wstring plan, DWORD pageThread);
  // Stops waiting for a dialog that never came; "" or what went wrong.
  std::string Done();

 private:
  std::string Play();
  // One step of the plan; "" or what went wrong.
  std::string Step(HWND dlg, const std::wstring& step);

  const std::wstring shots_;
  const WNDENUMPROC find_;
  const std::wstring plan_;
  const DWORD pageThread_;
  std::atomic<bool> stop_{false};
  std::string result_;
  std::thread thread_;  // last: starts once the rest is in place
};

}  // namespace quilta::test
