#include "txn/card_writes.h"

#include "card/exchange.h"
#include "card/fisc.h"
#include "base/hex.h"
#include "base/secret.h"
#include "txn/steps.h"

namespace quilta::txn {
namespace {

constexpr uint8_t kFirstAccountRecord = 3;  // file 10 01: records 03..0A
constexpr uint8_t kFirstAuthInRecord = 1;   // file 10 02: records 01..08

// The 8 bytes of a text that is exactly 16 upper-case hex digits.
bool HexBytes8(const Text& text, uint8_t* out) {
  std::string ascii;
  ascii.reserve(text.size());
  for (char16_t c : text) {
    if (c > 0x7F) return false;
    ascii.push_back(static_cast<char>(c));
  }
  const bool ok = IsUpperHex(ascii, 8);
  if (ok) HexToBytes(ascii, 8, out);
  WipeBytes(ascii.data(), ascii.size());
  return ok;
}

// The 8-bit form of a text of exactly `width` characters, each one byte.
bool FixedField(const Text& text, size_t width, std::string* out) {
  if (text.size() != width) return false;
  std::string narrow = ToNarrow(text);
  if (narrow.size() != width) return false;
  *out = std::move(narrow);
  return true;
}

// The key and the PIN block are their rows' hex digits.
static_assert(Info(Prop::Key).input.width == 2 * kAuthKeySize);
static_assert(Info(Prop::aPIN).input.width == 2 * std::tuple_size_v<card::cmd::PinBlock>);

int32_t Bad(CAtmCore& core, Prop p) { return core.Report(Info(p).input.bad); }

// The 8-bit form of a list entry, of its row's width.
bool ListEntry(const PropertyStore& props, Prop p, std::string* out) {
  return FixedField(props.TextOf(p), static_cast<size_t>(Info(p).input.width), out);
}

}  // namespace

CardWrite::~CardWrite() {
  WipeBytes(key.data(), key.size());
  WipeBytes(pinBlock.data(), pinBlock.size());
}

int32_t ReadCardWrite(CAtmCore& core, CardWrite* write) {
  PropertyStore& p = core.props();
  if (!HexBytes8(p.SecretValue(Prop::Key), write->key.data())) return Bad(core, Prop::Key);
  if (write->pin && !HexBytes8(p.SecretValue(Prop::aPIN), write->pinBlock.data()))
    return Bad(core, Prop::aPIN);
  if (write->lists) {
    for (size_t k = 0; k < kListSlots; ++k) {
      const Prop entry = Prop::aAccountNo0 + static_cast<int>(k);
      if (!ListEntry(p, entry, &write->accounts[k])) return Bad(core, entry);
    }
    for (size_t k = 0; k < kListSlots; ++k) {
      const Prop entry = Prop::aAuthInAccountNo0 + static_cast<int>(k);
      if (!ListEntry(p, entry, &write->authIn[k])) return Bad(core, entry);
    }
  }
  return status::kOk;
}

int32_t SendKeepingTransmitResult(CAtmCore& core, const card::CommandApdu& apdu) {
  const Outcome o = card::Exchange(core.channel(), apdu);
  if (o.kind() == Outcome::Kind::Pcsc) return o.raw();
  return core.Report(o);
}

namespace {

int32_t SelectPinFile(CAtmCore& core) {
  int32_t st = SendKeepingTransmitResult(core, card::cmd::SelectFile(fisc::kFilePin));
  if (st == status::kPinBlocked) {
    // The PIN is locked: the write access just opened lets us reset its counter first.
    st = SendKeepingTransmitResult(core, card::cmd::ResetRetryCounter());
    if (st != status::kOk) return st;
    st = SendKeepingTransmitResult(core, card::cmd::SelectFile(fisc::kFilePin));
  }
  return st;
}

int32_t WriteRecords(CAtmCore& core, uint16_t file, uint8_t firstRecord,
                     const std::array<std::string, kListSlots>& values) {
  int32_t st = SendKeepingTransmitResult(core, card::cmd::SelectFile(file));
  for (size_t k = 0; st == status::kOk && k < kListSlots; ++k) {
    const auto* data = reinterpret_cast<const uint8_t*>(values[k].data());
    st = SendKeepingTransmitResult(
        core, card::cmd::WriteRecord(static_cast<uint8_t>(firstRecord + k), {data, values[k].size()}));
  }
  return st;
}

}  // namespace

WriteResult RunCardWrite(CAtmCore& core, const CardWrite& write) {
  WriteResult result;
  result.status = SendKeepingTransmitResult(core, card::cmd::ExternalAuthenticate(write.key));
  if (result.status != status::kOk) return result;
  const uint8_t* answer = core.channel().response.bytes();
  if (answer[0] != 0x90 && answer[1] != 0x00) return result;  // e.g. 66 02: nothing more
  result.granted = true;

  if (write.pin) {
    result.status = SelectPinFile(core);
    if (result.status != status::kOk) return result;
    result.status = SendKeepingTransmitResult(core, card::cmd::WritePin(write.pinBlock));
    if (result.status != status::kOk) return result;
  }
  if (write.lists) {
    result.status = WriteRecords(core, fisc::kFileAccounts, kFirstAccountRecord, write.accounts);
    if (result.status != status::kOk) return result;
    result.status = WriteRecords(core, fisc::kFileRegistered, kFirstAuthInRecord, write.authIn);
  }
  return result;
}

}  // namespace quilta::txn
