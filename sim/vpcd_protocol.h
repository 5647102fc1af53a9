// The wire protocol between vsmartcard's vpcd reader driver (inside pcscd) and a virtual
// card: the card side connects to vpcd over TCP; every message in both directions is a
// 2-byte big-endian length followed by the payload. A 1-byte payload from vpcd is a control
// request: 00 power off, 01 power on, 02 reset (no answer), 04 send the ATR. Any other
// payload is a command APDU, answered with the response APDU.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/card_model.h"

namespace quilta::sim {

inline constexpr uint16_t kVpcdDefaultPort = 35963;  // first slot; the second is port + 1

enum VpcdControl : uint8_t { kVpcdPowerOff = 0x00, kVpcdPowerOn = 0x01, kVpcdReset = 0x02, kVpcdGetAtr = 0x04 };

// Acts on one message from vpcd; returns the payload to send back, or std::nullopt when
// the message wants no answer (power and reset requests, unknown control bytes, empty
// messages).
std::optional<std::vector<uint8_t>> AnswerVpcd(platform::CardModel& card, const uint8_t* payload, size_t n);

// 2-byte big-endian length + payload. Payloads longer than 65535 bytes are cut.
std::vector<uint8_t> FrameVpcd(const std::vector<uint8_t>& payload);

}  // namespace quilta::sim
