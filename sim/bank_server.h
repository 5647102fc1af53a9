// The bank's server as a simulator: the other party of every transaction. It shares the
// key table with the plug-in build and knows the customer's card as the bank issued it
// (identity, accounts, TAC key, keys for write access). It
//   - opens a session: nono and SessionKey for the page (testsupport/bank_session.h);
//   - prepares what a page writes before each transaction (TxnRequest, PageInputs);
//   - after the transaction checks what the page hands back (TxnOutputs): rebuilds the block
//     the card must have signed (txn/blocks.h), recomputes the TAC with the card's key and
//     the returned IccSeqNo (ComputeTac), and decrypts SessionTAC, EncOutAccountNo, EncID
//     and ValueTAC under the session key.
// Every check answers a Verdict whose reason names what failed, for demos and tests.
//
// Simulator choices: FdId is a running number, FdChkCode 8 digits drawn from the session's
// seed; PCode "2500" inquiry, "2521" transfer, "2531" tax, "2561" fee, "2541" merchant,
// "2590" apply; the paying account is the card's first usable account.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "testsupport/bank_session.h"
#include "sim/profile.h"
#include "txn/blocks.h"

namespace quilta::sim {

enum class TxnKind : uint8_t { kLogin, kInquiry, kTransfer, kPayTax, kPayFee, kPayMoney, kApply };

// The page's method for the kind ("DoLoginTAC", "DoInquiryTAC", "DoTransferTAC",
// "DoPayTaxTAC", "DoPayFeeTAC", "DoPayMoneyTAC", "DoApplyTAC"). The transfer's variants
// DoNBTransferTAC and DoAccessibleTransferTAC (and DoAccessibleInquiryTAC) check the same.
std::string_view MethodOf(TxnKind kind);
// The block the kind's TAC covers; nullopt for log-in, which signs nothing.
std::optional<txn::BlockKind> BlockKindOf(TxnKind kind);

struct Verdict {
  bool ok = false;
  std::string reason;  // "TAC verified; ...", or what failed
  explicit operator bool() const { return ok; }
};

// The inputs of one transaction as the page writes them into the plug-in's properties
// (before the plug-in's own rules: `amount` is the Amount text, `id` and `cTelNo` the texts
// the page puts, which the plug-in cuts or blank-pads to 16 and 10).
struct TxnRequest {
  TxnKind kind = TxnKind::kInquiry;
  std::string pCode, fdId, fdChkCode, accountNo, inBankNo, inAccountNo, amount, serverDateTime,
      feeType, feeName, merchantId, id, cTelNo;
  int applyType = 1;
};

// One property write: `property` as the page spells it, `value` as text (UTF-8).
struct PageInput {
  std::string property;
  std::string value;
};

// What the page reads back after the method returned 0 (unused ones stay empty).
struct TxnOutputs {
  std::string tac;              // 16 hex digits
  std::string iccSeqNo;         // 8 digits
  std::string sessionTac;       // SessionTAC
  std::string encOutAccountNo;  // inquiry, transfer and payments
  std::string encId;            // apply
};

// The block fields the plug-in derives from the request: Amount14 from Amount ("%012s"
// then "00"), ID and CTelNo cut or blank-padded to 16 and 10, the rest as written.
txn::BlockInputs BlockInputsOf(const TxnRequest& request);

class BankServer {
 public:
  // keyTable: the table the plug-in was built with (config::kKeyTable); card: the bank's
  // record of the customer's card. Starts with session NewSession(0).
  BankServer(std::string_view keyTable, Profile card);
  // With the build's key table.
  explicit BankServer(Profile card);

  // A new session (nono, SessionKey, plain key); the same seed gives the same session and
  // the same FdChkCode draws.
  void NewSession(uint64_t seed);
  const bank::BankSession& session() const { return session_; }
  bank::BankSession& session() { return session_; }

  // The bank's record of the card, e.g. after it wrote new account lists.
  const Profile& card() const { return card_; }
  void SetCard(Profile card) { card_ = std::move(card); }

  // The server's clock for prepared requests, YYYYMMDDhhmmss (default: local time at
  // construction).
  void SetDateTime(std::string dateTime14) { dateTime_ = std::move(dateTime14); }

  // A fresh request of the kind, with the values this server would send (each Prepare
  // takes the next FdId). Change fields freely before handing it to the page.
  TxnRequest Prepare(TxnKind kind);
  // The property writes a page makes for the request, nono and SessionKey first, then
  // the fields the kind's method reads, in the order its checks look at them.
  std::vector<PageInput> PageInputs(const TxnRequest& request) const;

  // The block the card must have signed; nullopt for log-in or when a field of the
  // request does not come out at its width.
  std::optional<std::vector<uint8_t>> ExpectedBlock(const TxnRequest& request) const;
  // What log-in's SessionTAC must decrypt to for this card and session: CardNo (the
  // identity in hex), the eight account slots as the plug-in reads them (a usable account's
  // text, else 16 '0'), the plain session key.
  std::string ExpectedLoginText() const;

  // Checks a transaction's outputs against the request. Log-in: SessionTAC only (352 hex
  // digits, ExpectedLoginText). Others: IccSeqNo 8 digits, TAC = ComputeTac(card's TAC
  // key, IccSeqNo, ExpectedBlock), SessionTAC = the session key, EncOutAccountNo =
  // AccountNo (apply: EncID = ID as the plug-in stores it).
  Verdict Verify(const TxnRequest& request, const TxnOutputs& outputs) const;

  // A TACLog0..9 value (60 hex digits, the card's 30-byte record: sequence number, TAC,
  // first 14 bytes of the block) against a transaction this server verified.
  Verdict VerifyTacLogRecord(std::string_view tacLogHex, const TxnRequest& request,
                             const TxnOutputs& outputs) const;

  // DoInput: ValueTAC against the Value the page reports. The plug-in pads with '0'
  // characters to 16, so a value and the same value with trailing zeros added up to the
  // block's end give the same ValueTAC: this checks consistency with `value`, it cannot
  // recover trailing zeros by itself. An empty value must come with an empty ValueTAC.
  Verdict VerifyValueTac(std::string_view valueTac, std::string_view value) const;

  // Write access for SetCardActive / SetPinActive / SetCardData: the `Key` property (16 hex
  // digits) for the card's EXTERNAL AUTHENTICATE. Static cards: their external key;
  // challenge cards: ChallengeResponse of `randomNo` (DoActiveTAC's RandomNo, 16 upper-case
  // hex digits), nullopt when randomNo is not that.
  std::optional<std::string> ExternalAuthKey(std::string_view randomNo) const;
  // The `aPIN` property for a new PIN: its 8-byte PIN block in hex.
  static std::string PinBlockHex(std::string_view newPin);

 private:
  Verdict VerifyLogin(const TxnOutputs& outputs) const;

  bank::BankSession session_;
  Profile card_;
  std::string dateTime_;
  std::mt19937_64 draws_;
  uint32_t nextFdId_ = 1;
};

}  // namespace quilta::sim
