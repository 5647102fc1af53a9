// The reader session: the PC/SC context, the reader list, card presence, the card
// connection with the application selection, and the reader-name rule. Each operation
// works on the card channel with the inputs it is given and hands back its outcome; the
// facade turns that into the page's status and properties.
#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "base/text.h"
#include "card/channel.h"

namespace quilta::card {

// A new context replaces the channel's (the old one is retired until its card handle is
// done with). Windows' own invalid-handle error reads as 5011.
Outcome ConnectDriver(Channel& channel);
Outcome DisconnectDriver(Channel& channel);

// The reader list as PC/SC gave it: every zero byte ends one segment, so the list's closing
// empty name is a segment too (n readers give n + 1 segments, the last one empty).
struct ReaderList {
  std::vector<Text> segments;
  int32_t count() const { return segments.empty() ? 0 : static_cast<int32_t>(segments.size()) - 1; }
};
Outcome ListReaders(Channel& channel, ReaderList* list);

// A reader name the page may use: at least two characters of the 8-bit form. Presence and
// connection answer 5041 for another before anything is sent.
bool ReaderNameUsable(const Text& readerName);

// Whether `readerName` holds a card: one status query (up to a second).
Outcome CardPresent(Channel& channel, const Text& readerName, bool* present);

// Power-cycles the card in `readerName`, connects exclusively with T=1 and selects the FISC
// application. An empty reader reads as 5013.
Outcome ConnectCard(Channel& channel, const Text& readerName);
// Ejects the card and releases the retired contexts.
Outcome DisconnectCard(Channel& channel);

}  // namespace quilta::card
