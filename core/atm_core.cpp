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

CallResult CAtmCore::Call(Method m, std::span<const std::optional<Text>> args) {
  auto arg = [&](size_t i) -> const std::optional<Text>& {
    static const std::optional<Text> kMissing;
    return i < args.size() ? args[i] : kMissing;
  };
  CallResult r;
  switch (m) {
    case Method::GetComVersion:
      r.isText = true;
      r.text = GetComVersion();
      return r;
    case Method::ConnectDriver: r.status = ConnectDriver(); break;
    case Method::DisconnectDriver: r.status = DisconnectDriver(); break;
    case Method::ListReadersName: r.status = ListReadersName(); break;
    case Method::CheckCardInsert: r.status = CheckCardInsert(); break;
    case Method::ConnectCard: r.status = ConnectCard(); break;
    case Method::DisconnectCard: r.status = DisconnectCard(); break;
    case Method::CheckCardChange: r.status = CheckCardChange(); break;
    case Method::ReadBasicData: r.status = ReadBasicData(); break;
    case Method::ReadAuthInAcctNo: r.status = ReadAuthInAcctNo(); break;
    case Method::SetReaderType:
      r.status = arg(0) ? SetReaderType(*arg(0)) : Map(status::kBadReaderType);
      break;
    case Method::VerifyPIN:
      r.status = arg(0) ? VerifyPIN(*arg(0)) : Map(status::kBadParameter);
      break;
    case Method::ChangePIN:
      r.status = arg(0) && arg(1) ? ChangePIN(*arg(0), *arg(1)) : Map(status::kBadParameter);
      break;
    case Method::DoLoginTAC: r.status = DoLoginTAC(); break;
    case Method::DoInquiryTAC: r.status = DoInquiryTAC(arg(0)); break;
    case Method::DoAccessibleInquiryTAC: r.status = DoAccessibleInquiryTAC(arg(0)); break;
    case Method::DoTransferTAC: r.status = DoTransferTAC(arg(0)); break;
    case Method::DoAccessibleTransferTAC: r.status = DoAccessibleTransferTAC(arg(0)); break;
    case Method::DoNBTransferTAC: r.status = DoNBTransferTAC(arg(0)); break;
    case Method::DoPayTaxTAC: r.status = DoPayTaxTAC(arg(0)); break;
    case Method::DoPayFeeTAC: r.status = DoPayFeeTAC(arg(0)); break;
    case Method::DoPayMoneyTAC: r.status = DoPayMoneyTAC(arg(0)); break;
    case Method::ReadTACLog: r.status = ReadTACLog(); break;
    case Method::GetAtmCode:
      r.status = arg(0) && arg(1) && arg(2) ? GetAtmCode(*arg(0), *arg(1), *arg(2))
                                            : Map(status::kBadParameter);
      break;
    case Method::DoActiveTAC: r.status = DoActiveTAC(); break;
    case Method::SetCardActive: r.status = SetCardActive(); break;
    case Method::SetPinActive: r.status = SetPinActive(); break;
    case Method::SetCardData: r.status = SetCardData(); break;
    case Method::DoApplyTAC: r.status = DoApplyTAC(arg(0)); break;
    case Method::DoInput: r.status = DoInput(); break;
    case Method::kCount: break;
  }
  return r;
}

}  // namespace quilta
