// The balance inquiry ("餘額查詢"): DoInquiryTAC and DoAccessibleInquiryTAC (the accessible
// dialog on reader type 2). Block: PCode, FdChkCode, AccountNo, Lc "1C". The session key is
// unwrapped before the card-account check. Reader type 1 has no confirmation: VerifyPIN and
// the TAC command. Types 2 and 3 always show the simple instruction dialog; a successful
// type-2 inquiry (the PIN typed on the reader) sets ReaderPinDone.
#include "txn/runner.h"

namespace quilta {
namespace {

using namespace txn;
using P = Prop;

constexpr Check kInquiryChecks[] = {P::FdChkCode, P::AccountNo, P::PCode, kUnwrap, kCardAccount};

constexpr TxnDescription Inquiry(std::string_view method, bool accessible) {
  TxnDescription d{method, kInquiryChecks, BlockKind::kInquiry, u"餘額查詢"};
  d.alwaysSimple = true;
  d.accessibleOnType2 = accessible;
  d.readerPinDoneOnType2 = true;
  return d;
}

constexpr TxnDescription kInquiry = Inquiry("DoInquiryTAC", false);
constexpr TxnDescription kAccessibleInquiry = Inquiry("DoAccessibleInquiryTAC", true);

}  // namespace

int32_t CAtmCore::DoInquiryTAC(const std::optional<Text>& pin) {
  return RunTransaction(*this, kInquiry, pin);
}
int32_t CAtmCore::DoAccessibleInquiryTAC(const std::optional<Text>& pin) {
  return RunTransaction(*this, kAccessibleInquiry, pin);
}

}  // namespace quilta
