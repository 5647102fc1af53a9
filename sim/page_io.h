// The bank's page around a transaction, for the tests and tools that play it on a core:
// the inputs the bank-server simulator prepared, written as the page writes them, and the
// outputs the page hands back to the bank.
#pragma once

#include <string>
#include <vector>

#include "core/atm_core.h"
#include "sim/bank_server.h"

namespace quilta::sim {

// Writes each input to its property, in order (integer properties as integers). False, with
// the input's property in *unknown, at the first that names no property; nothing after it
// is written.
bool PutPageInputs(CAtmCore& core, const std::vector<PageInput>& inputs, std::string* unknown = nullptr);

// TAC, IccSeqNo, SessionTAC, EncOutAccountNo and EncID as the core holds them.
TxnOutputs PageOutputs(const CAtmCore& core);

}  // namespace quilta::sim
