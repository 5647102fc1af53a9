// quilta-pcsc-wait: lists the PC/SC readers, or waits until named readers appear (and,
// with --present, hold a card; with --empty, hold none). Used by tools/pcsc-sandbox.
//
//   quilta-pcsc-wait --list                  (one line per reader: name TAB present|empty)
//   quilta-pcsc-wait [--timeout SECONDS] [--present|--empty] READER...
//
// Exit status 0 when every reader reached the state in time, 1 otherwise.
#include <winscard.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> ListReaders(SCARDCONTEXT ctx) {
  DWORD len = 0;
  std::vector<std::string> out;
  if (SCardListReaders(ctx, nullptr, nullptr, &len) != SCARD_S_SUCCESS || len == 0) return out;
  std::string buf(len, '\0');
  if (SCardListReaders(ctx, nullptr, buf.data(), &len) != SCARD_S_SUCCESS) return out;
  for (size_t i = 0; i < buf.size() && buf[i] != 0;) {
    std::string name(buf.c_str() + i);
    i += name.size() + 1;
    out.push_back(name);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  bool list = false;
  int want = 0;  // 0 listed, 1 present, -1 empty
  double timeout = 10;
  std::vector<std::string> readers;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--list") {
      list = true;
    } else if (a == "--present") {
      want = 1;
    } else if (a == "--empty") {
      want = -1;
    } else if (a == "--timeout" && i + 1 < argc) {
      timeout = std::atof(argv[++i]);
    } else {
      readers.push_back(a);
    }
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long>(timeout * 1000));
  SCARDCONTEXT ctx = 0;
  // pcscd may still be starting: retry the context too.
  while (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &ctx) != SCARD_S_SUCCESS) {
    if (std::chrono::steady_clock::now() >= deadline) {
      std::cerr << "quilta-pcsc-wait: pcscd not reachable\n";
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (list) {
    for (const auto& r : ListReaders(ctx)) {
      SCARD_READERSTATE st{};
      st.szReader = r.c_str();
      st.dwCurrentState = SCARD_STATE_UNAWARE;
      const char* state = "unknown";
      if (SCardGetStatusChange(ctx, 0, &st, 1) == SCARD_S_SUCCESS) {
        state = (st.dwEventState & SCARD_STATE_PRESENT) ? "present" : (st.dwEventState & SCARD_STATE_EMPTY) ? "empty" : "other";
      }
      std::cout << r << "\t" << state << "\n";
    }
    SCardReleaseContext(ctx);
    return 0;
  }
  int rc = 1;
  while (std::chrono::steady_clock::now() < deadline) {
    auto listed = ListReaders(ctx);
    bool all = true;
    for (const auto& r : readers) {
      bool found = false;
      for (const auto& l : listed) found = found || l == r;
      if (!found) {
        all = false;
        break;
      }
      if (want != 0) {
        SCARD_READERSTATE st{};
        st.szReader = r.c_str();
        st.dwCurrentState = SCARD_STATE_UNAWARE;
        if (SCardGetStatusChange(ctx, 0, &st, 1) != SCARD_S_SUCCESS) {
          all = false;
          break;
        }
        DWORD flag = want > 0 ? SCARD_STATE_PRESENT : SCARD_STATE_EMPTY;
        if (!(st.dwEventState & flag)) {
          all = false;
          break;
        }
      }
    }
    if (all) {
      rc = 0;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  SCardReleaseContext(ctx);
  if (rc != 0) std::cerr << "quilta-pcsc-wait: readers not ready in time\n";
  return rc;
}
