// quilta-nm-bank: the bank-server simulator as a command for the browser tests, whose web
// server hands a page the inputs of a transaction and then judges what the page read back.
//   quilta-nm-bank prepare KIND SEED DATETIME
//       prints {"inputs": [[property, value], ...]}: nono, SessionKey and the fields of a
//       fresh request of KIND (inquiry or transfer) in session SEED, at DATETIME
//   quilta-nm-bank verify KIND SEED DATETIME TAC ICCSEQNO SESSIONTAC ENCOUTACCOUNTNO
//       rebuilds the same request and checks the outputs; prints the verdict's reason,
//       exit status 0 when it holds
// The same SEED and DATETIME give the same request (FdChkCode drawn from the seed, FdId 1).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "nmhost/json.h"
#include "sim/bank_server.h"

namespace {

using quilta::sim::TxnKind;

bool KindOf(const std::string& name, TxnKind* kind) {
  if (name == "inquiry") *kind = TxnKind::kInquiry;
  else if (name == "transfer") *kind = TxnKind::kTransfer;
  else return false;
  return true;
}

int Usage() {
  std::fprintf(stderr,
               "usage: quilta-nm-bank prepare KIND SEED DATETIME\n"
               "       quilta-nm-bank verify KIND SEED DATETIME TAC ICCSEQNO SESSIONTAC ENCOUT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quilta;
  if (argc < 5) return Usage();
  const std::string command = argv[1];
  TxnKind kind;
  if (!KindOf(argv[2], &kind)) return Usage();
  sim::BankServer server(sim::DefaultProfile());
  server.NewSession(std::strtoull(argv[3], nullptr, 10));
  server.SetDateTime(argv[4]);
  const sim::TxnRequest request = server.Prepare(kind);

  if (command == "prepare" && argc == 5) {
    nmhost::Json inputs;
    inputs.kind = nmhost::Json::Kind::Array;
    for (const sim::PageInput& in : server.PageInputs(request)) {
      nmhost::Json pair;
      pair.kind = nmhost::Json::Kind::Array;
      pair.items = {nmhost::Json::String(in.property), nmhost::Json::String(in.value)};
      inputs.items.push_back(std::move(pair));
    }
    std::printf("%s\n", nmhost::WriteJson(nmhost::Json::Object({{"inputs", inputs}})).c_str());
    return 0;
  }
  if (command == "verify" && argc == 9) {
    sim::TxnOutputs out;
    out.tac = argv[5];
    out.iccSeqNo = argv[6];
    out.sessionTac = argv[7];
    out.encOutAccountNo = argv[8];
    const sim::Verdict verdict = server.Verify(request, out);
    std::printf("%s\n", verdict.reason.c_str());
    return verdict ? 0 : 1;
  }
  return Usage();
}
