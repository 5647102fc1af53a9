#include "sim/vpcd_protocol.h"

namespace quilta::sim {

std::optional<std::vector<uint8_t>> AnswerVpcd(platform::CardModel& card, const uint8_t* payload, size_t n) {
  if (payload == nullptr || n == 0) return std::nullopt;
  if (n == 1) {
    switch (payload[0]) {
      case kVpcdPowerOff: card.PowerOff(); return std::nullopt;
      case kVpcdPowerOn: card.PowerOn(); return std::nullopt;
      case kVpcdReset: card.Reset(); return std::nullopt;
      case kVpcdGetAtr: return card.Atr();
      default: return std::nullopt;
    }
  }
  return card.Transmit(payload, n);
}

std::vector<uint8_t> FrameVpcd(const std::vector<uint8_t>& payload) {
  size_t n = payload.size() > 0xFFFF ? 0xFFFF : payload.size();
  std::vector<uint8_t> out;
  out.reserve(n + 2);
  out.push_back(static_cast<uint8_t>(n >> 8));
  out.push_back(static_cast<uint8_t>(n & 0xFF));
  out.insert(out.end(), payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(n));
  return out;
}

}  // namespace quilta::sim
