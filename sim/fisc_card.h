// The simulated FISC financial chip card: a state machine behind platform::CardModel.
//
// Application A0 00 00 01 72 95 00 01 (SELECT 00 A4 04 00 08 <AID> [00]); files, selected
// with 00 A4 02 00 02 <fid> once the application is selected:
//   10 01  records 1..10: 1 = issuer bank (8), 2 = remark (30), 3..10 = accounts (16)
//   10 02  records 1..8: bank (8) + account (16)
//   00 C2  PIN file, record 1 = the 8-byte PIN block (written, never read back: 69 82);
//          selecting it while the PIN is locked answers 66 20 and selects nothing
//   10 80  TAC log, 10 records of 30 bytes, record 1 the newest; a record is the
//          sequence number (8 ASCII digits), the TAC (8 bytes) and the first 14 bytes of
//          the TAC's data block (zero-padded); unused records are 30 zero bytes
// Every record of 10 01 / 10 02 reads back as 2 header bytes (record number, data length)
// followed by the data, so the data sits at offset 2. WRITE RECORD (00 D2 <r> 04 <Lc>
// <data>) takes the data only, of the record's exact length.
//
// Commands and answers:
//   READ BINARY 00 B0 00 00 10 (Le 00 too)  16-byte identity + 90 00, whatever is selected
//   READ RECORD 00 B2 <r> 04 00              header + data + 90 00; 6A 83 missing record
//   VERIFY      00 20 00 10 08 <block>       90 00; 66 08 wrong; the third wrong try in a
//                                            row answers 66 20 and locks; 66 20 while locked
//   challenge   00 86 00 00 08               8 random bytes + 90 00
//   EXTERNAL AUTHENTICATE 00 82 00 18 08 <key>   90 00, or 63 00 for a wrong key
//   RESET RETRY COUNTER   00 2C 00 00 02 00 C2   tries back to 3; needs EXTERNAL AUTH
//   WRITE RECORD to 10 01 / 10 02 needs EXTERNAL AUTHENTICATE since power-on; to 00 C2
//   needs EXTERNAL AUTHENTICATE or a verified PIN; otherwise 69 82. 10 80 is read-only.
//   TAC 00 E2 10 80 <Lc> <block> [00]: needs a verified PIN (66 10 otherwise); answers 19
//   bytes: 00, sequence number as 8 ASCII digits, 00 00, TAC (8 bytes); then 90 00. The
//   sequence number goes up by one with every TAC (99999999 wraps to 00000000).
// Faults: wrong CLA 6E 00, unknown INS 6D 00, wrong length 67 00, wrong P1/P2 6A 86,
// unknown file or AID 6A 82, no application or no file selected 69 86, a command on an
// unpowered card 6F 00. CLA 80 (the PIN-pad form 80 20 00 10) is a reader command: the
// card itself answers it 6E 00.
//
// Power-on and reset clear the volatile state: selection, verified PIN, external
// authentication, last challenge. Retry counter, records, sequence number and TAC log
// persist for the card's life. A new card starts unpowered; the reader powers it on.
// All members are safe to call from several threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

#include "card/fisc.h"
#include "platform/card_model.h"
#include "sim/profile.h"

namespace quilta::sim {

inline constexpr auto kFiscAid = fisc::kAid;
inline constexpr uint16_t kFileAccounts = fisc::kFileAccounts;
inline constexpr uint16_t kFileRegistered = fisc::kFileRegistered;
inline constexpr uint16_t kFilePin = fisc::kFilePin;
inline constexpr uint16_t kFileTacLog = fisc::kFileTacLog;
inline constexpr size_t kTacLogRecords = 10;
inline constexpr size_t kTacLogRecordSize = 30;
// The ATR: direct convention, offers T=1 only.
inline constexpr std::array<uint8_t, 5> kFiscAtr = {0x3B, 0x80, 0x80, 0x01, 0x01};

// The PIN block of a PIN: 16 'F' characters, the first n replaced by the PIN's characters,
// read as hex (characters outside 0-9/A-F use the same arithmetic as the plug-in's codec).
Bytes8 PinBlockOf(std::string_view pin);

// The TAC a card with `tacKey` gives for `block` when its sequence number is `sequence`:
// AES-128 CBC-MAC (zero IV) over the 8 ASCII digits of the sequence number followed by the
// block, padded with 80 00..00 to a multiple of 16; the TAC is the first 8 bytes of the last
// cipher block. Throws std::runtime_error when the cipher is unavailable.
Bytes8 ComputeTac(const Bytes16& tacKey, uint32_t sequence, const uint8_t* block, size_t n);

// The EXTERNAL AUTHENTICATE value of the challenge mode: the first 8 bytes of
// AES-128-ECB(authKey, challenge || 00 x 8).
Bytes8 ChallengeResponse(const Bytes16& authKey, const Bytes8& challenge);

// The 8 ASCII digits of a sequence number.
std::array<char, 8> SequenceDigits(uint32_t sequence);

class FiscCard final : public platform::CardModel {
 public:
  explicit FiscCard(Profile profile);
  // Its challenges drawn from `seed`: the same commands get the same answers (fuzzing).
  FiscCard(Profile profile, uint64_t seed);

  std::vector<uint8_t> Atr() const override;
  void PowerOn() override;
  void PowerOff() override;
  void Reset() override;
  std::vector<uint8_t> Transmit(const uint8_t* apdu, size_t length) override;
  std::vector<uint8_t> Transmit(const std::vector<uint8_t>& apdu) {
    return Transmit(apdu.data(), apdu.size());
  }

  // Inspection (tests, the control channel). Records are returned as READ RECORD gives
  // them (header + data); std::nullopt for a record that does not exist.
  std::optional<std::vector<uint8_t>> Record(uint16_t fileId, int record) const;
  int PinTriesLeft() const;
  bool PinLocked() const { return PinTriesLeft() == 0; }
  uint32_t NextSequence() const;
  Bytes8 StoredPinBlock() const;
  bool Powered() const;
  bool PinVerified() const;
  bool ExternallyAuthenticated() const;
  const Profile& InitialProfile() const { return profile_; }

 private:
  struct Apdu;
  std::vector<uint8_t> Dispatch(const Apdu& apdu);
  std::vector<uint8_t> Select(const Apdu& apdu);
  std::vector<uint8_t> ReadBinary(const Apdu& apdu);
  std::vector<uint8_t> ReadRecord(const Apdu& apdu);
  std::vector<uint8_t> WriteRecord(const Apdu& apdu);
  std::vector<uint8_t> Verify(const Apdu& apdu);
  std::vector<uint8_t> Challenge(const Apdu& apdu);
  std::vector<uint8_t> ExternalAuthenticate(const Apdu& apdu);
  std::vector<uint8_t> ResetRetryCounter(const Apdu& apdu);
  std::vector<uint8_t> Tac(const Apdu& apdu);
  std::vector<std::optional<std::vector<uint8_t>>>* RecordsOf(uint16_t fileId);
  void ClearVolatile();

  const Profile profile_;
  mutable std::mutex mutex_;
  // Persistent state.
  std::vector<std::optional<std::vector<uint8_t>>> accounts_;    // file 10 01, data only
  std::vector<std::optional<std::vector<uint8_t>>> registered_;  // file 10 02, data only
  std::vector<std::vector<uint8_t>> tacLog_;                     // newest first
  Bytes8 pinBlock_{};
  int pinTries_ = kMaxPinTries;
  uint32_t sequence_ = 1;
  // Volatile state.
  bool powered_ = false;
  bool appSelected_ = false;
  std::optional<uint16_t> currentFile_;
  bool pinVerified_ = false;
  bool externalAuth_ = false;
  std::optional<Bytes8> lastChallenge_;
  std::mt19937_64 random_;
};

}  // namespace quilta::sim
