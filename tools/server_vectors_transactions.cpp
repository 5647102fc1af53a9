// The vectors of every transaction, the keypad's input, the TAC log and the PIN write.
#include <string>
#include <vector>

#include "base/hex.h"
#include "card/pin.h"
#include "tools/server_vectors.h"

namespace quilta::server_vectors {

void Vectors::Transaction(const char* method, TxnKind kind,
                          int32_t (CAtmCore::*call)(const std::optional<Text>&), Confirm confirm,
                          const std::string& note) {
  sim::TxnRequest r = bank_.Prepare(kind);
  if (kind != TxnKind::kInquiry && kind != TxnKind::kApply) r.amount = "1234567";
  main_.Put(bank_.PageInputs(r));
  const std::string digits = r.inAccountNo.substr(r.inAccountNo.size() - 3);
  if (confirm != Confirm::kNone) main_.Confirms(confirm == Confirm::kReinsertAndTail ? digits : "");
  main_.pcsc.ClearLog();
  Require((main_.core.*call)(AsciiText(kPin)) == 0,
          std::string(method) + ": " + main_.core.errorText());
  const sim::TxnOutputs out = sim::PageOutputs(main_.core);
  const sim::Verdict v = bank_.Verify(r, out);
  Require(v.ok, std::string(method) + ": " + v.reason);
  played_.push_back({r, out});

  const BlockKind blockKind = *sim::BlockKindOf(kind);
  const txn::BlockLayout& layout = txn::LayoutOf(blockKind);
  const std::string command = main_.pcsc.ApduLog().back();
  const std::vector<uint8_t> apdu = Bytes(command);
  Require(apdu.size() == layout.length + 6 && command.starts_with("00E21080"),
          "the last command is the TAC");
  const std::vector<uint8_t> block(apdu.begin() + 5, apdu.end() - 1);
  Require(block == bank_.ExpectedBlock(r), std::string(method) + ": the block is not the server's");

  doc_.Line("## " + std::string(method)).Line();
  if (!note.empty()) doc_.Line(note).Line();
  doc_.Line("The page writes, after `nono` and `SessionKey`:").Line();
  doc_.Line("| Property | Value |").Line("|---|---|");
  for (const sim::PageInput& in : bank_.PageInputs(r))
    if (in.property != "nono" && in.property != "SessionKey")
      doc_.Line("| `" + in.property + "` | " + in.value + " |");
  doc_.Line();
  std::string then = "Then `" + std::string(method) + "(\"" + kPin + "\")`";
  if (confirm == Confirm::kNone) then += ".";
  else if (confirm == Confirm::kReinsert)
    then += "; the customer takes the card out, puts it back and confirms.";
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
  Require(Hex(std::vector<uint8_t>(last.begin(), last.begin() + 8)) == out.tac,
          "the TAC is the MAC's");

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

void Vectors::KeypadInput() {
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

void Vectors::TacLog() {
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
void Vectors::PinWrite() {
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

}  // namespace quilta::server_vectors
