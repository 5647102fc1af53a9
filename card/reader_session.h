// The reader session: the PC/SC context, the reader list, card presence, the card
// connection with the application selection, the card-change test and the reader type.
// Every operation returns the page's status with ErrorInfo written.
#pragma once

#include "core/parts.h"

namespace quilta::card {

int32_t ConnectDriver(CoreParts& core);
int32_t DisconnectDriver(CoreParts& core);
// Reader0..Reader9 and ReaderCount from the reader list.
int32_t ListReadersName(CoreParts& core);
// ReaderInsert from one status query of ReaderName.
int32_t CheckCardInsert(CoreParts& core);
// Power-cycles the card in ReaderName, connects exclusively with T=1 and selects the FISC
// application. A new card session: the PIN proof of an earlier card does not carry over.
int32_t ConnectCard(CoreParts& core);
int32_t DisconnectCard(CoreParts& core);
// CardChange from the card's identity against CardNo.
int32_t CheckCardChange(CoreParts& core);
int32_t SetReaderType(CoreParts& core, const Text& type);

}  // namespace quilta::card
