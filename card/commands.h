// Named builders for every command the system sends to the FISC card, so a reader of the
// card code sees the intent, not the bytes. The bytes are in card/commands.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "card/apdu.h"

namespace quilta::card::cmd {

using PinBlock = std::array<uint8_t, 8>;

CommandApdu SelectApplication();                      // 00 A4 04 00 08 <AID> 00
CommandApdu SelectFile(uint16_t fileId);              // 00 A4 02 00 02 <file id>
CommandApdu ReadRecord(uint8_t record);               // 00 B2 <record> 04 00
CommandApdu ReadIdentity();                           // 00 B0 00 00 10
CommandApdu Verify(const PinBlock& block);            // 00 20 00 10 08 <block>
CommandApdu WriteRecord(uint8_t record, std::span<const uint8_t> data);  // 00 D2 <r> 04 <Lc> <data>
CommandApdu WritePin(const PinBlock& block);          // WRITE RECORD 1 of the PIN file
CommandApdu Challenge();                              // 00 86 00 00 08
CommandApdu ExternalAuthenticate(std::span<const uint8_t, 8> key);  // 00 82 00 18 08 <key>
CommandApdu ResetRetryCounter();                      // 00 2C 00 00 02 00 C2
CommandApdu Tac(std::span<const uint8_t> block);      // 00 E2 10 80 <Lc> <block> 00

// The PIN on a second-generation reader's own pad: the reader's VERIFY form (80 20 00 10),
// the all-FF block that one reader model wants instead, and the all-F0 block that starts a
// PIN change on the pad.
CommandApdu VerifyOnReader();
CommandApdu VerifyOnReaderFullForm();
CommandApdu ChangeOnReader();

}  // namespace quilta::card::cmd
