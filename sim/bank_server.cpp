#include "sim/bank_server.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <exception>

#include "base/hex.h"
#include "quilta_config.h"
#include "sim/fisc_card.h"

namespace quilta::sim {
namespace {

using txn::BlockField;

constexpr size_t kAccountWidth = 16;
constexpr char kNoAccount[] = "0000000000000000";

Verdict Pass(std::string reason) { return {true, std::move(reason)}; }
Verdict Fail(std::string reason) { return {false, std::move(reason)}; }

bool IsDigits(std::string_view text, size_t n) {
  if (text.size() != n) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

std::string Quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  out.append(text);
  out.push_back('"');
  return out;
}

// The plug-in's fixed-width setter of ID and CTelNo: the first `width` bytes, blank-padded.
std::string FixedWidth(std::string_view text, size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

// The Amount write: "%012s" (right-aligned, '0'-padded, never cut) followed by "00".
std::string Amount14Of(std::string_view amount) {
  std::string out;
  if (amount.size() < 12) out.assign(12 - amount.size(), '0');
  out += amount;
  return out + "00";
}

// A card account field as the plug-in's card read presents it: the text up to the first
// zero byte when the field is usable, else 16 '0'. A field is unusable when it is all
// blanks, all zero bytes or all '0' characters.
std::string SlotOf(const std::optional<std::string>& field) {
  if (!field || field->size() != kAccountWidth) return kNoAccount;
  size_t blanks = 0, zeros = 0, digitZeros = 0;
  for (char c : *field) {
    if (c == ' ') ++blanks;
    else if (c == '\0') ++zeros;
    else if (c == '0') ++digitZeros;
    else break;
  }
  if (blanks == kAccountWidth || zeros == kAccountWidth || digitZeros == kAccountWidth) return kNoAccount;
  return std::string(field->c_str());
}

std::string LocalDateTime() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[16] = {};
  std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
  return text;
}

std::string EightDigits(uint64_t n) {
  char text[16];
  std::snprintf(text, sizeof text, "%08llu", static_cast<unsigned long long>(n % 100000000u));
  return text;
}

}  // namespace

std::string_view MethodOf(TxnKind kind) {
  switch (kind) {
    case TxnKind::kLogin: return "DoLoginTAC";
    case TxnKind::kInquiry: return "DoInquiryTAC";
    case TxnKind::kTransfer: return "DoTransferTAC";
    case TxnKind::kPayTax: return "DoPayTaxTAC";
    case TxnKind::kPayFee: return "DoPayFeeTAC";
    case TxnKind::kPayMoney: return "DoPayMoneyTAC";
    case TxnKind::kApply: return "DoApplyTAC";
  }
  return "";
}

std::optional<txn::BlockKind> BlockKindOf(TxnKind kind) {
  switch (kind) {
    case TxnKind::kLogin: return std::nullopt;
    case TxnKind::kInquiry: return txn::BlockKind::kInquiry;
    case TxnKind::kTransfer: return txn::BlockKind::kTransfer;
    case TxnKind::kPayTax: return txn::BlockKind::kPayTax;
    case TxnKind::kPayFee: return txn::BlockKind::kPayFee;
    case TxnKind::kPayMoney: return txn::BlockKind::kPayMoney;
    case TxnKind::kApply: return txn::BlockKind::kApply;
  }
  return std::nullopt;
}

txn::BlockInputs BlockInputsOf(const TxnRequest& r) {
  txn::BlockInputs in;
  in.pCode = r.pCode;
  in.amount14 = Amount14Of(r.amount);
  in.fdId = r.fdId;
  in.fdChkCode = r.fdChkCode;
  in.serverDateTime = r.serverDateTime;
  in.inAccountNo = r.inAccountNo;
  in.accountNo = r.accountNo;
  in.feeType = r.feeType;
  in.merchantId = r.merchantId;
  in.id = FixedWidth(r.id, txn::WidthOf(BlockField::kId));
  in.cTelNo = FixedWidth(r.cTelNo, txn::WidthOf(BlockField::kCTelNo));
  return in;
}

BankServer::BankServer(std::string_view keyTable, Profile card)
    : session_(keyTable), card_(std::move(card)), dateTime_(LocalDateTime()) {
  NewSession(0);
}

BankServer::BankServer(Profile card) : BankServer(config::kKeyTable, std::move(card)) {}

void BankServer::NewSession(uint64_t seed) {
  session_.NewSession(seed);
  draws_.seed(seed ^ 0x5155494C5441ull);
}

TxnRequest BankServer::Prepare(TxnKind kind) {
  TxnRequest r;
  r.kind = kind;
  r.fdId = EightDigits(nextFdId_++);
  r.fdChkCode = EightDigits(draws_());
  r.serverDateTime = dateTime_;
  r.amount = "1000";
  r.accountNo = kNoAccount;
  for (const auto& account : card_.accounts) {
    std::string slot = SlotOf(account);
    if (slot != kNoAccount) {
      r.accountNo = slot;
      break;
    }
  }
  r.inBankNo = "00500000";
  r.inAccountNo = "1234567890123456";
  for (const auto& registered : card_.registered) {
    if (!registered || registered->size() != 24) continue;
    std::string account = SlotOf(registered->substr(8));
    if (account != kNoAccount) {
      r.inBankNo = registered->substr(0, 8);
      r.inAccountNo = account;
      break;
    }
  }
  switch (kind) {
    case TxnKind::kLogin: break;
    case TxnKind::kInquiry: r.pCode = "2500"; break;
    case TxnKind::kTransfer: r.pCode = "2521"; break;
    case TxnKind::kPayTax:
      r.pCode = "2531";
      r.feeType = "11001";
      r.feeName = "房屋稅";
      r.inAccountNo = "2018010400012345";  // the bill's write-off number
      break;
    case TxnKind::kPayFee:
      r.pCode = "2561";
      r.feeName = "自來水費";
      r.inAccountNo = "9701040001234567";  // shown only
      break;
    case TxnKind::kPayMoney:
      r.pCode = "2541";
      r.merchantId = "000000000000000000000012345678";
      break;
    case TxnKind::kApply:
      r.pCode = "2590";
      r.id = "A123456789";
      r.cTelNo = "0912345678";
      r.applyType = 1;
      break;
  }
  return r;
}

std::vector<PageInput> BankServer::PageInputs(const TxnRequest& r) const {
  std::vector<PageInput> in = {{"nono", session_.nono()}, {"SessionKey", session_.sessionKey()}};
  auto add = [&in](const char* property, const std::string& value) { in.push_back({property, value}); };
  switch (r.kind) {
    case TxnKind::kLogin: break;
    case TxnKind::kInquiry:
      add("FdChkCode", r.fdChkCode), add("AccountNo", r.accountNo), add("PCode", r.pCode);
      break;
    case TxnKind::kTransfer:
      add("FdId", r.fdId), add("FdChkCode", r.fdChkCode), add("PCode", r.pCode);
      add("Amount", r.amount), add("ServerDateTime", r.serverDateTime);
      add("InAccountNo", r.inAccountNo), add("AccountNo", r.accountNo), add("InBankNo", r.inBankNo);
      break;
    case TxnKind::kPayTax:
      add("FdId", r.fdId), add("FdChkCode", r.fdChkCode), add("FeeType", r.feeType);
      add("PCode", r.pCode), add("Amount", r.amount), add("ServerDateTime", r.serverDateTime);
      add("InAccountNo", r.inAccountNo), add("AccountNo", r.accountNo), add("FeeName", r.feeName);
      break;
    case TxnKind::kPayFee:
      add("FdId", r.fdId), add("FdChkCode", r.fdChkCode), add("PCode", r.pCode);
      add("Amount", r.amount), add("ServerDateTime", r.serverDateTime);
      add("AccountNo", r.accountNo), add("FeeName", r.feeName), add("InAccountNo", r.inAccountNo);
      break;
    case TxnKind::kPayMoney:
      add("FdId", r.fdId), add("FdChkCode", r.fdChkCode), add("PCode", r.pCode);
      add("Amount", r.amount), add("ServerDateTime", r.serverDateTime);
      add("MerchantId", r.merchantId), add("AccountNo", r.accountNo);
      break;
    case TxnKind::kApply:
      add("FdChkCode", r.fdChkCode), add("PCode", r.pCode), add("ServerDateTime", r.serverDateTime);
      add("ID", r.id), add("CTelNo", r.cTelNo), add("ApplyType", std::to_string(r.applyType));
      break;
  }
  return in;
}

std::optional<std::vector<uint8_t>> BankServer::ExpectedBlock(const TxnRequest& r) const {
  auto kind = BlockKindOf(r.kind);
  if (!kind) return std::nullopt;
  return txn::BuildBlock(*kind, BlockInputsOf(r));
}

std::string BankServer::ExpectedLoginText() const {
  std::array<std::string, txn::kLoginSlots> slots;
  for (size_t k = 0; k < slots.size(); ++k) slots[k] = SlotOf(card_.accounts[k]);
  return txn::LoginSessionText(BytesToHex(card_.identity.data(), card_.identity.size()), slots,
                               session_.plainKey());
}

Verdict BankServer::VerifyLogin(const TxnOutputs& out) const {
  const std::string expected = ExpectedLoginText();
  const size_t expectedHex = (expected.size() + 15) / 16 * 32;
  if (out.sessionTac.size() != expectedHex)
    return Fail("SessionTAC is " + std::to_string(out.sessionTac.size()) + " hex digits, not " +
                std::to_string(expectedHex));
  auto plain = session_.DecryptField(out.sessionTac);
  if (!plain) return Fail("SessionTAC is not upper-case hex");
  if (session_.VerifyField(out.sessionTac, expected))
    return Pass("SessionTAC decrypts to the card number, the 8 account slots and the session key");
  size_t at = 0;
  while (at < expected.size() && (*plain)[at] == expected[at]) ++at;
  std::string where = "the padding";
  if (expected.size() == txn::kLoginTextLength) {
    if (at < 32) where = "the card number";
    else if (at < 32 + 16 * txn::kLoginSlots) where = "AccountNo" + std::to_string((at - 32) / 16);
    else where = "the session key";
  } else if (at < expected.size()) {
    where = "byte " + std::to_string(at);
  }
  return Fail("SessionTAC does not decrypt to card number + 8 account slots + session key: " + where +
              " differs");
}

Verdict BankServer::Verify(const TxnRequest& r, const TxnOutputs& out) const {
  auto kind = BlockKindOf(r.kind);
  if (!kind) return VerifyLogin(out);
  const txn::BlockLayout& layout = txn::LayoutOf(*kind);
  const txn::BlockInputs inputs = BlockInputsOf(r);
  if (auto misfit = txn::FirstMisfit(*kind, inputs))
    return Fail("the request's " + std::string(txn::NameOf(*misfit)) + " is not " +
                std::to_string(txn::WidthOf(*misfit)) + " characters");
  auto block = txn::BuildBlock(*kind, inputs);
  if (!IsDigits(out.iccSeqNo, 8)) return Fail("IccSeqNo " + Quoted(out.iccSeqNo) + " is not 8 digits");
  if (!IsUpperHex(out.tac, 8)) return Fail("TAC " + Quoted(out.tac) + " is not 16 upper-case hex digits");
  const std::string seqText = " (IccSeqNo " + out.iccSeqNo + ")";
  Bytes8 tac{};
  try {
    tac = ComputeTac(card_.tacKey, static_cast<uint32_t>(std::stoul(out.iccSeqNo)), block->data(),
                     block->size());
  } catch (const std::exception& e) {
    return Fail(std::string("TAC cannot be computed: ") + e.what());
  }
  if (BytesToHex(tac.data(), tac.size()) != out.tac)
    return Fail("TAC does not verify over the expected " + std::string(layout.name) + " block" + seqText);
  if (!session_.VerifyField(out.sessionTac, session_.plainKey()))
    return Fail("SessionTAC does not decrypt to the session key");
  if (r.kind == TxnKind::kApply) {
    if (!session_.VerifyField(out.encId, inputs.id))
      return Fail("EncID does not decrypt to ID " + Quoted(inputs.id));
    return Pass("TAC verified over the apply block" + seqText +
                "; SessionTAC and EncID decrypt to the session key and ID");
  }
  if (!session_.VerifyField(out.encOutAccountNo, r.accountNo))
    return Fail("EncOutAccountNo does not decrypt to AccountNo " + r.accountNo);
  return Pass("TAC verified over the " + std::string(layout.name) + " block" + seqText +
              "; SessionTAC and EncOutAccountNo decrypt to the session key and AccountNo");
}

Verdict BankServer::VerifyTacLogRecord(std::string_view tacLogHex, const TxnRequest& r,
                                       const TxnOutputs& out) const {
  if (!IsUpperHex(tacLogHex, kTacLogRecordSize))
    return Fail("the TAC log record is not " + std::to_string(2 * kTacLogRecordSize) +
                " upper-case hex digits");
  uint8_t record[kTacLogRecordSize];
  HexToBytes(tacLogHex, kTacLogRecordSize, record);
  if (std::string_view(reinterpret_cast<const char*>(record), 8) != out.iccSeqNo)
    return Fail("the TAC log record's sequence number is not IccSeqNo " + out.iccSeqNo);
  if (BytesToHex(record + 8, 8) != out.tac) return Fail("the TAC log record's TAC is not " + out.tac);
  auto block = ExpectedBlock(r);
  if (!block) return Fail("the request has no block to compare the TAC log record with");
  uint8_t head[14] = {};
  std::copy_n(block->begin(), std::min<size_t>(sizeof head, block->size()), head);
  if (!std::equal(head, head + sizeof head, record + 16))
    return Fail("the TAC log record does not hold the start of the expected block");
  return Pass("TAC log record holds IccSeqNo " + out.iccSeqNo + ", the TAC and the start of the block");
}

Verdict BankServer::VerifyValueTac(std::string_view valueTac, std::string_view value) const {
  if (value.empty()) {
    if (valueTac.empty()) return Pass("ValueTAC and Value are both empty");
    return Fail("ValueTAC is not empty although Value is");
  }
  if (!session_.VerifyField(valueTac, value))
    return Fail("ValueTAC does not decrypt to Value " + Quoted(value));
  return Pass("ValueTAC decrypts to Value " + Quoted(value));
}

std::optional<std::string> BankServer::ExternalAuthKey(std::string_view randomNo) const {
  if (card_.authMode == AuthMode::kStatic)
    return BytesToHex(card_.externalKey.data(), card_.externalKey.size());
  if (!IsUpperHex(randomNo, 8)) return std::nullopt;
  Bytes8 challenge{};
  HexToBytes(randomNo, challenge.size(), challenge.data());
  Bytes8 key = ChallengeResponse(card_.authKey, challenge);
  return BytesToHex(key.data(), key.size());
}

std::string BankServer::PinBlockHex(std::string_view newPin) {
  Bytes8 block = PinBlockOf(newPin);
  return BytesToHex(block.data(), block.size());
}

}  // namespace quilta::sim
