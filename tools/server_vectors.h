// What the files of quilta-server-vectors share (server_vectors*.cpp): the fixed session and
// card of the vectors, the plug-in on the virtual reader, the document being written and the
// vectors' sections. Not used by anything else.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/atm_core.h"
#include "sim/bank_server.h"
#include "sim/fisc_card.h"
#include "sim/page_io.h"
#include "testsupport/bank_session.h"
#include "testsupport/scripted_customer.h"
#include "testsupport/virtual_pcsc.h"
#include "txn/blocks.h"
#include "ui/dialogs.h"

namespace quilta::server_vectors {

using sim::TxnKind;
using txn::BlockField;
using txn::BlockKind;

constexpr char kReader[] = "Sim Reader 0";
constexpr char kPin[] = "1234";
constexpr uint64_t kSessionSeed = 1;
constexpr uint64_t kCardSeed = 1;
constexpr char kServerDateTime[] = "20180104093015";
// The session: 16 table positions (the first and last two, the rest spread over the table)
// and the session key.
constexpr std::array<int, 16> kPositions = {0,   1,   7,   42,  99,  100, 123, 256,
                                            314, 500, 512, 666, 777, 808, 998, 999};
constexpr char kPlainKey[] = "ATMq7Rk2Vx9Lm4Pz";

// ---- Failures end the program: vectors the server would refuse document nothing. ----
[[noreturn]] void Die(const std::string& what);
void Require(bool ok, const std::string& what);

std::string Hex(const std::vector<uint8_t>& bytes);
std::string Hex(std::string_view bytes);
std::vector<uint8_t> Bytes(std::string_view hex);
// A text as the vectors show it: printable ASCII as it is, any other byte as \xHH.
std::string Shown(std::string_view bytes);

// The signed blocks field by field (--layouts, server_vectors_layouts.cpp).
std::string Layouts();

// ---- The plug-in on the virtual reader with the simulated card ----

struct Bench {
  explicit Bench(const sim::BankServer& bank);

  void Put(const std::vector<sim::PageInput>& inputs);
  void Put(std::string_view property, std::string_view value) {
    Put({{std::string(property), std::string(value)}});
  }

  // The customer at the confirmation: card out, back in, the keypad digits (if any), OK.
  void Confirms(const std::string& digits);

  platform::VirtualPcsc pcsc;
  platform::VirtualSleeper sleeper;
  std::shared_ptr<sim::FiscCard> card;
  CAtmCore core;
  ui::ScriptedCustomer person;
  ui::ScopedDialogEnv env{&person};
};

// The bank's server with the session of the vectors.
sim::BankServer Bank();

// ---- The document ----

class Doc {
 public:
  Doc& Line(const std::string& text = "") {
    out_ << text << "\n";
    return *this;
  }
  Doc& Code(const std::vector<std::pair<std::string, std::string>>& rows) {
    size_t width = 0;
    for (const auto& [name, value] : rows) width = std::max(width, name.size());
    out_ << "```\n";
    for (const auto& [name, value] : rows)
      out_ << name << std::string(width - name.size() + 2, ' ') << value << "\n";
    out_ << "```\n\n";
    return *this;
  }
  std::string str() const { return out_.str(); }

 private:
  std::ostringstream out_;
};

// A field decrypted under the session key, padding included, in quotes.
std::string PlainOf(const bank::BankSession& s, const std::string& hex);
// The simulated card's MAC input for a TAC: the sequence digits, the block, 80 00...
std::vector<uint8_t> MacInput(const std::string& iccSeqNo, const std::vector<uint8_t>& block);
// AES-128-CBC with a zero chain over `data`: the last cipher block.
std::vector<uint8_t> LastCbcBlock(const sim::Bytes16& key, const std::vector<uint8_t>& data);
// The TAC command's answer in its parts: byte 0, IccSeqNo, bytes 9 and 10, TAC, SW1 SW2.
std::string AnswerParts(const std::vector<uint8_t>& answer);

struct Played {
  sim::TxnRequest request;
  sim::TxnOutputs outputs;
};

class Vectors {
 public:
  Vectors() : bank_(Bank()), main_(bank_) {}

  // The whole document, section by section (server_vectors.cpp).
  std::string Run();

 private:
  // What the customer does at the reader-type-1 confirmation dialog.
  enum class Confirm { kNone, kReinsert, kReinsertAndTail };
  // What the plug-in answers to a session it cannot use: DoInquiryTAC on a card of its own
  // after the given writes (nono and SessionKey as listed, then the inquiry's other inputs).
  struct Fault {
    std::string what;
    std::vector<sim::PageInput> writes;
  };

  void Header();
  // The session, the card, the log-in and the refused sessions (server_vectors_session.cpp).
  void Session();
  void Card();
  void Login();
  void SessionFaults();
  // The transactions, the keypad, the TAC log and the PIN write
  // (server_vectors_transactions.cpp).
  void Transaction(const char* method, TxnKind kind,
                   int32_t (CAtmCore::*call)(const std::optional<Text>&), Confirm confirm,
                   const std::string& note);
  void KeypadInput();
  void TacLog();
  void PinWrite();

  sim::BankServer bank_;
  Bench main_;
  Doc doc_;
  std::vector<Played> played_;
};

}  // namespace quilta::server_vectors
