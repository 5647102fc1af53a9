// Prints what the bank's server team works from, taken from the code itself:
//   quilta-server-vectors --layouts
//       the signed blocks field by field (txn/blocks.h), the tables of docs/server.md
//       between its generated-section markers;
//   quilta-server-vectors --vectors --keytable resources/dev-keytable.txt
//       docs/server-vectors.md: one session and every kind of transaction played by the
//       plug-in's own core on the in-process virtual reader with the simulated card, the
//       customer scripted, every output checked by the bank-server simulator.
// The vectors hold only for the development key table: when the build's key table is not
// the file given, --vectors prints nothing and exits with 2. It exits with 1 when the
// plug-in and the bank-server simulator disagree (then there is nothing to document).
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "card/pin.h"
#include "core/atm_core.h"
#include "base/hex.h"
#include "testsupport/bank_session.h"
#include "crypto/rijndael.h"
#include "testsupport/virtual_pcsc.h"
#include "quilta_config.h"
#include "sim/bank_server.h"
#include "sim/fisc_card.h"
#include "sim/page_io.h"
#include "txn/blocks.h"
#include "ui/dialogs.h"
#include "testsupport/scripted_customer.h"

namespace {

using namespace quilta;
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
constexpr std::array<int, 16> kPositions = {0, 1, 7, 42, 99, 100, 123, 256, 314, 500, 512, 666, 777, 808, 998, 999};
constexpr char kPlainKey[] = "ATMq7Rk2Vx9Lm4Pz";

// ---- Failures end the program: vectors the server would refuse document nothing. ----
[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "quilta-server-vectors: %s\n", what.c_str());
  std::exit(1);
}
void Require(bool ok, const std::string& what) {
  if (!ok) Die(what);
}

std::string Hex(const std::vector<uint8_t>& bytes) { return BytesToHex(bytes.data(), bytes.size()); }
std::string Hex(std::string_view bytes) {
  return BytesToHex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}
std::vector<uint8_t> Bytes(std::string_view hex) {
  std::vector<uint8_t> out(hex.size() / 2);
  HexToBytes(hex, out.size(), out.data());
  return out;
}

// A text as the vectors show it: printable ASCII as it is, any other byte as \xHH.
std::string Shown(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
    }
  }
  return out;
}

// ---- The block layouts ----

// Where a field's bytes come from (the page's property and the plug-in's rule).
const char* SourceOf(BlockField f) {
  switch (f) {
    case BlockField::kPCode: return "`PCode` as written";
    case BlockField::kAmount14: return "`Amount`: right-aligned in 12 digits, '0' in front, then \"00\"";
    case BlockField::kFdId: return "`FdId` as written";
    case BlockField::kFdChkCode: return "`FdChkCode` as written";
    case BlockField::kServerDateTime: return "`ServerDateTime` as written (YYYYMMDDhhmmss)";
    case BlockField::kInAccountNo: return "`InAccountNo` as written";
    case BlockField::kAccountNo: return "`AccountNo` as written (the paying account)";
    case BlockField::kFeeType: return "`FeeType` as written";
    case BlockField::kMerchantId: return "`MerchantId` as written";
    case BlockField::kId: return "`ID`: its first 16 bytes, blanks after a shorter one";
    case BlockField::kCTelNo: return "`CTelNo`: its first 10 bytes, blanks after a shorter one; ten blanks when never written";
  }
  return "";
}

const char* MethodsOf(BlockKind kind) {
  switch (kind) {
    case BlockKind::kInquiry: return "`DoInquiryTAC`, `DoAccessibleInquiryTAC`";
    case BlockKind::kTransfer: return "`DoTransferTAC`, `DoNBTransferTAC`, `DoAccessibleTransferTAC`";
    case BlockKind::kPayTax: return "`DoPayTaxTAC`";
    case BlockKind::kPayFee: return "`DoPayFeeTAC`";
    case BlockKind::kPayMoney: return "`DoPayMoneyTAC`";
    case BlockKind::kApply: return "`DoApplyTAC`";
  }
  return "";
}

std::string Layouts() {
  std::ostringstream out;
  for (const txn::BlockLayout& l : txn::kLayouts) {
    out << "**" << l.name << "** (" << MethodsOf(l.kind) << "): " << l.length << " bytes, Lc "
        << l.lc << ", TAC command " << l.length + 6 << " bytes\n\n";
    out << "| Offset | Width | Field | From |\n|---:|---:|---|---|\n";
    size_t offset = 0;
    for (BlockField f : l.fields) {
      out << "| " << offset << " | " << txn::WidthOf(f) << " | " << txn::NameOf(f) << " | " << SourceOf(f)
          << " |\n";
      offset += txn::WidthOf(f);
    }
    out << "\n";
  }
  return out.str();
}

// ---- The plug-in on the virtual reader with the simulated card ----

struct Bench {
  explicit Bench(const sim::BankServer& bank) : card(std::make_shared<sim::FiscCard>(bank.card(), kCardSeed)) {
    core.channel().pcsc = &pcsc;
    core.channel().sleeper = &sleeper;
    core.InstallDialogs();
    pcsc.InsertCard(kReader, card);
    person.onCard = [this](bool in) {
      if (in) pcsc.InsertCard(kReader, card);
      else pcsc.RemoveCard(kReader);
    };
    Require(core.ConnectDriver() == 0, "ConnectDriver");
    core.PutText(Prop::ReaderName, AsciiText(kReader));
    Require(core.ConnectCard() == 0, "ConnectCard: " + core.errorText());
    Require(core.SetReaderType(u"1") == 0, "SetReaderType");
  }

  void Put(const std::vector<sim::PageInput>& inputs) {
    std::string unknown;
    Require(sim::PutPageInputs(core, inputs, &unknown), "no property " + unknown);
  }
  void Put(std::string_view property, std::string_view value) { Put({{std::string(property), std::string(value)}}); }

  // The customer at the confirmation: card out, back in, the keypad digits (if any), OK.
  void Confirms(const std::string& digits) {
    person.Wait(1).PullCard().Wait(1).InsertCard().Wait(1);
    if (!digits.empty()) person.Digits(digits);
    person.Ok();
  }

  platform::VirtualPcsc pcsc;
  platform::VirtualSleeper sleeper;
  std::shared_ptr<sim::FiscCard> card;
  CAtmCore core;
  ui::ScriptedCustomer person;
  ui::ScopedDialogEnv env{&person};
};

// The bank's server with the session of the vectors.
sim::BankServer Bank() {
  sim::BankServer bank(config::kKeyTable, sim::DefaultProfile());
  bank.NewSession(kSessionSeed);  // seeds the FdChkCode draws
  Require(bank.session().SetNono(bank::NonoForPositions(kPositions)), "nono of the positions");
  Require(bank.session().SetPlainKey(kPlainKey), "session key");
  bank.SetDateTime(kServerDateTime);
  return bank;
}

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
    for (const auto& [name, value] : rows) out_ << name << std::string(width - name.size() + 2, ' ') << value << "\n";
    out_ << "```\n\n";
    return *this;
  }
  std::string str() const { return out_.str(); }

 private:
  std::ostringstream out_;
};

// A field decrypted under the session key, padding included, in quotes.
std::string PlainOf(const bank::BankSession& s, const std::string& hex) {
  auto plain = s.DecryptField(hex);
  Require(plain.has_value(), "cannot decrypt " + hex);
  return "\"" + Shown(*plain) + "\"";
}

// The simulated card's MAC input for a TAC: the sequence digits, the block, 80 00...
std::vector<uint8_t> MacInput(const std::string& iccSeqNo, const std::vector<uint8_t>& block) {
  std::vector<uint8_t> data(iccSeqNo.begin(), iccSeqNo.end());
  data.insert(data.end(), block.begin(), block.end());
  data.push_back(0x80);
  while (data.size() % 16 != 0) data.push_back(0x00);
  return data;
}

// AES-128-CBC with a zero chain over `data`: the last cipher block.
std::vector<uint8_t> LastCbcBlock(const sim::Bytes16& key, const std::vector<uint8_t>& data) {
  CRijndael aes;
  const char chain[16] = {};
  aes.SetKey(reinterpret_cast<const char*>(key.data()), chain, 16, 16);
  std::vector<char> out(data.size());
  aes.Encrypt(reinterpret_cast<const char*>(data.data()), out.data(), data.size(), CRijndael::CBC);
  return std::vector<uint8_t>(out.end() - 16, out.end());
}

// The TAC command's answer in its parts: byte 0, IccSeqNo, bytes 9 and 10, TAC, SW1 SW2.
std::string AnswerParts(const std::vector<uint8_t>& answer) {
  Require(answer.size() == txn::kTacAnswerLength + 2, "the card's answer is 19 bytes and the status word");
  const std::string hex = Hex(answer);
  return hex.substr(0, 2) + " " + hex.substr(2, 16) + " " + hex.substr(18, 4) + " " + hex.substr(22, 16) + " " +
         hex.substr(38, 4);
}

struct Played {
  sim::TxnRequest request;
  sim::TxnOutputs outputs;
};

class Vectors {
 public:
  Vectors() : bank_(Bank()), main_(bank_) {}

  std::string Run() {
    Header();
    Session();
    Card();
    Login();
    constexpr Confirm none = Confirm::kNone, plain = Confirm::kReinsert, tail = Confirm::kReinsertAndTail;
    Transaction("DoInquiryTAC", TxnKind::kInquiry, &CAtmCore::DoInquiryTAC, none, "");
    Transaction("DoAccessibleInquiryTAC", TxnKind::kInquiry, &CAtmCore::DoAccessibleInquiryTAC, none,
                "The inquiry of the ActiveX control's accessible road: the same block.");
    Transaction("DoTransferTAC", TxnKind::kTransfer, &CAtmCore::DoTransferTAC, tail,
                "`InBankNo` is checked, not signed.");
    Transaction("DoNBTransferTAC", TxnKind::kTransfer, &CAtmCore::DoNBTransferTAC, tail,
                "The transfer without the card-account check: the same block.");
    Transaction("DoAccessibleTransferTAC", TxnKind::kTransfer, &CAtmCore::DoAccessibleTransferTAC, plain,
                "The transfer of the ActiveX control's accessible road: the same block.");
    Transaction("DoPayTaxTAC", TxnKind::kPayTax, &CAtmCore::DoPayTaxTAC, plain,
                "`AccountNo` comes before `InAccountNo` (the bill's number) in this block. `FeeName` is "
                "shown only.");
    Transaction("DoPayFeeTAC", TxnKind::kPayFee, &CAtmCore::DoPayFeeTAC, plain,
                "`FeeName` is checked and shown, `InAccountNo` only shown: neither is signed.");
    Transaction("DoPayMoneyTAC", TxnKind::kPayMoney, &CAtmCore::DoPayMoneyTAC, plain, "");
    Transaction("DoApplyTAC", TxnKind::kApply, &CAtmCore::DoApplyTAC, plain,
                "`ID` is written with 10 characters: the plug-in pads it with blanks to 16. `ApplyType` "
                "only picks the dialog.");
    KeypadInput();
    TacLog();
    PinWrite();
    SessionFaults();
    return doc_.str();
  }

 private:
  void Header() {
    doc_.Line("# Test vectors for the bank's server")
        .Line()
        .Line("Generated by `quilta-server-vectors --vectors` (`tools/server_vectors.cpp`); do not edit. "
              "`cmake --build <tree> --target update-docs` writes it again, and the test "
              "`docs_server_up_to_date` fails when this file is not what the code gives. The format of every "
              "value is explained in `server.md`.")
        .Line()
        .Line("How they were made: the plug-in's own core on the in-process virtual reader, with the "
              "simulated card (`sim/`) and a scripted customer, the page's writes as the bank-server "
              "simulator prepared them; every result below was accepted by the bank-server simulator "
              "(`sim/bank_server.h`), whose verdict is quoted. The key table is the **development key "
              "table** `resources/dev-keytable.txt`, which must never be used in production. Nothing "
              "is random: the session, the card and the server's draws have fixed seeds.")
        .Line()
        .Line("Hex is upper case, bytes without separators; only the card's answer to the TAC command is "
              "shown in its parts (byte 0, the sequence number, bytes 9 and 10, the TAC, SW1 SW2). A "
              "decrypted field is shown in quotes with its '0' padding; `\\xHH` stands for a byte that is "
              "not printable.")
        .Line();
  }

  void Session() {
    const bank::BankSession& s = bank_.session();
    const std::string table = config::kKeyTable;
    doc_.Line("## The session").Line();
    doc_.Line("The server picks 16 positions of the key table; their characters, in order, are the "
              "key-encryption key.")
        .Line()
        .Line("| k | Position | Triple | Character |")
        .Line("|---:|---:|---|---|");
    std::string triples;
    for (size_t k = 0; k < kPositions.size(); ++k) {
      char triple[4];
      std::snprintf(triple, sizeof triple, "%03d", kPositions[k]);
      triples += triple;
      doc_.Line("| " + std::to_string(k) + " | " + std::to_string(kPositions[k]) + " | " + triple + " | " +
                table.substr(static_cast<size_t>(kPositions[k]), 1) + " |");
    }
    doc_.Line();
    std::string kek;
    for (int p : kPositions) kek.push_back(table[static_cast<size_t>(p)]);
    Require(kek == s.cipherKey(), "key-encryption key");
    Require(bank::PositionsOfNono(s.nono()) == kPositions, "positions of nono");
    doc_.Code({{"triples (d0..d47)", triples},
               {"nono", s.nono()},
               {"key-encryption key", kek},
               {"session key", s.plainKey()},
               {"session key (hex)", Hex(s.plainKey())},
               {"SessionKey", s.sessionKey()}});
  }

  void Card() {
    const sim::Profile& card = bank_.card();
    doc_.Line("## The card and the reader").Line();
    doc_.Line("The simulator's default card (`sim/profiles/default.txt`) in a plain reader (reader type 1: "
              "the PIN \"" + std::string(kPin) + "\" typed on the page). Each TAC takes the card's next "
              "sequence number, so the transactions below, played in this order on one card, get "
              "00000001, 00000002, ...")
        .Line();
    std::string accounts;
    for (const auto& a : card.accounts)
      if (a && *a != std::string(16, '0')) accounts += (accounts.empty() ? "" : ", ") + *a;
    doc_.Code({{"CardNo (identity)", BytesToHex(card.identity.data(), card.identity.size())},
               {"IssuerBankNo", card.issuer},
               {"accounts", accounts + " (the other six slots read 0000000000000000)"},
               {"TAC key", BytesToHex(card.tacKey.data(), card.tacKey.size())},
               {"first sequence number", std::to_string(card.sequence)}});
  }

  void Login() {
    Require(main_.core.VerifyPIN(AsciiText(kPin)) == 0, "VerifyPIN");
    sim::TxnRequest r = bank_.Prepare(TxnKind::kLogin);
    main_.Put(bank_.PageInputs(r));
    Require(main_.core.DoLoginTAC() == 0, "DoLoginTAC: " + main_.core.errorText());
    const sim::TxnOutputs out = sim::PageOutputs(main_.core);
    const sim::Verdict v = bank_.Verify(r, out);
    Require(v.ok, "log-in: " + v.reason);
    doc_.Line("## DoLoginTAC").Line();
    doc_.Line("After `VerifyPIN(\"" + std::string(kPin) + "\")`, with the session's `nono` and `SessionKey` "
              "written. No card command but the card read, no TAC. The plain text is the parts below "
              "joined, 176 characters.")
        .Line();
    const std::string text = bank_.ExpectedLoginText();
    Require(text.size() == txn::kLoginTextLength, "the log-in text");
    std::vector<std::pair<std::string, std::string>> rows = {{"CardNo", text.substr(0, 32)}};
    for (size_t k = 0; k < txn::kLoginSlots; ++k)
      rows.push_back({"AccountNo" + std::to_string(k), text.substr(32 + 16 * k, 16)});
    rows.push_back({"session key", text.substr(32 + 16 * txn::kLoginSlots)});
    rows.push_back({"SessionTAC", out.sessionTac});
    rows.push_back({"  decrypted", PlainOf(bank_.session(), out.sessionTac)});
    rows.push_back({"bank server", v.reason});
    doc_.Code(rows);
  }

  // What the customer does at the reader-type-1 confirmation dialog.
  enum class Confirm { kNone, kReinsert, kReinsertAndTail };

  void Transaction(const char* method, TxnKind kind, int32_t (CAtmCore::*call)(const std::optional<Text>&),
                   Confirm confirm, const std::string& note) {
    sim::TxnRequest r = bank_.Prepare(kind);
    if (kind != TxnKind::kInquiry && kind != TxnKind::kApply) r.amount = "1234567";
    main_.Put(bank_.PageInputs(r));
    const std::string digits = r.inAccountNo.substr(r.inAccountNo.size() - 3);
    if (confirm != Confirm::kNone) main_.Confirms(confirm == Confirm::kReinsertAndTail ? digits : "");
    main_.pcsc.ClearLog();
    Require((main_.core.*call)(AsciiText(kPin)) == 0, std::string(method) + ": " + main_.core.errorText());
    const sim::TxnOutputs out = sim::PageOutputs(main_.core);
    const sim::Verdict v = bank_.Verify(r, out);
    Require(v.ok, std::string(method) + ": " + v.reason);
    played_.push_back({r, out});

    const BlockKind blockKind = *sim::BlockKindOf(kind);
    const txn::BlockLayout& layout = txn::LayoutOf(blockKind);
    const std::string command = main_.pcsc.ApduLog().back();
    const std::vector<uint8_t> apdu = Bytes(command);
    Require(apdu.size() == layout.length + 6 && command.starts_with("00E21080"), "the last command is the TAC");
    const std::vector<uint8_t> block(apdu.begin() + 5, apdu.end() - 1);
    Require(block == bank_.ExpectedBlock(r), std::string(method) + ": the block is not the server's");

    doc_.Line("## " + std::string(method)).Line();
    if (!note.empty()) doc_.Line(note).Line();
    doc_.Line("The page writes, after `nono` and `SessionKey`:").Line();
    doc_.Line("| Property | Value |").Line("|---|---|");
    for (const sim::PageInput& in : bank_.PageInputs(r))
      if (in.property != "nono" && in.property != "SessionKey") doc_.Line("| `" + in.property + "` | " + in.value + " |");
    doc_.Line();
    std::string then = "Then `" + std::string(method) + "(\"" + kPin + "\")`";
    if (confirm == Confirm::kNone) then += ".";
    else if (confirm == Confirm::kReinsert) then += "; the customer takes the card out, puts it back and confirms.";
    else then += "; the customer takes the card out, puts it back, types " + digits +
                 " (the last three digits of `InAccountNo`) on the dialog's keypad and confirms.";
    doc_.Line(then).Line();
    doc_.Line("The block, " + std::to_string(layout.length) + " bytes:").Line();
    doc_.Line("| Offset | Width | Field | Bytes |").Line("|---:|---:|---|---|");
    size_t offset = 0;
    for (BlockField f : layout.fields) {
      const std::string bytes(block.begin() + static_cast<long>(offset),
                              block.begin() + static_cast<long>(offset + txn::WidthOf(f)));
      doc_.Line("| " + std::to_string(offset) + " | " + std::to_string(txn::WidthOf(f)) + " | " +
                std::string(txn::NameOf(f)) + " | `" + bytes + "` |");
      offset += txn::WidthOf(f);
    }
    doc_.Line();

    const card::ResponseApdu& response = main_.core.channel().response;
    const std::vector<uint8_t> answer(response.bytes(), response.bytes() + response.size());
    const std::vector<uint8_t> mac = MacInput(out.iccSeqNo, block);
    const std::vector<uint8_t> last = LastCbcBlock(bank_.card().tacKey, mac);
    Require(Hex(std::vector<uint8_t>(last.begin(), last.begin() + 8)) == out.tac, "the TAC is the MAC's");

    std::vector<std::pair<std::string, std::string>> rows = {
        {"block", Hex(block)},
        {"TAC command", command},
        {"card's answer", AnswerParts(answer)},
        {"MAC input", Hex(mac)},
        {"last CBC block", Hex(last)},
        {"IccSeqNo", out.iccSeqNo},
        {"TAC", out.tac},
        {"SessionTAC", out.sessionTac},
        {"  decrypted", PlainOf(bank_.session(), out.sessionTac)},
    };
    if (kind == TxnKind::kApply) {
      rows.push_back({"EncID", out.encId});
      rows.push_back({"  decrypted", PlainOf(bank_.session(), out.encId)});
    } else {
      rows.push_back({"EncOutAccountNo", out.encOutAccountNo});
      rows.push_back({"  decrypted", PlainOf(bank_.session(), out.encOutAccountNo)});
    }
    rows.push_back({"bank server", v.reason});
    doc_.Code(rows);
  }

  void KeypadInput() {
    const std::string value = "120";
    main_.person.Digits(value).Ok();
    Require(main_.core.DoInput() == 0, "DoInput: " + main_.core.errorText());
    const std::string valueTac = ToNarrow(main_.core.props().TextOf(Prop::ValueTAC));
    Require(ToNarrow(main_.core.props().TextOf(Prop::Value)) == value, "Value");
    const sim::Verdict v = bank_.VerifyValueTac(valueTac, value);
    Require(v.ok, "ValueTAC: " + v.reason);
    const bank::BankSession& s = bank_.session();
    Require(s.EncryptField("1200") == valueTac && s.EncryptField("1200000000000000") == valueTac,
            "the padding of 120");
    doc_.Line("## DoInput").Line();
    doc_.Line("The customer presses 1, 2, 0 on the keypad and OK. The plain text ends in '0', so "
              "\"120\", \"1200\" and \"1200000000000000\" all give this `ValueTAC`.")
        .Line();
    doc_.Code({{"Value", value},
               {"ValueTAC", valueTac},
               {"  decrypted", PlainOf(s, valueTac)},
               {"bank server", v.reason}});
  }

  void TacLog() {
    Require(main_.core.ReadTACLog() == 0, "ReadTACLog: " + main_.core.errorText());
    doc_.Line("## ReadTACLog").Line();
    doc_.Line("After the transactions above: the simulated card's records, newest first (sequence "
              "number, TAC, the block's first 14 bytes; a record never written is 30 zero bytes).")
        .Line();
    std::vector<std::pair<std::string, std::string>> rows;
    for (int k = 0; k < 10; ++k) {
      const std::string hex = ToNarrow(main_.core.props().TextOf(Prop::TACLog0 + k));
      rows.push_back({"TACLog" + std::to_string(k), hex});
      if (static_cast<size_t>(k) < played_.size()) {
        const Played& p = played_[played_.size() - 1 - static_cast<size_t>(k)];
        const sim::Verdict v = bank_.VerifyTacLogRecord(hex, p.request, p.outputs);
        Require(v.ok, "TACLog" + std::to_string(k) + ": " + v.reason);
        rows.push_back({"  bank server", v.reason});
      }
    }
    doc_.Code(rows);
  }

  // The card's PIN file written under the bank's write key: nothing signed, nothing encrypted.
  void PinWrite() {
    Bench b(bank_);
    const std::string key = *bank_.ExternalAuthKey("");
    const std::string aPin = sim::BankServer::PinBlockHex("5678");
    const auto block = card::PinBlockOf(u"5678");
    Require(block && BytesToHex(block->data(), block->size()) == aPin, "the PIN block");
    b.Put({{"Key", key}, {"aPIN", aPin}});
    b.pcsc.ClearLog();
    const int32_t st = b.core.SetPinActive();
    Require(st == 0, "SetPinActive: " + b.core.errorText());
    doc_.Line("## SetPinActive").Line();
    doc_.Line("A new PIN 5678 for the simulated card (a card of its own), whose write key is the "
              "fixed value of its profile. The commands the card receives:")
        .Line();
    std::vector<std::pair<std::string, std::string>> rows = {{"Key", key}, {"aPIN", aPin}};
    for (const std::string& apdu : b.pcsc.ApduLog()) rows.push_back({"command", apdu});
    rows.push_back({"status", std::to_string(st) + " \"" + b.core.errorText() + "\""});
    doc_.Code(rows);
  }

  // What the plug-in answers to a session it cannot use: DoInquiryTAC on a card of its own
  // after the given writes (nono and SessionKey as listed, then the inquiry's other inputs).
  struct Fault {
    std::string what;
    std::vector<sim::PageInput> writes;
  };

  void SessionFaults() {
    const bank::BankSession& s = bank_.session();
    const std::string nono = s.nono();
    const std::string key = s.sessionKey();
    auto lower = [](std::string t, bool highNibblesOnly) {
      for (size_t i = 0; i < t.size(); ++i)
        if ((!highNibblesOnly || i % 2 == 0) && t[i] >= 'A' && t[i] <= 'F') t[i] = static_cast<char>(t[i] - 'A' + 'a');
      return t;
    };
    auto wrapped = [&s](std::string_view plain) {
      return bank::WrapBlock(s.cipherKey(), plain);
    };
    std::string minus = nono;
    minus[0] = '-';
    std::string letters = nono;
    letters.replace(0, 3, "abc");
    const std::string plainZero = std::string("ATMq7Rk2") + '\0' + "Lm4Pz12";
    const std::string plainPair = std::string("ATM") + "\xA4\x40" + "k2Vx9Lm4Pz1";
    const std::vector<Fault> faults = {
        {"as issued", {{"nono", nono}, {"SessionKey", key}}},
        {"`nono` never written", {{"SessionKey", key}}},
        {"`nono` without its last digit (47)", {{"nono", nono.substr(0, 47)}, {"SessionKey", key}}},
        {"`nono` with a digit added (49)", {{"nono", nono + "7"}, {"SessionKey", key}}},
        {"`nono` with '-' for its first digit", {{"nono", minus}, {"SessionKey", key}}},
        {"`nono` with \"abc\" for its first three digits", {{"nono", letters}, {"SessionKey", key}}},
        {"`nono` as issued, then one of 201 digits",
         {{"nono", nono}, {"nono", std::string(201, '1')}, {"SessionKey", key}}},
        {"`SessionKey` without its last digit (31)", {{"nono", nono}, {"SessionKey", key.substr(0, 31)}}},
        {"`SessionKey` with a digit added (33)", {{"nono", nono}, {"SessionKey", key + "0"}}},
        {"`SessionKey` as issued, then one of 51 characters",
         {{"nono", nono}, {"SessionKey", key}, {"SessionKey", key + std::string(19, '0')}}},
        {"`SessionKey` in lower case", {{"nono", nono}, {"SessionKey", lower(key, false)}}},
        {"`SessionKey` with only its 1st, 3rd, 5th, ... digits in lower case",
         {{"nono", nono}, {"SessionKey", lower(key, true)}}},
        {"session key \"ATNq7Rk2Vx9Lm4Pz\"", {{"nono", nono}, {"SessionKey", wrapped("ATNq7Rk2Vx9Lm4Pz")}}},
        {"session key with a zero byte at offset 8", {{"nono", nono}, {"SessionKey", wrapped(plainZero)}}},
        {"session key with the bytes A4 40 at offsets 3 and 4", {{"nono", nono}, {"SessionKey", wrapped(plainPair)}}},
    };
    doc_.Line("## Sessions the plug-in refuses").Line();
    doc_.Line("`DoInquiryTAC(\"" + std::string(kPin) + "\")` on a card of its own after the writes "
              "listed (in order), then the inquiry's other inputs (`FdChkCode`, `AccountNo`, `PCode`). "
              "Status and `ErrorInfo` as the page reads them.")
        .Line();
    for (const Fault& f : faults) {
      Bench b(bank_);
      b.Put(f.writes);
      sim::TxnRequest r = bank_.Prepare(TxnKind::kInquiry);
      std::vector<sim::PageInput> rest = bank_.PageInputs(r);
      rest.erase(rest.begin(), rest.begin() + 2);
      b.Put(rest);
      const int32_t st = b.core.DoInquiryTAC(AsciiText(kPin));
      doc_.Line("**" + f.what + "**: " + std::to_string(st) + " \"" + b.core.errorText() + "\"").Line();
      std::vector<std::pair<std::string, std::string>> rows;
      for (const sim::PageInput& w : f.writes) rows.push_back({w.property, Shown(w.value)});
      doc_.Code(rows);
    }
  }

  sim::BankServer bank_;
  Bench main_;
  Doc doc_;
  std::vector<Played> played_;
};

std::optional<std::string> ReadTable(const char* path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--layouts") == 0) {
    std::fputs(Layouts().c_str(), stdout);
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[1], "--vectors") == 0 && std::strcmp(argv[2], "--keytable") == 0) {
    const std::optional<std::string> table = ReadTable(argv[3]);
    if (!table) Die(std::string("cannot read ") + argv[3]);
    if (*table != config::kKeyTable) {
      std::fprintf(stderr, "quilta-server-vectors: this tree's key table is not %s: no vectors\n", argv[3]);
      return 2;
    }
    std::fputs(Vectors().Run().c_str(), stdout);
    return 0;
  }
  std::fprintf(stderr, "usage: quilta-server-vectors --layouts\n"
                       "       quilta-server-vectors --vectors --keytable <development key table>\n");
  return 64;
}
