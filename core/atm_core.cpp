#include "core/atm_core.h"

#include <climits>

#include "crypto/field_crypto.h"
#include "quilta_config.h"

namespace quilta {
namespace {

// The chain handed to every SetKey; ECB does not use it.
constexpr char kCipherChain[] = "QuiltaChain0001Z";

// Leading decimal integer: leading white space and one sign allowed, stops at the first
// non-digit, 0 when there is none; clamped to the 32-bit range.
int32_t LeadingInteger(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > static_cast<long long>(INT32_MAX) + 1) v = static_cast<long long>(INT32_MAX) + 1;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  if (v < INT32_MIN) v = INT32_MIN;
  return static_cast<int32_t>(v);
}

Text FixedWidth(const Text& value, size_t width) {
  std::string narrow = ToNarrow(value);
  std::string out(width, ' ');
  out.replace(0, std::min(narrow.size(), width), narrow, 0, std::min(narrow.size(), width));
  return FromNarrow(out);
}

}  // namespace

CAtmCore& CAtmCore::Instance() {
  static CAtmCore* core = new CAtmCore();  // never destroyed: lives until the process ends
  return *core;
}

CAtmCore::CAtmCore()
    : keyTable(config::kKeyTable),
      cipherChain(kCipherChain),
      pcsc(&platform::SystemPcsc()),
      sleeper(&platform::RealSleeper()) {
  for (size_t i = 0; i < kPropCount; ++i) text_[i] = AsciiText(kProps[i].defaultText);
}

bool CAtmCore::GetProperty(Prop p, PropValue* out) const {
  const PropInfo& info = Info(p);
  if (!info.readable()) return false;
  out->type = info.type;
  out->text.clear();
  out->number = 0;
  switch (info.read) {
    case ReadRule::Error:
      out->text = FromNarrow(errorText);
      break;
    case ReadRule::Flag:
      out->text = N(p) != 0 ? u"Y" : u"N";
      break;
    case ReadRule::Empty:
      break;
    case ReadRule::Zero:
      break;
    case ReadRule::Plain:
      if (info.type == ValueType::Int) out->number = N(p);
      else out->text = T(p);
      break;
  }
  return true;
}

bool CAtmCore::PutText(Prop p, const Text& value) {
  const PropInfo& info = Info(p);
  if (!info.writable() || info.type != ValueType::Text) return false;
  if (info.write == WriteRule::AxIgnore) return false;  // the NPAPI side refuses it
  WriteChecked(p, value);
  return true;
}

void CAtmCore::WriteChecked(Prop p, const Text& value) {
  const PropInfo& info = Info(p);
  if (info.write == WriteRule::Ignore || info.write == WriteRule::AxIgnore) return;
  size_t length = NarrowLength(value);
  if (info.limit != kNoLimit && length > static_cast<size_t>(info.limit)) return;  // dropped
  switch (info.write) {
    case WriteRule::Store:
      T(p) = value;
      break;
    case WriteRule::Amount: {
      std::string narrow = ToNarrow(value);
      amountValue = LeadingInteger(narrow);
      std::string padded = narrow.size() < 12 ? std::string(12 - narrow.size(), '0') + narrow : narrow;
      amount14 = FromNarrow(padded + "00");
      T(p) = value;
      break;
    }
    case WriteRule::Nono:
      cipherKey = DeriveCipherKey(ToNarrow(value), keyTable);
      break;
    case WriteRule::Fixed16:
      T(p) = FixedWidth(value, 16);
      break;
    case WriteRule::Fixed10:
      T(p) = FixedWidth(value, 10);
      break;
    case WriteRule::None:
    case WriteRule::Ignore:
    case WriteRule::AxIgnore:
      break;
  }
}

bool CAtmCore::PutInt(Prop p, int32_t value) {
  const PropInfo& info = Info(p);
  if (!info.writable() || info.type != ValueType::Int) return false;
  N(p) = value;
  return true;
}

int32_t CAtmCore::Map(int32_t code) { return MapStatus(code, &errorText); }

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

int32_t CAtmCore::UnwrapSessionKey() {
  const Text& sessionKey = T(Prop::SessionKey);
  std::string plain;
  int32_t rc = quilta::UnwrapSessionKey(cipher, cipherKey, cipherChain, ToNarrow(sessionKey),
                                        sessionKey.size(), &plain);
  if (rc == 0 || rc == status::kBadSessionKey) {
    // The key is overwritten once the "ATM" check has passed, also when it then fails.
    if (rc == 0 || !plain.empty()) plainSessionKey = FromNarrow(plain);
  }
  return rc;
}

Text CAtmCore::EncryptField(const Text& text) {
  return AsciiText(quilta::EncryptField(cipher, ToNarrow(text)));
}

}  // namespace quilta
