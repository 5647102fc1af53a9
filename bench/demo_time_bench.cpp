// Where the demo's time goes. Plays the demo's page script (tools/demo/web-atm.page, or the
// script given) against the real plug-in module, loaded through the page-script host's
// browser library, and splits each run's wall time into
//   - the mandated pauses: every sleep the module asks for, slept for real (the 200 ms
//     pauses of ConnectCard's power cycle, the 1,000 ms pause before the confirmation's
//     second reconnect when it happens; shown by length);
//   - card time: the time inside the PC/SC calls (transmit, connect, disconnect, status...);
//   - the simulated parties, which are not the plug-in's: the bank's server (`bank`
//     statements) and the customer moving the card or setting the PIN pad (`card`, `pinpad`,
//     the card pulled and put back during a dialog; on the real stack each move waits until
//     pcscd has seen it);
//   - our own time: the rest (the plug-in's code; the script host's parsing and NPAPI calls
//     are included, a few microseconds per statement).
// The dialogs run on the scripted customer's virtual time: their countdown ticks count as 0.
// The pauses are slept for real on both kinds of reader (quilta-pagehost --virtual runs them on
// virtual time), so that the embedded run shows what a real browser would wait.
//
//   demo_time_bench [--real-stack] [--runs N] [SCRIPT]
//
// By default on the embedded readers (the in-process virtual reader "Virtual PCD 00 00" and
// a PIN-pad reader in front of a second simulated card, as quilta-pagehost --virtual
// --pinpad-reader). --real-stack runs inside tools/pcsc-sandbox --slots 2 --pinpad
// 1=enter:1234 on the sandbox's pcscd, the cards moved through the bridges, as
// tools/run-demo --real-stack. Exit status 1 when a statement of the script failed.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/pcsc_meter.h"
#include "npapi/dev_hooks.h"
#include "testsupport/virtual_pcsc.h"
#include "quilta_config.h"
#include "sim/control_client.h"
#include "sim/fisc_card.h"
#include "sim/pinpad_reader.h"
#include "sim/profile.h"
#include "tools/pagehost/bank_statements.h"
#include "tools/pagehost/host_browser.h"
#include "tools/pagehost/script.h"
#include "tools/pagehost/customer_steps.h"
#include "testsupport/scripted_customer.h"

namespace {

namespace sim = quilta::sim;
using Clock = std::chrono::steady_clock;

constexpr char kVirtualReader[] = "Virtual PCD 00 00";
constexpr char kPinPadReader[] = "Todos eCode Connectable 0";

// Time spent by the simulated parties; nested measurements count once.
class PartyClock {
 public:
  template <typename F>
  void Time(F f) {
    if (depth_++ > 0) {
      f();
      --depth_;
      return;
    }
    const auto t0 = Clock::now();
    f();
    seconds += std::chrono::duration<double>(Clock::now() - t0).count();
    --depth_;
  }
  double seconds = 0;

 private:
  int depth_ = 0;
};

struct RunFigures {
  double wall = 0, pauses = 0, card = 0, bank = 0, customer = 0;
  double ours() const { return wall - pauses - card - bank - customer; }
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

int Usage() {
  std::fprintf(stderr, "usage: demo_time_bench [--real-stack] [--runs N] [SCRIPT]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool realStack = false;
  int runs = 3;
  std::string scriptPath = QUILTA_DEMO_SCRIPT;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--real-stack") realStack = true;
    else if (a == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    else if (!a.empty() && a[0] != '-') scriptPath = a;
    else return Usage();
  }
  std::ifstream file(scriptPath);
  std::stringstream script;
  script << file.rdbuf();
  if (!file) {
    std::fprintf(stderr, "demo_time_bench: cannot read %s\n", scriptPath.c_str());
    return 2;
  }

  const sim::SandboxSlot slot0 = sim::SandboxSlotFromEnvironment(0);
  const sim::SandboxSlot slot1 = sim::SandboxSlotFromEnvironment(1);
  if (realStack && (slot0.control.empty() || slot1.control.empty())) {
    std::printf("demo_time_bench: --real-stack runs inside tools/pcsc-sandbox --slots 2 --pinpad 1=enter:1234; "
                "nothing measured\n");
    return 0;
  }
  const sim::ControlClient control0(slot0.control), control1(slot1.control);

  std::string error;
  quilta::pagehost::Module* module = quilta::pagehost::Module::Load(QUILTA_PLUGIN_PATH, &error);
  auto attach = module ? reinterpret_cast<QuiltaDevAttachFunc>(module->Symbol("QuiltaDevAttach")) : nullptr;
  if (attach == nullptr) {
    std::fprintf(stderr, "demo_time_bench: %s\n", module ? "the module has no development hooks" : error.c_str());
    return 2;
  }

  // The readers: the embedded ones, or the sandbox's pcscd.
  const sim::Profile profile = sim::DefaultProfile();
  quilta::platform::VirtualPcsc virtualPcsc;
  auto card = std::make_shared<sim::FiscCard>(profile);
  auto pad = std::make_shared<sim::PinPadReader>(std::make_shared<sim::FiscCard>(profile));
  if (!realStack) {
    virtualPcsc.AddReader(kVirtualReader);
    virtualPcsc.InsertCard(kVirtualReader, card);
    virtualPcsc.AddReader(kPinPadReader);
    virtualPcsc.InsertCard(kPinPadReader, pad);
  }
  quilta::bench::MeteredPcsc pcsc(realStack ? quilta::platform::SystemPcsc() : virtualPcsc);
  quilta::bench::MeteredSleeper sleeper(quilta::platform::RealSleeper());

  PartyClock bankClock, customerClock;
  quilta::ui::ScriptedCustomer customer;
  auto moveCard = [&](bool in) {
    customerClock.Time([&] {
      if (realStack) (void)(in ? control0.Insert() : control0.Remove());
      else if (in) virtualPcsc.InsertCard(kVirtualReader, card);
      else virtualPcsc.RemoveCard(kVirtualReader);
    });
  };
  customer.onCard = moveCard;
  QuiltaDevDialogHooks hooks{sizeof(QuiltaDevDialogHooks), nullptr, &customer};
  attach(&pcsc, &sleeper, &hooks);

  auto setPad = [&](const sim::PinPadSettings& settings) {
    if (realStack) return control1.SetPinPad(settings.action, settings.pin, settings.newPin);
    pad->SetSettings(settings);
    return true;
  };

  std::printf("demo_time_bench: %s on %s, %d run(s); dialogs on virtual time\n", scriptPath.c_str(),
              realStack ? "the real PC/SC stack (pcscd + vpcd + card simulator)" : "the embedded virtual readers",
              runs);
  std::vector<RunFigures> figures;
  int failures = 0;
  for (int run = 0; run < runs; ++run) {
    // Every run starts as the demo does: the customer types 1234 on the PIN pad.
    if (!setPad({sim::PinPadAction::kEnterPin, profile.pin, ""})) {
      std::fprintf(stderr, "demo_time_bench: the PIN pad's bridge refused\n");
      return 2;
    }
    std::ostringstream transcript;
    quilta::pagehost::ScriptRunner runner(*module, "https://webatm." + std::string(quilta::config::kBankDomain) + "/atm",
                                          transcript);
    runner.variables["BANK_DOMAIN"] = quilta::config::kBankDomain;
    std::string upper = quilta::config::kBankDomain;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    runner.variables["BANK_DOMAIN_UPPER"] = upper;
    runner.variables["READER"] = realStack ? slot0.reader : kVirtualReader;
    runner.variables["PINPAD_READER"] = realStack ? slot1.reader : kPinPadReader;
    quilta::pagehost::BankStatements bank(profile, transcript);
    // The statements of the simulated parties; `dialogs` only lists what the dialogs showed.
    runner.extension = [&](const std::vector<std::string>& w, std::string* err) {
      if (w.empty()) return false;
      if (w[0] == "bank") {
        quilta::pagehost::Page* page = runner.current();
        if (page == nullptr) *err = "no page";
        else bankClock.Time([&] { bank.Run(*page, w, err); });
      } else if (w[0] == "card" && w.size() == 2) {
        moveCard(w[1] == "in");
      } else if (w[0] == "pinpad" && w.size() >= 2) {
        sim::PinPadSettings s;
        if (!sim::ParsePinPadAction(w[1], &s.action)) *err = "pinpad action";
        if (w.size() > 2) s.pin = w[2];
        if (w.size() > 3) s.newPin = w[3];
        customerClock.Time([&] {
          if (err->empty() && !setPad(s)) *err = "the PIN pad refused";
        });
      } else if (w[0] == "customer") {
        quilta::pagehost::QueueCustomerSteps(customer, w, err);
      } else if (w[0] != "dialogs") {
        return false;
      }
      return true;
    };

    pcsc.Reset();
    sleeper.byLength.clear();
    bankClock.seconds = customerClock.seconds = 0;
    const auto t0 = Clock::now();
    std::istringstream in(script.str());
    const int failed = runner.Run(in, scriptPath);
    RunFigures f;
    f.wall = std::chrono::duration<double>(Clock::now() - t0).count();
    f.pauses = sleeper.TotalSeconds();
    f.card = pcsc.TotalSeconds();
    f.bank = bankClock.seconds;
    f.customer = customerClock.seconds;
    figures.push_back(f);
    if (failed > 0) {
      std::printf("%s\n%d statement(s) failed in run %d\n", transcript.str().c_str(), failed, run + 1);
      ++failures;
      break;
    }

    std::printf("run %d: wall %.1f ms = pauses %.1f ms + card %.1f ms + bank server %.1f ms + customer %.1f ms"
                " + ours %.2f ms\n",
                run + 1, f.wall * 1e3, f.pauses * 1e3, f.card * 1e3, f.bank * 1e3, f.customer * 1e3, f.ours() * 1e3);
    std::printf("  pauses:");
    for (const auto& [ms, t] : sleeper.byLength)
      std::printf(" %llu x %u ms (%.1f ms)", static_cast<unsigned long long>(t.calls), ms, t.seconds * 1e3);
    if (sleeper.byLength.count(1000) == 0) std::printf("; no 1,000 ms reconnect pause");
    std::printf("\n  card:");
    for (int op = 0; op < quilta::bench::MeteredPcsc::kOps; ++op) {
      const auto& t = pcsc.tally(static_cast<quilta::bench::MeteredPcsc::Op>(op));
      if (t.calls) std::printf(" %s %llu (%.2f ms)", quilta::bench::MeteredPcsc::kNames[op],
                               static_cast<unsigned long long>(t.calls), t.seconds * 1e3);
    }
    std::printf("\n");
  }
  QuiltaDevDialogHooks own{sizeof(QuiltaDevDialogHooks), nullptr, nullptr};
  attach(nullptr, nullptr, &own);
  if (failures > 0) return 1;

  std::vector<double> wall, pauses, cardTime, bankTime, customerTime, ours;
  for (const RunFigures& f : figures) {
    wall.push_back(f.wall);
    pauses.push_back(f.pauses);
    cardTime.push_back(f.card);
    bankTime.push_back(f.bank);
    customerTime.push_back(f.customer);
    ours.push_back(f.ours());
  }
  std::printf("median of %d runs: wall %.1f ms; mandated pauses %.1f ms, card time %.1f ms, our own time %.2f ms "
              "(simulated bank server %.1f ms, customer moving cards %.1f ms)\n",
              runs, Median(wall) * 1e3, Median(pauses) * 1e3, Median(cardTime) * 1e3, Median(ours) * 1e3,
              Median(bankTime) * 1e3, Median(customerTime) * 1e3);
  return 0;
}
