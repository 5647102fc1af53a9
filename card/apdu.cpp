#include "card/apdu.h"

#include <cstring>

#include "base/hex.h"

namespace quilta::card {

CommandApdu& CommandApdu::Data(std::span<const uint8_t> data) {
  hasLc_ = true;
  lc_ = static_cast<uint8_t>(data.size() > kMaxData ? kMaxData : data.size());
  if (lc_ != 0) std::memcpy(data_, data.data(), lc_);
  return *this;
}

size_t CommandApdu::Serialize(uint8_t* out) const {
  size_t n = 0;
  out[n++] = cla_;
  out[n++] = ins_;
  out[n++] = p1_;
  out[n++] = p2_;
  if (hasLc_) {
    out[n++] = lc_;
    if (lc_ != 0) std::memcpy(out + n, data_, lc_);
    n += lc_;
  }
  if (le_) out[n++] = *le_;
  return n;
}

void ResponseApdu::Clear() {
  std::memset(bytes_, 0, sizeof bytes_);
  size_ = 0;
}

namespace {
std::optional<uint8_t> Byte(std::string_view field) {
  uint8_t b = 0;
  if (!IsUpperHex(field, 1)) return std::nullopt;
  HexToBytes(field, 1, &b);
  return b;
}
}  // namespace

std::optional<CommandApdu> ParseCommand(const CommandFields& f) {
  auto cla = Byte(f.cla), ins = Byte(f.ins), p1 = Byte(f.p1), p2 = Byte(f.p2);
  if (!cla || !ins || !p1 || !p2) return std::nullopt;
  CommandApdu apdu(*cla, *ins, *p1, *p2);
  if (f.lc) {
    auto lc = Byte(*f.lc);
    if (!lc || !IsUpperHex(f.data, *lc)) return std::nullopt;
    uint8_t data[CommandApdu::kMaxData];
    HexToBytes(f.data, *lc, data);
    apdu.Data({data, *lc});
  }
  if (f.le) {
    auto le = Byte(*f.le);
    if (!le) return std::nullopt;
    apdu.Le(*le);
  }
  return apdu;
}

}  // namespace quilta::card
