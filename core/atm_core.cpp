#include "core/atm_core.h"

#include "card/card_data.h"
#include "card/exchange.h"
#include "card/pin.h"
#include "card/reader_session.h"
#include "quilta_config.h"

namespace quilta {

CoreParts::CoreParts() : crypto(config::kKeyTable) {}

CAtmCore& CAtmCore::Instance() {
  static CAtmCore* core = new CAtmCore();  // never destroyed: lives until the process ends
  return *core;
}

CAtmCore::CAtmCore() = default;

bool CAtmCore::GetProperty(Prop p, PropValue* out) const {
  return props.Get(p, shared.errorInfo.text(), out);
}

bool CAtmCore::PutText(Prop p, const Text& value) {
  switch (props.PutText(p, value)) {
    case PropertyStore::Write::Refused:
      return false;
    case PropertyStore::Write::Nono:
      crypto.SetNono(value);
      return true;
    case PropertyStore::Write::Done:
      return true;
  }
  return true;
}

bool CAtmCore::PutInt(Prop p, int32_t value) { return props.PutInt(p, value); }

int32_t CAtmCore::CardExchange(const CommandFields& fields) {
  std::optional<card::CommandApdu> apdu = card::ParseCommand(fields);
  if (!apdu) return Report(status::kBadParameter);
  Outcome o = card::Exchange(*this, *apdu);
  if (o.kind() == Outcome::Kind::Pcsc) return o.raw();
  return Report(o);
}

int32_t CAtmCore::ConnectDriver() { return card::ConnectDriver(*this); }
int32_t CAtmCore::DisconnectDriver() { return card::DisconnectDriver(*this); }
int32_t CAtmCore::ListReadersName() { return card::ListReadersName(*this); }
int32_t CAtmCore::CheckCardInsert() { return card::CheckCardInsert(*this); }
int32_t CAtmCore::ConnectCard() { return card::ConnectCard(*this); }
int32_t CAtmCore::DisconnectCard() { return card::DisconnectCard(*this); }
int32_t CAtmCore::CheckCardChange() { return card::CheckCardChange(*this); }
int32_t CAtmCore::ReadBasicData() { return card::ReadBasicData(*this); }
int32_t CAtmCore::ReadAuthInAcctNo() { return card::ReadAuthInAcctNo(*this); }
int32_t CAtmCore::SetReaderType(const Text& type) { return card::SetReaderType(*this, type); }
int32_t CAtmCore::VerifyPIN(const Text& pin) { return card::VerifyPIN(*this, pin); }
int32_t CAtmCore::ChangePIN(const Text& oldPin, const Text& newPin) {
  return card::ChangePIN(*this, oldPin, newPin);
}

Text CAtmCore::GetComVersion() { return u"1,0,0,1"; }

}  // namespace quilta
