// The card data methods: what card/card_data.h reads, written into the page's properties.
#include "card/card_data.h"
#include "core/atm_core.h"

namespace quilta {

int32_t CAtmCore::ReadBasicData() {
  card::BasicData data;
  const Outcome outcome = card::ReadBasicData(channel_, &data);
  // What was read stays, also when a later command failed; AccountCount only on success.
  for (int k = 0; k < card::kAccountSlots; ++k)
    props_.TextOf(Prop::AccountNo0 + k) = data.accounts[k];
  if (data.issuerBankNo) props_.TextOf(Prop::IssuerBankNo) = *data.issuerBankNo;
  if (data.cardRemark) props_.TextOf(Prop::CardRemark) = *data.cardRemark;
  if (data.masterAccountNo) props_.TextOf(Prop::MasterAccountNo) = *data.masterAccountNo;
  if (data.cardNo) props_.TextOf(Prop::CardNo) = *data.cardNo;
  if (data.accountCount) props_.NumberOf(Prop::AccountCount) = *data.accountCount;
  return Report(outcome);
}

int32_t CAtmCore::ReadAuthInAcctNo() {
  card::RegisteredAccounts registered;
  const Outcome outcome = card::ReadRegisteredAccounts(channel_, &registered);
  for (int k = 0; k < card::kAccountSlots; ++k) {
    props_.TextOf(Prop::AuthInBankNo0 + k) = registered.banks[k];
    props_.TextOf(Prop::AuthInAccountNo0 + k) = registered.accounts[k];
  }
  if (registered.count) props_.NumberOf(Prop::AuthInCount) = *registered.count;
  return Report(outcome);
}

int32_t CAtmCore::CheckCardChange() {
  std::optional<Text> identity;
  const int32_t st = Report(card::ReadCardIdentity(channel_, &identity));
  if (st != status::kOk) return st;
  if (!identity) {
    props_.NumberOf(Prop::CardChange) = 0;
    return status::kOk;
  }
  Text& cardNo = props_.TextOf(Prop::CardNo);
  if (cardNo.empty()) cardNo = *identity;
  props_.NumberOf(Prop::CardChange) = cardNo != *identity ? 1 : 0;
  return status::kOk;
}

}  // namespace quilta
