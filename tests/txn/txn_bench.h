// A core on the in-process virtual reader with the simulated FISC card behind the simulated
// PIN-pad reader, the scripted customer on virtual time and the bank-server simulator: the
// page's road of a transaction, with the server as the judge of what comes out.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/atm_core.h"
#include "testsupport/virtual_pcsc.h"
#include "sim/bank_server.h"
#include "sim/fisc_card.h"
#include "sim/page_io.h"
#include "sim/pinpad_reader.h"
#include "ui/dialogs.h"
#include "testsupport/scripted_customer.h"

namespace quilta::txn::testing {

inline constexpr char kReader[] = "Sim Reader 0";
inline constexpr char kPin[] = "1234";

using Member = int32_t (CAtmCore::*)(const std::optional<Text>&);

struct TxnBench {
  explicit TxnBench(sim::Profile profile = sim::DefaultProfile())
      : card(std::make_shared<sim::FiscCard>(profile)),
        pad(std::make_shared<sim::PinPadReader>(card)),
        server(std::move(profile)) {
    core.channel().pcsc = &pcsc;
    core.channel().sleeper = &sleeper;
    core.InstallDialogs();
    pcsc.InsertCard(kReader, pad);
    person.onCard = [this](bool in) {
      if (in) pcsc.InsertCard(kReader, pad);
      else pcsc.RemoveCard(kReader);
    };
    server.SetDateTime("20180104093000");
  }

  // The page's opening: ConnectDriver, ReaderName, ConnectCard, SetReaderType (0: never
  // called). The PIN pad types the card's PIN on types 2 and 3 and is an ordinary reader on
  // type 1. The log starts empty afterwards.
  void Open(int readerType) {
    ASSERT_EQ(core.ConnectDriver(), 0);
    core.PutText(Prop::ReaderName, AsciiText(kReader));
    ASSERT_EQ(core.ConnectCard(), 0) << core.errorText();
    if (readerType != 0) {
      ASSERT_EQ(core.SetReaderType(AsciiText(std::to_string(readerType))), 0);
    }
    pad->SetSettings({readerType == 1 ? sim::PinPadAction::kPassThrough : sim::PinPadAction::kEnterPin,
                      card->InitialProfile().pin, "5678"});
    pcsc.ClearLog();
  }

  // The page writes what the server prepared (nono and SessionKey first).
  void Put(const sim::TxnRequest& request) {
    std::string unknown;
    ASSERT_TRUE(sim::PutPageInputs(core, server.PageInputs(request), &unknown)) << unknown;
  }

  sim::TxnOutputs Outputs() const { return sim::PageOutputs(core); }

  // The customer at the reader-type-1 confirmation: takes the card out, puts it back, types
  // `tail` on the keypad of the transfer dialog (if any) and confirms.
  void ConfirmsWithReinsert(const std::string& tail = "") {
    person.Wait(1).PullCard().Wait(1).InsertCard().Wait(1);
    if (!tail.empty()) person.Digits(tail);
    person.Ok();
  }

  // Commands that reached the card, as upper-case hex.
  std::vector<std::string> Sent() const { return pcsc.ApduLog(); }
  bool Sent(const std::string& prefix) const {
    for (const std::string& apdu : Sent())
      if (apdu.rfind(prefix, 0) == 0) return true;
    return false;
  }

  platform::VirtualPcsc pcsc;
  platform::VirtualSleeper sleeper;
  std::shared_ptr<sim::FiscCard> card;
  std::shared_ptr<sim::PinPadReader> pad;
  CAtmCore core;
  ui::ScriptedCustomer person;
  ui::ScopedDialogEnv scripted{&person};
  sim::BankServer server;
};

}  // namespace quilta::txn::testing
