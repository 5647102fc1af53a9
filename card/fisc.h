// The FISC card's application, files and instructions, as the plug-in sends them and the
// card simulator answers them. Defined once here.
#pragma once

#include <array>
#include <cstdint>

namespace quilta::fisc {

inline constexpr std::array<uint8_t, 8> kAid = {0xA0, 0x00, 0x00, 0x01, 0x72, 0x95, 0x00, 0x01};

inline constexpr uint16_t kFileAccounts = 0x1001;    // card and account records
inline constexpr uint16_t kFileRegistered = 0x1002;  // registered transfer-in accounts
inline constexpr uint16_t kFilePin = 0x00C2;         // the PIN record
inline constexpr uint16_t kFileTacLog = 0x1080;      // the TAC log

namespace ins {
inline constexpr uint8_t kSelect = 0xA4;
inline constexpr uint8_t kReadBinary = 0xB0;
inline constexpr uint8_t kReadRecord = 0xB2;
inline constexpr uint8_t kWriteRecord = 0xD2;
inline constexpr uint8_t kVerify = 0x20;
inline constexpr uint8_t kChallenge = 0x86;
inline constexpr uint8_t kExternalAuthenticate = 0x82;
inline constexpr uint8_t kResetRetryCounter = 0x2C;
inline constexpr uint8_t kTac = 0xE2;
}  // namespace ins

inline constexpr uint8_t kClaIso = 0x00;
inline constexpr uint8_t kClaReader = 0x80;   // the PIN-pad reader's own VERIFY form
inline constexpr uint8_t kPinReference = 0x10;
inline constexpr uint8_t kAuthKeyReference = 0x18;
inline constexpr uint8_t kRecordByNumber = 0x04;  // P2 of READ/WRITE RECORD
inline constexpr size_t kIdentitySize = 16;
inline constexpr size_t kPinBlockSize = 8;

}  // namespace quilta::fisc
