// A card as the virtual reader and the vpcd bridge see it: an ATR, power and APDUs.
// The card simulator in sim/ implements it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quilta::platform {

class CardModel {
 public:
  virtual ~CardModel() = default;
  virtual std::vector<uint8_t> Atr() const = 0;
  virtual void PowerOn() = 0;   // cold reset: volatile state (selection, verified PIN) cleared
  virtual void PowerOff() = 0;
  virtual void Reset() = 0;     // warm reset
  // One command APDU in, the response (data followed by SW1 SW2) out.
  virtual std::vector<uint8_t> Transmit(const uint8_t* apdu, size_t length) = 0;
};

}  // namespace quilta::platform
