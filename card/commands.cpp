#include "card/commands.h"

#include "card/fisc.h"

namespace quilta::card::cmd {
namespace {

std::array<uint8_t, 2> FileId(uint16_t id) {
  return {static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id & 0xFF)};
}

CommandApdu VerifyWith(uint8_t fill) {
  PinBlock block;
  block.fill(fill);
  return Verify(block);
}

}  // namespace

CommandApdu SelectApplication() {
  return CommandApdu(fisc::kClaIso, fisc::ins::kSelect, 0x04, 0x00).Data(fisc::kAid).Le(0x00);
}

CommandApdu SelectFile(uint16_t fileId) {
  const auto id = FileId(fileId);
  return CommandApdu(fisc::kClaIso, fisc::ins::kSelect, 0x02, 0x00).Data(id);
}

CommandApdu ReadRecord(uint8_t record) {
  return CommandApdu(fisc::kClaIso, fisc::ins::kReadRecord, record, fisc::kRecordByNumber).Le(0x00);
}

CommandApdu ReadIdentity() {
  return CommandApdu(fisc::kClaIso, fisc::ins::kReadBinary, 0x00, 0x00).Le(fisc::kIdentitySize);
}

CommandApdu Verify(const PinBlock& block) {
  return CommandApdu(fisc::kClaIso, fisc::ins::kVerify, 0x00, fisc::kPinReference).Data(block);
}

CommandApdu WriteRecord(uint8_t record, std::span<const uint8_t> data) {
  return CommandApdu(fisc::kClaIso, fisc::ins::kWriteRecord, record, fisc::kRecordByNumber).Data(data);
}

CommandApdu WritePin(const PinBlock& block) { return WriteRecord(0x01, block); }

CommandApdu Challenge() {
  return CommandApdu(fisc::kClaIso, fisc::ins::kChallenge, 0x00, 0x00).Le(0x08);
}

CommandApdu ExternalAuthenticate(std::span<const uint8_t, 8> key) {
  return CommandApdu(fisc::kClaIso, fisc::ins::kExternalAuthenticate, 0x00, fisc::kAuthKeyReference)
      .Data(key);
}

CommandApdu ResetRetryCounter() {
  const auto id = FileId(fisc::kFilePin);
  return CommandApdu(fisc::kClaIso, fisc::ins::kResetRetryCounter, 0x00, 0x00).Data(id);
}

CommandApdu Tac(std::span<const uint8_t> block) {
  return CommandApdu(fisc::kClaIso, fisc::ins::kTac, 0x10, 0x80).Data(block).Le(0x00);
}

CommandApdu VerifyOnReader() {
  return CommandApdu(fisc::kClaReader, fisc::ins::kVerify, 0x00, fisc::kPinReference);
}

CommandApdu VerifyOnReaderFullForm() { return VerifyWith(0xFF); }
CommandApdu ChangeOnReader() { return VerifyWith(0xF0); }

}  // namespace quilta::card::cmd
