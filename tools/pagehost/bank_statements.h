// The bank's side of a page script: `bank` statements let quilta-pagehost play the bank's
// server (sim::BankServer with the build's key table) the way a web-ATM page talks to it:
//
//   bank prepare transfer     a new session and a transfer request: the page writes nono,
//                             SessionKey and the transaction's inputs into the plug-in
//                             (kinds: login inquiry transfer paytax payfee paymoney apply)
//   bank set Amount "1234567" changes one input of the prepared request and writes it
//   bank verify               the page sends the plug-in's outputs (TAC, IccSeqNo,
//                             SessionTAC, EncOutAccountNo / EncID) to the server, which
//                             prints its verdict; a refused verdict fails the statement
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "sim/bank_server.h"
#include "tools/pagehost/host_browser.h"

namespace quilta::pagehost {

class BankStatements {
 public:
  BankStatements(sim::Profile card, std::ostream& out) : server_(std::move(card)), out_(out) {}

  // Runs a `bank ...` statement on the page; false with *error set when it failed.
  bool Run(Page& page, const std::vector<std::string>& words, std::string* error);

 private:
  bool Write(Page& page, const std::string& property, const std::string& value, std::string* error);

  sim::BankServer server_;
  std::ostream& out_;
  std::optional<sim::TxnRequest> request_;
  uint64_t sessions_ = 0;
};

}  // namespace quilta::pagehost
