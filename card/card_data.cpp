// Card data: the card's issuer, remark, identity and accounts (file 10 01) and the
// registered transfer-in accounts (file 10 02).
#include "core/atm_core.h"
#include "core/hex.h"

namespace quilta {
namespace {

constexpr char kNoAccount[] = "0000000000000000";
constexpr char kNoBank[] = "00000000";
constexpr int kAccountSlots = 8;

// An account field is unusable when it is all blanks, all zero bytes or all '0'
// characters; any mixture counts as usable.
bool IsUsableAccount(const uint8_t* field) {
  int blanks = 0, zeros = 0, digitZeros = 0;
  for (int i = 0; i < 16; ++i) {
    uint8_t b = field[i];
    if (b == 0x20) ++blanks;
    else if (b == 0x00) ++zeros;
    else if (b == '0') ++digitZeros;
    else break;
  }
  return blanks < 16 && zeros < 16 && digitZeros < 16;
}

std::string RecordHex(int record) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[(record >> 4) & 0xF], kDigits[record & 0xF]};
}

}  // namespace

// Whether the last response holds the field [offset, offset + length) of its data. A record
// shorter than its layout carries none of the fields it does not cover.
static bool Covers(const ExchangeBuffer& x, size_t offset, size_t length) {
  return x.receiveLength > 2 && x.receiveLength - 2 >= offset + length;
}

int32_t CAtmCore::ReadBasicData() {
  for (int k = 0; k < kAccountSlots; ++k) T(Prop::AccountNo0 + k) = AsciiText(kNoAccount);

  int32_t st = Map(CardExchange("00", "A4", "02", "00", "02", "1001"));
  if (st != status::kOk) return st;

  st = Map(CardExchange("00", "B2", "01", "04", std::nullopt, {}, "00"));
  if (st != status::kOk) return st;
  if (Covers(exchange, 2, 8)) T(Prop::IssuerBankNo) = FromNarrow(TakeBytes(exchange.receive, 2, 8));

  st = Map(CardExchange("00", "B2", "02", "04", std::nullopt, {}, "00"));
  if (st != status::kOk) return st;
  if (Covers(exchange, 2, 30)) T(Prop::CardRemark) = AsciiText(BytesToHex(exchange.receive + 2, 30));

  int usable = 0;
  for (int r = 3; r <= 10; ++r) {
    st = Map(CardExchange("00", "B2", RecordHex(r), "04", std::nullopt, {}, "00"));
    if (st != status::kOk) return st;
    if (!Covers(exchange, 2, 16) || !IsUsableAccount(exchange.receive + 2)) continue;
    T(Prop::AccountNo0 + (r - 3)) = FromNarrow(TakeBytes(exchange.receive, 2, 16));
    ++usable;
    if (r == 3) T(Prop::MasterAccountNo) = T(Prop::AccountNo0);
  }

  st = Map(CardExchange("00", "B0", "00", "00", std::nullopt, {}, "10"));
  if (st != status::kOk) return st;
  if (Covers(exchange, 0, 16)) T(Prop::CardNo) = AsciiText(BytesToHex(exchange.receive, 16));

  N(Prop::AccountCount) = usable;
  return status::kOk;
}

int32_t CAtmCore::ReadAuthInAcctNo() {
  for (int k = 0; k < kAccountSlots; ++k) {
    T(Prop::AuthInBankNo0 + k) = AsciiText(kNoBank);
    T(Prop::AuthInAccountNo0 + k) = AsciiText(kNoAccount);
  }

  int32_t st = Map(CardExchange("00", "A4", "02", "00", "02", "1002"));
  if (st != status::kOk) return st;

  int usable = 0;
  for (int r = 1; r <= kAccountSlots; ++r) {
    st = Map(CardExchange("00", "B2", RecordHex(r), "04", std::nullopt, {}, "00"));
    if (st != status::kOk) return st;
    if (!Covers(exchange, 10, 16) || !IsUsableAccount(exchange.receive + 10)) continue;
    T(Prop::AuthInBankNo0 + (r - 1)) = FromNarrow(TakeBytes(exchange.receive, 2, 8));
    T(Prop::AuthInAccountNo0 + (r - 1)) = FromNarrow(TakeBytes(exchange.receive, 10, 16));
    ++usable;
  }

  N(Prop::AuthInCount) = usable;
  return status::kOk;
}

}  // namespace quilta
