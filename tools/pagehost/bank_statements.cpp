#include "tools/pagehost/bank_statements.h"

#include <ostream>
#include <utility>

namespace quilta::pagehost {
namespace {

const std::pair<const char*, sim::TxnKind> kKinds[] = {
    {"login", sim::TxnKind::kLogin},       {"inquiry", sim::TxnKind::kInquiry},
    {"transfer", sim::TxnKind::kTransfer}, {"paytax", sim::TxnKind::kPayTax},
    {"payfee", sim::TxnKind::kPayFee},     {"paymoney", sim::TxnKind::kPayMoney},
    {"apply", sim::TxnKind::kApply},
};

// The request field a property of the page names.
std::string* FieldOf(sim::TxnRequest& r, const std::string& property) {
  const std::pair<const char*, std::string sim::TxnRequest::*> fields[] = {
      {"PCode", &sim::TxnRequest::pCode},           {"FdId", &sim::TxnRequest::fdId},
      {"FdChkCode", &sim::TxnRequest::fdChkCode},   {"AccountNo", &sim::TxnRequest::accountNo},
      {"InBankNo", &sim::TxnRequest::inBankNo},     {"InAccountNo", &sim::TxnRequest::inAccountNo},
      {"Amount", &sim::TxnRequest::amount},         {"ServerDateTime", &sim::TxnRequest::serverDateTime},
      {"FeeType", &sim::TxnRequest::feeType},       {"FeeName", &sim::TxnRequest::feeName},
      {"MerchantId", &sim::TxnRequest::merchantId}, {"ID", &sim::TxnRequest::id},
      {"CTelNo", &sim::TxnRequest::cTelNo},
  };
  for (const auto& [name, member] : fields)
    if (property == name) return &(r.*member);
  return nullptr;
}

std::string Read(Page& page, const char* property) {
  Value v;
  return page.Get(property, &v) && v.kind == Value::Kind::String ? v.s : std::string();
}

}  // namespace

bool BankStatements::Write(Page& page, const std::string& property, const std::string& value,
                           std::string* error) {
  out_ << "    " << property << " = \"" << value << "\"\n";
  if (page.Set(property, Value::Str(value))) return true;
  *error = "the plug-in refused " + property;
  return false;
}

bool BankStatements::Run(Page& page, const std::vector<std::string>& words, std::string* error) {
  if (words.size() == 3 && words[1] == "prepare") {
    for (const auto& [name, kind] : kKinds) {
      if (words[2] != name) continue;
      server_.NewSession(++sessions_);
      request_ = server_.Prepare(kind);
      for (const sim::PageInput& input : server_.PageInputs(*request_))
        if (!Write(page, input.property, input.value, error)) return false;
      return true;
    }
    *error = "bank prepare login|inquiry|transfer|paytax|payfee|paymoney|apply";
    return false;
  }
  if (words.size() == 4 && words[1] == "set") {
    std::string* field = request_ ? FieldOf(*request_, words[2]) : nullptr;
    std::string value = words[3];
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (field == nullptr) {
      *error = "bank set NAME \"VALUE\" after bank prepare (NAME: an input of the request)";
      return false;
    }
    *field = value;
    return Write(page, words[2], value, error);
  }
  if (words.size() == 2 && words[1] == "verify") {
    if (!request_) {
      *error = "bank verify needs bank prepare first";
      return false;
    }
    sim::TxnOutputs outputs;
    outputs.tac = Read(page, "TAC");
    outputs.iccSeqNo = Read(page, "IccSeqNo");
    outputs.sessionTac = Read(page, "SessionTAC");
    outputs.encOutAccountNo = Read(page, "EncOutAccountNo");
    outputs.encId = Read(page, "EncID");
    const sim::Verdict verdict = server_.Verify(*request_, outputs);
    out_ << "    bank: " << (verdict.ok ? "accepted" : "REFUSED") << ": " << verdict.reason << "\n";
    if (!verdict.ok) *error = "the bank refused the outputs";
    return verdict.ok;
  }
  *error = "bank prepare KIND | bank set NAME \"VALUE\" | bank verify";
  return false;
}

}  // namespace quilta::pagehost
