// Card data: the card's issuer, remark, identity and accounts (file 10 01) and the
// registered transfer-in accounts (file 10 02).
#pragma once

#include "core/parts.h"

namespace quilta::card {

// IssuerBankNo, CardRemark, AccountNo0..7, MasterAccountNo, CardNo, AccountCount.
int32_t ReadBasicData(CoreParts& core);
// AuthInBankNo0..7, AuthInAccountNo0..7, AuthInCount.
int32_t ReadAuthInAcctNo(CoreParts& core);

}  // namespace quilta::card
