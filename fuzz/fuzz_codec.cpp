// The status path, the hex codec and the session crypto with arbitrary input: MapStatus and
// every kind of Outcome with any value, HexToBytes/IsUpperHex/BytesToHex/TakeBytes, the
// cipher key derived from any nono (and any key table), SessionKey unwrapped under it, result
// fields encrypted after a successful unwrap, and the Amount, ID and CTelNo writes.
//
// Checked beyond the sanitizers: MapStatus's text fits ErrorInfo's buffer and Report returns
// what PageStatus predicts; BytesToHex then HexToBytes gives the bytes back; IsUpperHex holds
// exactly for 2n upper-case hex digits; the derived key has at most 16 characters, all from
// the key table; an unwrap answers 0, 5034 or 5043 and EncryptField gives upper-case hex.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "fuzz/check.h"

#include "core/atm_core.h"
#include "base/hex.h"
#include "base/status.h"
#include "crypto/field_crypto.h"
#include "quilta_config.h"

using namespace quilta;

namespace {

void Statuses(FuzzedDataProvider& in) {
  const int32_t code = in.ConsumeIntegral<int32_t>();
  std::string text;
  MapStatus(code, &text);
  CHECK(text.size() < kErrorTextSize);
  Outcome o = Outcome::Ok();
  switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0: o = Outcome::Own(code); break;
    case 1: o = Outcome::Pcsc(static_cast<uint32_t>(code)); break;
    case 2: o = Outcome::Card(static_cast<uint16_t>(code), in.ConsumeBool()); break;
    case 3: o = Outcome::Dialog(code, DialogRule::Table); break;
    default: o = Outcome::Dialog(code, DialogRule::CancelIs5036); break;
  }
  ErrorInfo info;
  const int32_t predicted = o.PageStatus();
  CHECK(info.Report(o) == predicted);
  CHECK(o.ok() == (predicted == 0));
  CHECK(info.text().size() < kErrorTextSize);
}

void Hex(FuzzedDataProvider& in) {
  const std::string text = in.ConsumeRandomLengthString(100);
  const size_t n = in.ConsumeIntegralInRange<size_t>(0, 60);
  std::vector<uint8_t> out(n + 1, 0xA5);
  const size_t got = HexToBytes(text, n, out.data());
  CHECK(got <= n && got <= text.size() / 2 && out[n] == 0xA5);
  bool upper = text.size() == 2 * n;
  for (char c : text) upper = upper && ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
  CHECK(IsUpperHex(text, n) == upper);
  const std::string hex = BytesToHex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  std::vector<uint8_t> back(text.size());
  CHECK(HexToBytes(hex, text.size(), back.data()) == text.size());
  CHECK(std::equal(back.begin(), back.end(), reinterpret_cast<const uint8_t*>(text.data())));
  const size_t offset = in.ConsumeIntegralInRange<size_t>(0, text.size());
  const int take = in.ConsumeIntegralInRange<int>(-2, static_cast<int>(text.size() - offset));
  CHECK(TakeBytes(reinterpret_cast<const uint8_t*>(text.data()), offset, take).size() <=
        static_cast<size_t>(take < 0 ? 0 : take));
}

void Keys(FuzzedDataProvider& in) {
  const std::string nono = in.ConsumeRandomLengthString(260);
  const std::string table = in.ConsumeBool() ? std::string(config::kKeyTable) : in.ConsumeRandomLengthString(1200);
  const std::string key = DeriveCipherKey(nono, table);
  CHECK(key.size() <= 16);
  for (char c : key) CHECK(table.find(c) != std::string::npos);

  CAtmCore core;
  core.PutText(Prop::nono, in.ConsumeBool() ? FromUtf8(nono) : AsciiText(nono));
  std::string sk = in.ConsumeRandomLengthString(60);
  if (in.ConsumeBool()) {  // 32 characters of hex, the form that reaches the cipher
    sk = BytesToHex(reinterpret_cast<const uint8_t*>(sk.data()), sk.size()).substr(0, 32);
  }
  core.PutText(Prop::SessionKey, FromUtf8(sk));
  const int32_t r = core.UnwrapSessionKey();
  CHECK(r == 0 || r == status::kNotBankServer || r == status::kBadSessionKey);
  if (r == 0) {
    const std::string enc = ToNarrow(core.EncryptField(FromUtf8(in.ConsumeRandomLengthString(80))));
    CHECK(enc.size() % 32 == 0 && IsUpperHex(enc, enc.size() / 2));
  }
}

void Writes(FuzzedDataProvider& in) {
  CAtmCore core;
  for (Prop p : {Prop::Amount, Prop::ID, Prop::CTelNo}) {
    Text value = in.ConsumeBool() ? FromUtf8(in.ConsumeRandomLengthString(80))
                                  : AsciiText(std::to_string(in.ConsumeIntegral<int64_t>()));
    CHECK(core.PutText(p, value));
    PropValue v;
    core.GetProperty(p, &v);
  }
  // Fixed widths count bytes of the 8-bit form.
  CHECK(core.props().TextOf(Prop::ID).empty() || NarrowLength(core.props().TextOf(Prop::ID)) == 16);
  CHECK(core.props().TextOf(Prop::CTelNo).empty() || NarrowLength(core.props().TextOf(Prop::CTelNo)) == 10);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: Statuses(in); break;
    case 1: Hex(in); break;
    case 2: Keys(in); break;
    default: Writes(in); break;
  }
  return 0;
}
