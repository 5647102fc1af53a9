// A soak on the real PC/SC stack: 1,000 balance inquiries and 100 transfers with their
// confirmation rounds in one process, driven the way a bank's pages drive the plug-in (every
// call, write and read through the script layer, core/script.h, on a bank page), each result
// judged by the bank-server simulator. The pages come in visits, as a customer's would:
// ConnectDriver, ListReadersName, ConnectCard, SetReaderType 1, VerifyPIN, a log-in, a run of
// transactions (10 by default), DisconnectCard, DisconnectDriver; each visit with a fresh
// bank session (nono, SessionKey). In a transfer the scripted customer pulls the card out,
// puts it back (through the bridge's control channel, waiting until pcscd has seen each
// move), types the in-account's last three digits and confirms; the dialogs run on the
// customer's virtual time, the card moves and the mandated pauses on real time.
//
//   tools/pcsc-sandbox --build BUILD -- BUILD/bench/soak_bench [--inquiries N] [--transfers N]
//                                                             [--per-visit N]
//
// Between visits (no PC/SC context, no card handle held) it prints, at the start, after the
// first visit (caches warm), at half and all of the inquiries and after the transfers:
//   - our resident memory (VmRSS) and the heap in use (mallinfo2: bytes handed out by malloc
//     and not freed, the finer leak signal: RSS also moves with the allocator's free lists);
//   - our open file descriptors (/proc/self/fd);
//   - pcscd's client connections: pcsc-lite opens one UNIX socket to pcscd per context
//     (SCardEstablishContext) and pcscd holds its end until the context is released or the
//     client goes, so the count of pcscd's connected sockets on its pcscd.comm socket is the
//     number of contexts it keeps for its clients (in the sandbox this process, and the
//     bridge only while it waits for a card move); beside it pcscd's descriptors and
//     resident memory.
// Goal: flat. From the warm point on descriptors and pcscd's connections stay as they were and
// VmRSS within 256 kB; the heap in use at the end of each phase is what it was at its half, to
// less than a byte per transaction. Exit status 1 when a call fails or the bank refuses a
// result (flat or not, the figures are printed).
#include <dirent.h>
#include <malloc.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/member_table.h"
#include "core/atm_core.h"
#include "core/script.h"
#include "quilta_config.h"
#include "sim/bank_server.h"
#include "sim/control_client.h"
#include "testsupport/scripted_customer.h"
#include "ui/modal.h"

namespace {

namespace sim = quilta::sim;
using quilta::ScriptValue;
using Clock = std::chrono::steady_clock;

// ---- What the process and pcscd hold ---------------------------------------------------

// A "Name:  123 kB" line of /proc/<pid>/status, in kB; -1 when absent.
long StatusKb(const std::string& pid, const std::string& name) {
  std::ifstream in("/proc/" + pid + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, name.size() + 1, name + ":") == 0)
      return std::strtol(line.c_str() + name.size() + 1, nullptr, 10);
  }
  return -1;
}

// The targets of /proc/<pid>/fd's links (the directory's own descriptor left out for self).
std::vector<std::string> FdTargets(const std::string& pid) {
  std::vector<std::string> targets;
  const std::string dir = "/proc/" + pid + "/fd";
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return targets;
  const int own = pid == "self" ? dirfd(d) : -1;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    if (std::atoi(e->d_name) == own) continue;
    char buf[256];
    const ssize_t n = readlink((dir + "/" + e->d_name).c_str(), buf, sizeof buf - 1);
    targets.emplace_back(buf, n > 0 ? static_cast<size_t>(n) : 0);
  }
  closedir(d);
  return targets;
}

// Inodes of the connected (not listening) UNIX sockets bound to pcscd's socket path, from
// pcscd's network namespace: the server ends of its clients' connections.
std::set<std::string> PcscdClientInodes(const std::string& pid) {
  std::set<std::string> inodes;
  std::ifstream in("/proc/" + pid + "/net/unix");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    // Num RefCount Protocol Flags Type St Inode [Path]
    std::istringstream f(line);
    std::string num, ref, proto, flags, type, st, inode, path;
    f >> num >> ref >> proto >> flags >> type >> st >> inode >> path;
    if (path.find("pcscd.comm") == std::string::npos) continue;
    if (std::strtoul(flags.c_str(), nullptr, 16) & 0x10000) continue;  // the listening socket
    inodes.insert(inode);
  }
  return inodes;
}

struct Snapshot {
  const char* point = "";
  int inquiries = 0, transfers = 0;
  long rssKb = 0;
  size_t heapBytes = 0;
  size_t fds = 0;
  long pcscdClients = -1, pcscdFds = -1, pcscdRssKb = -1;
};

Snapshot Take(const char* point, int inquiries, int transfers, const std::string& pcscd) {
  // pcscd closes its end of a released context on its client thread, a moment after the
  // client closed its own: let it settle.
  usleep(300 * 1000);
  Snapshot s;
  s.point = point;
  s.inquiries = inquiries;
  s.transfers = transfers;
  s.rssKb = StatusKb("self", "VmRSS");
  s.heapBytes = mallinfo2().uordblks;
  s.fds = FdTargets("self").size();
  if (!pcscd.empty()) {
    const std::vector<std::string> fds = FdTargets(pcscd);
    const std::set<std::string> clients = PcscdClientInodes(pcscd);
    s.pcscdFds = static_cast<long>(fds.size());
    s.pcscdClients = 0;
    for (const std::string& t : fds) {
      if (t.compare(0, 8, "socket:[") == 0 && clients.count(t.substr(8, t.size() - 9)))
        ++s.pcscdClients;
    }
    s.pcscdRssKb = StatusKb(pcscd, "VmRSS");
  }
  return s;
}

void Print(const Snapshot& s) {
  std::printf("%-22s %5d %4d %9ld %11zu %4zu %8ld %6ld %8ld\n", s.point, s.inquiries, s.transfers,
              s.rssKb, s.heapBytes, s.fds, s.pcscdClients, s.pcscdFds, s.pcscdRssKb);
  std::fflush(stdout);
}

// ---- A bank page ------------------------------------------------------------------------

// The calls a page makes, through the script layer as every binding makes them.
class Page {
 public:
  Page(quilta::CAtmCore& core, const std::string& url)
      : layer_(core, quilta::Surface::NativeMessaging, url) {}

  int32_t Call(const std::string& method, const std::vector<std::string>& args = {}) {
    const std::optional<quilta::Member> m =
        quilta::FindMember(method, quilta::Surface::NativeMessaging);
    if (!m || !m->isMethod) return -1;
    std::vector<ScriptValue> values;
    for (const std::string& a : args) values.push_back(ScriptValue::OfText(quilta::FromUtf8(a)));
    const ScriptValue r = layer_.Invoke(m->method, values);
    return r.kind == ScriptValue::Kind::Int ? r.i : -1;
  }
  bool Set(const std::string& name, const std::string& value) {
    const std::optional<quilta::Member> m =
        quilta::FindMember(name, quilta::Surface::NativeMessaging);
    if (!m || m->isMethod) return false;
    if (quilta::Info(m->prop).type == quilta::ValueType::Int)
      return layer_.Set(m->prop, ScriptValue::OfInt(std::stoi(value)));
    return layer_.Set(m->prop, ScriptValue::OfText(quilta::FromUtf8(value)));
  }
  std::string Get(const std::string& name) const {
    const std::optional<quilta::Member> m =
        quilta::FindMember(name, quilta::Surface::NativeMessaging);
    if (!m || m->isMethod) return {};
    const std::optional<ScriptValue> v = layer_.Get(m->prop);
    if (!v) return {};
    if (v->kind == ScriptValue::Kind::Int) return std::to_string(v->i);
    return v->kind == ScriptValue::Kind::Text ? quilta::ToUtf8(v->text) : std::string();
  }

 private:
  quilta::ScriptLayer layer_;
};

struct Failure {
  std::string what;
};

int Usage() {
  std::fprintf(stderr, "usage: soak_bench [--inquiries N] [--transfers N] [--per-visit N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int inquiries = 1000, transfers = 100, perVisit = 10;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return Usage();
    const int n = std::atoi(argv[++i]);
    if (n < 0) return Usage();
    if (a == "--inquiries")
      inquiries = n;
    else if (a == "--transfers")
      transfers = n;
    else if (a == "--per-visit" && n > 0)
      perVisit = n;
    else
      return Usage();
  }

  const sim::SandboxSlot slot = sim::SandboxSlotFromEnvironment(0);
  if (slot.reader.empty() || slot.control.empty()) {
    std::printf(
        "soak_bench: not inside tools/pcsc-sandbox (no simulated card); nothing measured\n");
    return 0;
  }
  const char* pcscdEnv = std::getenv("QUILTA_SANDBOX_PCSCD_PID");
  const std::string pcscd = pcscdEnv ? pcscdEnv : "";
  const sim::ControlClient control(slot.control);
  const std::string url = "https://webatm." + std::string(quilta::config::kBankDomain) + "/atm/";

  quilta::CAtmCore& core = quilta::ProcessCore();
  const sim::Profile card = sim::DefaultProfile();
  sim::BankServer server(card);
  server.SetDateTime("20180104093000");
  uint64_t seed = 1;
  int judged = 0;

  std::printf("soak_bench: %d inquiries and %d transfers in visits of %d on %s; pcscd %s\n",
              inquiries, transfers, perVisit, slot.reader.c_str(),
              pcscd.empty() ? "unknown" : pcscd.c_str());
  std::printf("%-22s %5s %4s %9s %11s %4s %8s %6s %8s\n", "point", "inq", "xfer", "VmRSS kB",
              "heap bytes", "fds", "pcscd", "pcscd", "pcscd");
  std::printf("%-22s %5s %4s %9s %11s %4s %8s %6s %8s\n", "", "", "", "", "in use", "", "clients",
              "fds", "RSS kB");
  // Held without allocating between the points, so that the heap figures are the core's own.
  std::vector<Snapshot> shots;
  shots.reserve(8);
  auto take = [&](const char* point, int inq, int xfer) {
    shots.push_back(Take(point, inq, xfer, pcscd));
    Print(shots.back());
  };

  // One transaction of the kind on the page: the server's inputs written, the method called
  // with the PIN, the outputs read back and judged.
  // A transfer's confirmation is played by a fresh scripted customer (it keeps a record of
  // every dialog it saw): the card out, back in, the in-account's last three digits, OK.
  auto transaction = [&](Page& page, sim::TxnKind kind) {
    const sim::TxnRequest request = server.Prepare(kind);
    for (const sim::PageInput& in : server.PageInputs(request)) {
      if (!page.Set(in.property, in.value))
        throw Failure{"the page could not write " + in.property};
    }
    const std::string method(sim::MethodOf(kind));
    quilta::ui::ScriptedCustomer person;
    bool moved = true;
    if (kind == sim::TxnKind::kTransfer) {
      person.Wait(1)
          .Do([&] { moved = control.Remove(true) && moved; })
          .Wait(1)
          .Do([&] { moved = control.Insert(true) && moved; })
          .Wait(1)
          .Digits(request.inAccountNo.substr(request.inAccountNo.size() - 3))
          .Ok();
    }
    quilta::ui::ScopedDialogEnv env(&person);
    const int32_t st = page.Call(method, {card.pin});
    if (!moved) throw Failure{"the bridge did not move the card"};
    if (st != 0)
      throw Failure{method + " answered " + std::to_string(st) + " (" + page.Get("ErrorInfo") +
                    ")"};
    sim::TxnOutputs out;
    out.tac = page.Get("TAC");
    out.iccSeqNo = page.Get("IccSeqNo");
    out.sessionTac = page.Get("SessionTAC");
    out.encOutAccountNo = page.Get("EncOutAccountNo");
    const sim::Verdict v = server.Verify(request, out);
    if (!v) throw Failure{method + " refused by the bank: " + v.reason};
    ++judged;
    return request;
  };

  // One visit: the card opened, a log-in, `count` transactions of the kind, all released.
  auto visit = [&](sim::TxnKind kind, int count) {
    Page page(core, url);
    server.NewSession(seed++);
    auto expect = [&](const char* what, int32_t st) {
      if (st != 0)
        throw Failure{std::string(what) + " answered " + std::to_string(st) + " (" +
                      page.Get("ErrorInfo") + ")"};
    };
    expect("ConnectDriver", page.Call("ConnectDriver"));
    expect("ListReadersName", page.Call("ListReadersName"));
    if (!page.Set("ReaderName", slot.reader)) throw Failure{"ReaderName refused"};
    expect("ConnectCard", page.Call("ConnectCard"));
    expect("SetReaderType", page.Call("SetReaderType", {"1"}));
    expect("VerifyPIN", page.Call("VerifyPIN", {card.pin}));
    transaction(page, sim::TxnKind::kLogin);
    for (int i = 0; i < count; ++i) transaction(page, kind);
    expect("DisconnectCard", page.Call("DisconnectCard"));
    expect("DisconnectDriver", page.Call("DisconnectDriver"));
  };

  const auto t0 = Clock::now();
  double inquirySeconds = 0, transferSeconds = 0;
  try {
    take("start", 0, 0);
    int done = 0;
    auto inquiriesUpTo = [&](int target) {
      while (done < target) {
        const int n = std::min(perVisit, target - done);
        visit(sim::TxnKind::kInquiry, n);
        done += n;
      }
    };
    const auto i0 = Clock::now();
    inquiriesUpTo(std::min(perVisit, inquiries));
    take("first visit (warm)", done, 0);
    inquiriesUpTo(inquiries / 2);
    take("half the inquiries", done, 0);
    inquiriesUpTo(inquiries);
    take("all inquiries", done, 0);
    inquirySeconds = std::chrono::duration<double>(Clock::now() - i0).count();
    int moved = 0;
    const auto x0 = Clock::now();
    auto transfersUpTo = [&](int target) {
      while (moved < target) {
        const int n = std::min(perVisit, target - moved);
        visit(sim::TxnKind::kTransfer, n);
        moved += n;
      }
    };
    transfersUpTo(transfers / 2);
    take("half the transfers", done, moved);
    transfersUpTo(transfers);
    take("all transfers", done, moved);
    transferSeconds = std::chrono::duration<double>(Clock::now() - x0).count();
  } catch (const Failure& f) {
    std::printf("soak_bench: %s\n", f.what.c_str());
    core.DisconnectCard();
    core.DisconnectDriver();
    return 1;
  }
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  std::printf(
      "%d results judged by the bank-server simulator, all accepted; wall %.1f s (inquiry visits "
      "%.1f s, "
      "transfer visits %.1f s)\n",
      judged, wall, inquirySeconds, transferSeconds);

  // Flat: from the warm point on, descriptors and pcscd's connections as they were and VmRSS
  // within a small allowance (the allocator's free lists move); the heap in use the same at the
  // end of each phase as at its half, to less than a byte per transaction (the first transfers
  // warm the confirmation's road, as the first visit warms the inquiry's).
  constexpr long kRssSlackKb = 256;
  const Snapshot& warm = shots[1];
  bool flat = true;
  for (size_t i = 2; i < shots.size(); ++i) {
    const Snapshot& s = shots[i];
    if (s.fds != warm.fds || s.pcscdClients != warm.pcscdClients ||
        s.rssKb - warm.rssKb > kRssSlackKb) {
      flat = false;
      std::printf(
          "NOT flat at \"%s\": VmRSS %+ld kB, fds %+ld, pcscd clients %+ld since the warm point\n",
          s.point, s.rssKb - warm.rssKb, static_cast<long>(s.fds) - static_cast<long>(warm.fds),
          s.pcscdClients - warm.pcscdClients);
    }
  }
  auto growth = [&](const Snapshot& half, const Snapshot& all, int count, const char* what,
                    const char* one) {
    if (count <= 0) return;
    const long bytes = static_cast<long>(all.heapBytes) - static_cast<long>(half.heapBytes);
    std::printf("heap in use over the second half of the %s: %+ld bytes (%+.2f bytes per %s)\n",
                what, bytes, static_cast<double>(bytes) / count, one);
    if (count < 50) {
      std::printf("  (too few to judge: the first visits still warm up)\n");
    } else if (bytes >= count) {
      flat = false;
      std::printf("NOT flat: the heap grows with the %s\n", what);
    }
  };
  growth(shots[2], shots[3], shots[3].inquiries - shots[2].inquiries, "inquiries", "inquiry");
  growth(shots[4], shots[5], shots[5].transfers - shots[4].transfers, "transfers", "transfer");
  std::printf("%s (goal: flat)\n", flat ? "flat" : "NOT flat");
  return 0;
}
