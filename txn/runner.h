// The runner of the TAC transactions: one common order, and each method a description.
//
// The common order (RunTransaction):
//   1. ReaderType 1, 2 or 3 and, on types 1 and 3, a PIN the card engine can send: not
//      empty, at most 16 hex digits (CheckReaderAndPin): 5042, 6002, before any card command.
//   2. ReadBasicData, unless the description places it among its checks (kReadCard).
//   3. The description's checks, in its order; the first failure returns its code.
//   4. UnwrapSessionKey, unless the description places it among its checks (kUnwrap).
//   5. The block of the description's kind (txn/blocks.h) and its TAC command.
//   6. The reader-type path:
//      type 1: the confirmation with card re-insert when the description has one
//              (ConfirmWithReinsert), VerifyPIN, the card re-check after a confirmation
//              (5035), then the TAC command on the card;
//      types 2, 3: the simple instruction dialog (CTWOREADERSHOW1, or the accessible one on
//              type 2 where the description says so) when the description is always simple
//              or PCode is one of its simple codes, else the detailed one (CTwoReaderShowN)
//              with the summary rows; the dialog sends the TAC command itself.
//   7. TakeResults (IccSeqNo, TAC, EncOutAccountNo, SessionTAC); on type 2 ReaderPinDone
//      where the description says so. Status 0.
// Every failure returns at once with its status and leaves the outputs as they were.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/atm_core.h"
#include "txn/blocks.h"
#include "txn/steps.h"

namespace quilta::txn {

// One step of a description's checks: an input, checked by the rule of its row in the member
// table (its width and its status, base/members.def), or one of the steps below. A
// description lists the properties it checks, in order: {Prop::FdId, Prop::PCode,
// kCardAccount, ...}.
struct Check {
  enum class Kind : uint8_t {
    kInput,                 // CheckInput(prop)
    kCardAccount,           // IsCardAccount(AccountNo), else 5038
    kCardAccountWhenKind2,  // the same, only when Kind is "2"
    kReadCard,              // ReadBasicData here instead of before the checks
    kUnwrap,                // UnwrapSessionKey here instead of after the checks
  };
  Kind kind;
  Prop prop = Prop::kCount;

  // Only a property whose row has an input rule can be checked.
  consteval Check(Prop p) : kind(Kind::kInput), prop(p) {
    if (!Info(p).input.checked()) throw "the property's row in members.def has no input rule";
  }
  constexpr explicit Check(Kind k) : kind(k) {}
};

inline constexpr Check kCardAccount{Check::Kind::kCardAccount};
inline constexpr Check kCardAccountWhenKind2{Check::Kind::kCardAccountWhenKind2};
inline constexpr Check kReadCard{Check::Kind::kReadCard};
inline constexpr Check kUnwrap{Check::Kind::kUnwrap};

// What a summary row shows.
enum class Shown : uint8_t {
  kOutAccount,    // IssuerBankNo's first 3 characters "/" AccountNo
  kInAccount,     // InBankNo's first 3 characters "/" InAccountNo
  kDate,          // ServerDateTime as YYYY/MM/DD hh:mm:ss
  kNationalDate,  // the same with the national year
  kAmount,        // AmountValue with thousands separators
  kInAccountNo,
  kFeeName,
  kFeeType,
  kMerchantId,
};

struct Row {
  std::u16string_view label;
  Shown value;
};
using Rows = std::array<Row, 4>;

// The reader-type-1 confirmation dialog.
enum class Confirmation : uint8_t {
  kNone,                // VerifyPIN and the TAC command straight away (the inquiry)
  kTransferWithKeypad,  // CTransferDlgNew: the customer re-types the in-account's last three
  kSummary,             // CTransferDlg
  kSummaryAccessible,   // CTransferDlg_Accessible
};

struct TxnDescription {
  std::string_view method;         // the member's name, for messages
  std::span<const Check> checks;   // in order
  BlockKind block;
  std::u16string_view title;       // every dialog's caption unless overridden below

  // Reader type 1.
  Confirmation confirmation = Confirmation::kNone;
  bool confirmOnce = false;        // show the confirmation once, not in a loop
  Rows confirmRows{};

  // Reader types 2 and 3.
  bool alwaysSimple = false;                      // the simple dialog whatever PCode says
  std::span<const std::string_view> simplePCodes{};  // PCodes that get the simple dialog
  std::u16string_view simpleTitle2{}, simpleTitle3{};  // empty: `title`
  bool accessibleOnType2 = false;                 // CTWOREADERSHOW1_Accessible on type 2
  Rows detailRows{};
  bool readerPinDoneOnType2 = false;              // a successful type-2 run sets ReaderPinDone
};

// Runs the transaction in the common order above; the PIN is the method's argument.
int32_t RunTransaction(CAtmCore& core, const TxnDescription& description,
                       const std::optional<Text>& pin);

// The text a summary row shows, from the core's properties.
Text ShownText(const CAtmCore& core, Shown what);

}  // namespace quilta::txn
