// The vectors' setting: the failures that end the program, the hex and shown texts, the
// plug-in on the virtual reader with the simulated card, the bank's server with the vectors'
// session, and the values the document derives (decrypted fields, the MAC's input and output).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/hex.h"
#include "crypto/rijndael.h"
#include "quilta_config.h"
#include "tools/server_vectors.h"

namespace quilta::server_vectors {

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "quilta-server-vectors: %s\n", what.c_str());
  std::exit(1);
}
void Require(bool ok, const std::string& what) {
  if (!ok) Die(what);
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  return BytesToHex(bytes.data(), bytes.size());
}
std::string Hex(std::string_view bytes) {
  return BytesToHex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}
std::vector<uint8_t> Bytes(std::string_view hex) {
  std::vector<uint8_t> out(hex.size() / 2);
  HexToBytes(hex, out.size(), out.data());
  return out;
}
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

Bench::Bench(const sim::BankServer& bank)
    : card(std::make_shared<sim::FiscCard>(bank.card(), kCardSeed)) {
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

void Bench::Put(const std::vector<sim::PageInput>& inputs) {
  std::string unknown;
  Require(sim::PutPageInputs(core, inputs, &unknown), "no property " + unknown);
}

void Bench::Confirms(const std::string& digits) {
  person.Wait(1).PullCard().Wait(1).InsertCard().Wait(1);
  if (!digits.empty()) person.Digits(digits);
  person.Ok();
}

sim::BankServer Bank() {
  sim::BankServer bank(config::kKeyTable, sim::DefaultProfile());
  bank.NewSession(kSessionSeed);  // seeds the FdChkCode draws
  Require(bank.session().SetNono(bank::NonoForPositions(kPositions)), "nono of the positions");
  Require(bank.session().SetPlainKey(kPlainKey), "session key");
  bank.SetDateTime(kServerDateTime);
  return bank;
}

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
  Require(answer.size() == txn::kTacAnswerLength + 2,
          "the card's answer is 19 bytes and the status word");
  const std::string hex = Hex(answer);
  return hex.substr(0, 2) + " " + hex.substr(2, 16) + " " + hex.substr(18, 4) + " " +
         hex.substr(22, 16) + " " + hex.substr(38, 4);
}

}  // namespace quilta::server_vectors
