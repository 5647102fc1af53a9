// The transfers: DoTransferTAC, DoNBTransferTAC (without the card-account check),
// DoAccessibleTransferTAC (the accessible dialogs) and the policy-loan transfer
// (txn/policy_loan.h). Block: the transfer layout, Lc "50".
#include "txn/policy_loan.h"
#include "txn/runner.h"

namespace quilta {
namespace {

using namespace txn;
using P = Prop;

constexpr Check kTransferChecks[] = {
    P::FdId,        P::FdChkCode, P::PCode,     P::Amount,   P::ServerDateTime,
    P::InAccountNo, P::AccountNo, kCardAccount, P::InBankNo,
};
// The same without the card-account check.
constexpr Check kNBTransferChecks[] = {
    P::FdId,           P::FdChkCode,   P::PCode,     P::Amount,
    P::ServerDateTime, P::InAccountNo, P::AccountNo, P::InBankNo,
};

// The policy loan: its own inputs checked before the card is read; the card-account check
// only for Kind "2".
constexpr Check kPolicyLoanChecks[] = {
    P::FdId,      P::FdChkCode, P::PCode,       P::Amount, P::ServerDateTime, P::InAccountNo,
    P::AccountNo, P::InBankNo,  P::AccountName, P::Kind,   kReadCard,         kCardAccountWhenKind2,
};

constexpr std::string_view kSimpleCodes[] = {"2521", "2522", "2523", "2524"};
constexpr Rows kConfirmRows = {{{u"轉出帳號", Shown::kOutAccount},
                                {u"轉入帳號", Shown::kInAccount},
                                {u"交易日期", Shown::kDate},
                                {u"金    額", Shown::kAmount}}};
constexpr Rows kDetailRows = {{{u"轉出帳號", Shown::kOutAccount},
                               {u"轉入帳號", Shown::kInAccount},
                               {u"交易日期", Shown::kNationalDate},
                               {u"金    額", Shown::kAmount}}};

constexpr TxnDescription Transfer(std::string_view method, std::span<const Check> checks,
                                  Confirmation confirmation, bool accessible) {
  TxnDescription d{method, checks, BlockKind::kTransfer, u"轉帳確認"};
  d.confirmation = confirmation;
  d.confirmRows = kConfirmRows;
  d.simplePCodes = kSimpleCodes;
  d.accessibleOnType2 = accessible;
  d.detailRows = kDetailRows;
  return d;
}

constexpr TxnDescription kTransfer =
    Transfer("DoTransferTAC", kTransferChecks, Confirmation::kTransferWithKeypad, false);
constexpr TxnDescription kNBTransfer =
    Transfer("DoNBTransferTAC", kNBTransferChecks, Confirmation::kTransferWithKeypad, false);
constexpr TxnDescription kAccessibleTransfer =
    Transfer("DoAccessibleTransferTAC", kTransferChecks, Confirmation::kSummaryAccessible, true);

constexpr TxnDescription kPolicyLoan =
    Transfer("policy loan", kPolicyLoanChecks, Confirmation::kSummary, false);

}  // namespace

int32_t txn::DoPolicyLoanTAC(CAtmCore& core, const std::optional<Text>& pin) {
  TxnDescription d = kPolicyLoan;
  d.title = core.props().TextOf(Prop::Kind) == u"1" ? u"保單借款確認" : u"保單還款確認";
  d.confirmOnce = true;
  return RunTransaction(core, d, pin);
}

int32_t CAtmCore::DoTransferTAC(const std::optional<Text>& pin) {
  return RunTransaction(*this, kTransfer, pin);
}
int32_t CAtmCore::DoNBTransferTAC(const std::optional<Text>& pin) {
  return RunTransaction(*this, kNBTransfer, pin);
}
int32_t CAtmCore::DoAccessibleTransferTAC(const std::optional<Text>& pin) {
  return RunTransaction(*this, kAccessibleTransfer, pin);
}

}  // namespace quilta
