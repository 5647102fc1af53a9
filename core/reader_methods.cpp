// The reader session's methods: the PC/SC context, the reader list, card presence, the card
// connection and the reader type. The card layer (card/reader_session.h) does the PC/SC
// work; these write what the page reads.
#include <algorithm>

#include "card/reader_session.h"
#include "core/atm_core.h"

namespace quilta {
namespace {
constexpr int kReaderSlots = 10;  // Reader0..Reader9
}  // namespace

int32_t CAtmCore::ConnectDriver() { return Report(card::ConnectDriver(channel_)); }

int32_t CAtmCore::DisconnectDriver() { return Report(card::DisconnectDriver(channel_)); }

int32_t CAtmCore::ListReadersName() {
  card::ReaderList list;
  const int32_t st = Report(card::ListReaders(channel_, &list));
  if (st != status::kOk) return st;
  // With n readers, Reader n becomes empty (the list's closing segment) and the slots above
  // keep earlier values.
  const size_t shown = std::min(list.segments.size(), static_cast<size_t>(kReaderSlots));
  for (size_t k = 0; k < shown; ++k)
    props_.TextOf(Prop::Reader0 + static_cast<int>(k)) = list.segments[k];
  props_.NumberOf(Prop::ReaderCount) = list.count();
  return st;
}

int32_t CAtmCore::CheckCardInsert() {
  bool present = false;
  const int32_t st = Report(card::CardPresent(channel_, props_.ReaderName(), &present));
  if (st != status::kOk) return st;
  props_.NumberOf(Prop::ReaderInsert) = present ? 1 : 0;
  return st;
}

int32_t CAtmCore::ConnectCard() {
  if (!card::ReaderNameUsable(props_.ReaderName())) return Report(status::kBadReaderName);
  // A new card session: a PIN verified (or a reader-PIN inquiry done) with an earlier card
  // must not let a later transaction on this one pass without its own PIN.
  state_.pinVerified = false;
  state_.readerPinDone = false;
  return Report(card::ConnectCard(channel_, props_.ReaderName()));
}

int32_t CAtmCore::DisconnectCard() { return Report(card::DisconnectCard(channel_)); }

int32_t CAtmCore::SetReaderType(const Text& type) {
  const std::string narrow = ToNarrow(type);
  if (narrow.size() >= 3) return Report(status::kBadReaderType);
  if (narrow == "1") props_.NumberOf(Prop::ReaderType) = 1;
  else if (narrow == "2") props_.NumberOf(Prop::ReaderType) = 2;
  else if (narrow == "3") props_.NumberOf(Prop::ReaderType) = 3;
  else return Report(status::kBadReaderType);
  return status::kOk;
}

}  // namespace quilta
