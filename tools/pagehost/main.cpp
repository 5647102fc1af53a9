// quilta-pagehost: runs a page script against the plug-in module without a browser.
//
//   quilta-pagehost [--url URL] [--plugin PATH] [--deepbind] [--virtual [--card PROFILE]]
//                   [SCRIPT...]
//
// Loads libnpquilta.so as a browser does, creates a plug-in instance for the page URL
// (default: the bank's own host) and runs each script (or standard input, also for "-"),
// printing every statement with its result. --virtual points the plug-in at an in-process
// virtual reader "Virtual PCD 00 00" holding a simulated FISC card (the compiled-in demo
// card, or the profile file given with --card), at virtual time and at a scripted customer
// for its dialogs, through the module's development hooks. The script then plays the
// customer with "customer ..." (steps of the scripted customer: ok, cancel, esc, close,
// press ID, keys DIGITS FIRST-KEY-ID, wait TICKS, pull, insert), moves the card with
// "card out" / "card in", and prints what the dialogs showed with "dialogs". Exit status: 0 when every expectation held, 1 when one failed, 2 when
// the plug-in could not be loaded or the command line was wrong.
#include <cctype>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "npapi/dev_hooks.h"
#include "testsupport/virtual_pcsc.h"
#include "quilta_config.h"
#include "sim/control_client.h"
#include "sim/fisc_card.h"
#include "sim/pinpad_reader.h"
#include "sim/profile.h"
#include "testsupport/scripted_customer.h"
#include "tools/pagehost/host_browser.h"
#include "tools/pagehost/bank_statements.h"
#include "tools/pagehost/customer_steps.h"
#include "tools/pagehost/script.h"

namespace {

constexpr char kVirtualReader[] = "Virtual PCD 00 00";
// With --pinpad-reader: a second-generation reader with its own PIN pad, in front of a
// second simulated card.
constexpr char kPinPadReader[] = "Todos eCode Connectable 0";

// Virtual time: waits return at once.
class NoSleep final : public quilta::platform::Sleeper {
 public:
  void SleepMs(uint32_t ms) override { slept += ms; }
  uint64_t slept = 0;
};

int Usage() {
  std::cerr << "usage: quilta-pagehost [--url URL] [--plugin PATH] [--deepbind] "
               "[--virtual [--pinpad-reader] | --sandbox-customer] [--card PROFILE] [SCRIPT...]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string url = std::string("https://") + quilta::config::kBankDomain + "/";
  std::string plugin = QUILTA_PLUGIN_PATH;
  std::string cardProfile;
  bool virtualReader = false;
  bool deepBind = false;
  bool pinPadReader = false;
  bool sandboxCustomer = false;
  std::vector<std::string> scripts;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if ((a == "--url" || a == "--plugin" || a == "--card") && i + 1 < argc) {
      (a == "--url" ? url : a == "--plugin" ? plugin : cardProfile) = argv[++i];
    } else if (a == "--deepbind") {
      deepBind = true;
    } else if (a == "--virtual") {
      virtualReader = true;
    } else if (a == "--sandbox-customer") {
      sandboxCustomer = true;
    } else if (a == "--pinpad-reader") {
      pinPadReader = true;
    } else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      return Usage();
    } else {
      scripts.push_back(a);
    }
  }
  if ((pinPadReader && !virtualReader) || (sandboxCustomer && virtualReader)) return Usage();
  // --sandbox-customer: the system's PC/SC (the sandbox's pcscd of tools/pcsc-sandbox), the
  // scripted customer in front of the dialogs, and the simulated cards moved through the
  // bridges' control channels: slot 0 the ordinary reader, slot 1 the PIN-pad reader.
  const quilta::sim::SandboxSlot slot0 = quilta::sim::SandboxSlotFromEnvironment(0);
  const quilta::sim::SandboxSlot slot1 = quilta::sim::SandboxSlotFromEnvironment(1);
  if (sandboxCustomer && (slot0.control.empty() || slot1.control.empty())) {
    std::cerr << "quilta-pagehost: --sandbox-customer runs inside tools/pcsc-sandbox --slots 2\n";
    return 2;
  }
  const quilta::sim::ControlClient control0(slot0.control), control1(slot1.control);
  if (scripts.empty()) scripts.push_back("-");

  std::string error;
  quilta::pagehost::Module* module = quilta::pagehost::Module::Load(plugin, &error, 0, deepBind);
  if (module == nullptr) {
    std::cerr << "quilta-pagehost: " << error << "\n";
    return 2;
  }

  quilta::platform::VirtualPcsc pcsc;
  NoSleep sleeper;
  std::shared_ptr<quilta::sim::FiscCard> card;
  std::shared_ptr<quilta::sim::PinPadReader> pad;
  quilta::ui::ScriptedCustomer customer;
  size_t windowsShown = 0;
  if (virtualReader) {
    try {
      quilta::sim::Profile profile =
          cardProfile.empty() ? quilta::sim::DefaultProfile() : quilta::sim::LoadProfile(cardProfile);
      card = std::make_shared<quilta::sim::FiscCard>(profile);
      if (pinPadReader) {
        pad = std::make_shared<quilta::sim::PinPadReader>(
            std::make_shared<quilta::sim::FiscCard>(profile));
      }
    } catch (const std::exception& e) {
      std::cerr << "quilta-pagehost: " << e.what() << "\n";
      return 2;
    }
    pcsc.AddReader(kVirtualReader);
    pcsc.InsertCard(kVirtualReader, card);
    if (pad) {
      pcsc.AddReader(kPinPadReader);
      pcsc.InsertCard(kPinPadReader, pad);
    }
  }
  // Moves the card of the ordinary reader.
  auto moveCard = [&](bool in) {
    if (sandboxCustomer) (void)(in ? control0.Insert() : control0.Remove());
    else if (in) pcsc.InsertCard(kVirtualReader, card);
    else pcsc.RemoveCard(kVirtualReader);
  };
  if (virtualReader || sandboxCustomer) {
    auto attach = reinterpret_cast<QuiltaDevAttachFunc>(module->Symbol("QuiltaDevAttach"));
    if (attach == nullptr) {
      std::cerr << "quilta-pagehost: the plug-in has no development hooks\n";
      return 2;
    }
    customer.onCard = moveCard;
    QuiltaDevDialogHooks hooks{sizeof(QuiltaDevDialogHooks), nullptr, &customer};
    if (virtualReader) attach(&pcsc, &sleeper, &hooks);
    else attach(nullptr, nullptr, &hooks);
  }

  quilta::pagehost::ScriptRunner runner(*module, url, std::cout);
  runner.variables["BANK_DOMAIN"] = quilta::config::kBankDomain;
  std::string upper = quilta::config::kBankDomain;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  runner.variables["BANK_DOMAIN_UPPER"] = upper;
  // The readers a script names: the ordinary reader and the one with a PIN pad.
  runner.variables["READER"] = sandboxCustomer ? slot0.reader : kVirtualReader;
  runner.variables["PINPAD_READER"] = sandboxCustomer ? slot1.reader : kPinPadReader;
  quilta::sim::Profile bankCard;
  try {
    bankCard = cardProfile.empty() ? quilta::sim::DefaultProfile() : quilta::sim::LoadProfile(cardProfile);
  } catch (const std::exception& e) {
    std::cerr << "quilta-pagehost: " << e.what() << "\n";
    return 2;
  }
  quilta::pagehost::BankStatements bank(bankCard, std::cout);
  runner.extension = [&](const std::vector<std::string>& words, std::string* err) {
    if (!words.empty() && words[0] == "bank") {
      quilta::pagehost::Page* page = runner.current();
      if (page == nullptr) *err = "no page";
      else bank.Run(*page, words, err);
      return true;
    }
    if (words.empty() || (words[0] != "card" && words[0] != "customer" && words[0] != "dialogs" &&
                          words[0] != "pinpad")) {
      return false;
    }
    if (!virtualReader && !sandboxCustomer) {
      *err = "'" + words[0] + "' needs --virtual or --sandbox-customer";
      return true;
    }
    if (words[0] == "pinpad") {
      // pinpad enter PIN [NEWPIN] | pinpad timeout | pinpad cancel
      quilta::sim::PinPadSettings settings;
      if (!pad && !sandboxCustomer) {
        *err = "'pinpad' needs --pinpad-reader";
      } else if (words.size() < 2 || !quilta::sim::ParsePinPadAction(words[1], &settings.action)) {
        *err = "pinpad enter PIN [NEWPIN] | pinpad timeout | pinpad cancel | pinpad pass";
      } else {
        if (words.size() > 2) settings.pin = words[2];
        if (words.size() > 3) settings.newPin = words[3];
        if (pad) pad->SetSettings(settings);
        else if (!control1.SetPinPad(settings.action, settings.pin, settings.newPin)) *err = "the PIN pad's bridge refused";
      }
    } else if (words[0] == "card") {
      if (words.size() == 2 && (words[1] == "out" || words[1] == "in")) moveCard(words[1] == "in");
      else *err = "card in or card out";
    } else if (words[0] == "customer") {
      quilta::pagehost::QueueCustomerSteps(customer, words, err);
    } else {
      const auto& windows = customer.Windows();
      for (; windowsShown < windows.size(); ++windowsShown) {
        const auto& w = windows[windowsShown];
        std::cout << "  dialog " << w.templateNumber << " \"" << quilta::ToUtf8(w.caption) << "\"\n";
        // The texts the dialog set in its summary and instruction controls.
        for (int32_t id = 201; id <= 213; ++id) {
          const quilta::Text text = w.TextOf(id);
          if (!text.empty()) std::cout << "    text " << id << " \"" << quilta::ToUtf8(text) << "\"\n";
        }
        for (const auto& m : w.Messages()) std::cout << "    message \"" << quilta::ToUtf8(m) << "\"\n";
      }
    }
    return true;
  };

  int failures = 0;
  for (const std::string& s : scripts) {
    if (s == "-") {
      failures += runner.Run(std::cin, "<stdin>");
      continue;
    }
    std::ifstream in(s);
    if (!in) {
      std::cerr << "quilta-pagehost: cannot read " << s << "\n";
      return 2;
    }
    failures += runner.Run(in, s);
  }
  if (failures > 0) {
    std::cout << failures << " statement(s) failed\n";
    return 1;
  }
  return 0;
}
