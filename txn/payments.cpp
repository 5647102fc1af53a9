// The payments: DoPayTaxTAC (tax, block "55"), DoPayFeeTAC (nationwide fees and taxes,
// block "40") and DoPayMoneyTAC (a merchant, block "5E"). On reader type 1 each shows the
// summary dialog (CTransferDlg) in the confirmation loop.
#include "txn/runner.h"

namespace quilta {
namespace {

using namespace txn;
using P = Prop;

constexpr Check kTaxChecks[] = {
    P::FdId,           P::FdChkCode,   P::FeeType,   P::PCode,     P::Amount,
    P::ServerDateTime, P::InAccountNo, P::AccountNo, kCardAccount,
};
constexpr Check kFeeChecks[] = {
    P::FdId,           P::FdChkCode, P::PCode,     P::Amount,
    P::ServerDateTime, P::AccountNo, kCardAccount, P::FeeName,
};
constexpr Check kMerchantChecks[] = {
    P::FdId,           P::FdChkCode,  P::PCode,     P::Amount,
    P::ServerDateTime, P::MerchantId, P::AccountNo, kCardAccount,
};

constexpr std::string_view kTaxSimple[] = {"2531", "2532"};
constexpr std::string_view kFeeSimple[] = {"2561", "2562", "2563", "2564"};
constexpr std::string_view kMerchantSimple[] = {"2541"};

// The bill rows: the tax's detailed dialog shows FeeType where the others show FeeName.
constexpr Rows BillRows(Shown category) {
  return {{{u"轉出帳號", Shown::kOutAccount},
           {u"繳款類別", category},
           {u"銷帳編號", Shown::kInAccountNo},
           {u"金    額", Shown::kAmount}}};
}

constexpr TxnDescription Payment(std::string_view method, std::span<const Check> checks,
                                 BlockKind block, std::u16string_view title,
                                 std::span<const std::string_view> simple) {
  TxnDescription d{method, checks, block, title};
  d.confirmation = Confirmation::kSummary;
  d.simplePCodes = simple;
  return d;
}

constexpr TxnDescription Tax() {
  TxnDescription d = Payment("DoPayTaxTAC", kTaxChecks, BlockKind::kPayTax, u"繳費稅確認", kTaxSimple);
  d.confirmRows = BillRows(Shown::kFeeName);
  d.detailRows = BillRows(Shown::kFeeType);
  return d;
}

constexpr TxnDescription Fee() {
  TxnDescription d =
      Payment("DoPayFeeTAC", kFeeChecks, BlockKind::kPayFee, u"全國繳費稅確認", kFeeSimple);
  d.confirmRows = BillRows(Shown::kFeeName);
  d.detailRows = BillRows(Shown::kFeeName);
  return d;
}

constexpr TxnDescription Merchant() {
  TxnDescription d = Payment("DoPayMoneyTAC", kMerchantChecks, BlockKind::kPayMoney,
                             u"購貨轉帳確認", kMerchantSimple);
  d.confirmRows = {{{u"轉出帳號", Shown::kOutAccount},
                    {u"特店代號", Shown::kMerchantId},
                    {u"交易日期", Shown::kDate},
                    {u"金    額", Shown::kAmount}}};
  d.detailRows = {{{u"轉出帳號", Shown::kOutAccount},
                   {u"特約商店", Shown::kMerchantId},
                   {u"交易日期", Shown::kNationalDate},
                   {u"金    額", Shown::kAmount}}};
  d.simpleTitle2 = u"購貨確認";
  d.simpleTitle3 = u"轉帳確認";
  return d;
}

constexpr TxnDescription kTax = Tax();
constexpr TxnDescription kFee = Fee();
constexpr TxnDescription kMerchant = Merchant();

}  // namespace

int32_t CAtmCore::DoPayTaxTAC(const std::optional<Text>& pin) { return RunTransaction(*this, kTax, pin); }
int32_t CAtmCore::DoPayFeeTAC(const std::optional<Text>& pin) { return RunTransaction(*this, kFee, pin); }
int32_t CAtmCore::DoPayMoneyTAC(const std::optional<Text>& pin) {
  return RunTransaction(*this, kMerchant, pin);
}

}  // namespace quilta
