// The smart-card road, as the help-desk checks see it: the service, the readers (and which
// have a PIN pad), and in each reader the card and its financial application. Nothing is
// changed: the card is opened shared and left as it was, and the only command it hears is the
// selection of its financial application.
#pragma once

#include <string>

#include "diagnosis/report.h"
#include "platform/pcsc.h"

namespace quilta::diagnosis {

// How the sentences name the system's smart-card service and what they tell the customer to
// do about it; each part is written to follow the words shown before it.
struct SmartCardService {
  std::string name;            // at the start of a sentence: "The smart-card service (pcscd)"
  std::string start;           // after "<name> is not running: "
  std::string restartAsUser;   // after "<name> refused this program (smart-card error X): "
  std::string restart;         // after "<name> could not list the card readers (...): "
  std::string readerHint;      // after "No card reader is connected: plug the card reader in"
};

// Adds the findings pcsc-service*, readers*, and per reader reader-type and card* (their ids
// and meaning: docs/install.md). Card troubles are failures only when no reader holds a card
// that answers as a financial card.
void CheckSmartCards(platform::Pcsc& pcsc, const SmartCardService& service, Report& report);

}  // namespace quilta::diagnosis
