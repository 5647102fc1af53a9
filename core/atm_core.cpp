#include "core/atm_core.h"

#include "base/hex.h"
#include "card/exchange.h"
#include "quilta_config.h"

namespace quilta {

CAtmCore::CAtmCore() : crypto_(config::kKeyTable) {
  // The page reads the status word of the card engine's last command as shSW12.
  channel_.onStatusWord = [this](uint16_t sw) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(sw >> 8), static_cast<uint8_t>(sw & 0xFF)};
    props_.TextOf(Prop::shSW12) = AsciiText(BytesToHex(bytes, 2));
  };
}

bool CAtmCore::GetProperty(Prop p, PropValue* out) const {
  return props_.Get(p, state_.errorInfo.text(), out);
}

bool CAtmCore::PutText(Prop p, const Text& value) {
  switch (props_.PutText(p, value)) {
    case PropertyStore::Write::Refused:
      return false;
    case PropertyStore::Write::Nono:
      crypto_.SetNono(value);
      return true;
    case PropertyStore::Write::Done:
      return true;
  }
  return true;
}

bool CAtmCore::PutInt(Prop p, int32_t value) { return props_.PutInt(p, value); }

ui::DialogSite CAtmCore::dialogSite() {
  return {modal_, channel_, ReaderNameToPcsc(props_.ReaderName())};
}

void CAtmCore::InstallDialogs() { readerPinDialog_ = &PinPadDialog(); }

int32_t CAtmCore::Send(const card::CommandApdu& apdu) {
  return Report(card::Exchange(channel_, apdu));
}

int32_t CAtmCore::CardExchange(const CommandFields& fields) {
  std::optional<card::CommandApdu> apdu = card::ParseCommand(fields);
  if (!apdu) return Report(status::kBadParameter);
  Outcome o = card::Exchange(channel_, *apdu);
  if (o.kind() == Outcome::Kind::Pcsc) return o.raw();
  return Report(o);
}

Text CAtmCore::GetComVersion() { return u"1,0,0,1"; }

}  // namespace quilta
