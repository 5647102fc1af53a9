// CAtmCore::DoPolicyLoanTransferTAC: the member-table row of the policy-loan transfer, which
// only the ActiveX control's typed interface reaches (VtableOnly).
#include "txn/policy_loan.h"

namespace quilta {

int32_t CAtmCore::DoPolicyLoanTransferTAC(const std::optional<Text>& pin) {
  return txn::DoPolicyLoanTAC(*this, pin);
}

}  // namespace quilta
