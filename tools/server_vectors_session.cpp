// The vectors' session, card and log-in, and the sessions the plug-in refuses.
#include <cstdio>
#include <string>
#include <vector>

#include "base/hex.h"
#include "quilta_config.h"
#include "tools/server_vectors.h"

namespace quilta::server_vectors {

void Vectors::Session() {
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
    doc_.Line("| " + std::to_string(k) + " | " + std::to_string(kPositions[k]) + " | " + triple +
              " | " + table.substr(static_cast<size_t>(kPositions[k]), 1) + " |");
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

void Vectors::Card() {
  const sim::Profile& card = bank_.card();
  doc_.Line("## The card and the reader").Line();
  doc_.Line(
          "The simulator's default card (`sim/profiles/default.txt`) in a plain reader (reader "
          "type 1: "
          "the PIN \"" +
          std::string(kPin) +
          "\" typed on the page). Each TAC takes the card's next "
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

void Vectors::Login() {
  Require(main_.core.VerifyPIN(AsciiText(kPin)) == 0, "VerifyPIN");
  sim::TxnRequest r = bank_.Prepare(TxnKind::kLogin);
  main_.Put(bank_.PageInputs(r));
  Require(main_.core.DoLoginTAC() == 0, "DoLoginTAC: " + main_.core.errorText());
  const sim::TxnOutputs out = sim::PageOutputs(main_.core);
  const sim::Verdict v = bank_.Verify(r, out);
  Require(v.ok, "log-in: " + v.reason);
  doc_.Line("## DoLoginTAC").Line();
  doc_.Line("After `VerifyPIN(\"" + std::string(kPin) +
            "\")`, with the session's `nono` and `SessionKey` "
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

void Vectors::SessionFaults() {
  const bank::BankSession& s = bank_.session();
  const std::string nono = s.nono();
  const std::string key = s.sessionKey();
  auto lower = [](std::string t, bool highNibblesOnly) {
    for (size_t i = 0; i < t.size(); ++i)
      if ((!highNibblesOnly || i % 2 == 0) && t[i] >= 'A' && t[i] <= 'F')
        t[i] = static_cast<char>(t[i] - 'A' + 'a');
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
      {"`SessionKey` without its last digit (31)",
       {{"nono", nono}, {"SessionKey", key.substr(0, 31)}}},
      {"`SessionKey` with a digit added (33)", {{"nono", nono}, {"SessionKey", key + "0"}}},
      {"`SessionKey` as issued, then one of 51 characters",
       {{"nono", nono}, {"SessionKey", key}, {"SessionKey", key + std::string(19, '0')}}},
      {"`SessionKey` in lower case", {{"nono", nono}, {"SessionKey", lower(key, false)}}},
      {"`SessionKey` with only its 1st, 3rd, 5th, ... digits in lower case",
       {{"nono", nono}, {"SessionKey", lower(key, true)}}},
      {"session key \"ATNq7Rk2Vx9Lm4Pz\"",
       {{"nono", nono}, {"SessionKey", wrapped("ATNq7Rk2Vx9Lm4Pz")}}},
      {"session key with a zero byte at offset 8",
       {{"nono", nono}, {"SessionKey", wrapped(plainZero)}}},
      {"session key with the bytes A4 40 at offsets 3 and 4",
       {{"nono", nono}, {"SessionKey", wrapped(plainPair)}}},
  };
  doc_.Line("## Sessions the plug-in refuses").Line();
  doc_.Line(
          "`DoInquiryTAC(\"" + std::string(kPin) +
          "\")` on a card of its own after the writes "
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
    doc_.Line("**" + f.what + "**: " + std::to_string(st) + " \"" + b.core.errorText() + "\"")
        .Line();
    std::vector<std::pair<std::string, std::string>> rows;
    for (const sim::PageInput& w : f.writes) rows.push_back({w.property, Shown(w.value)});
    doc_.Code(rows);
  }
}

}  // namespace quilta::server_vectors
