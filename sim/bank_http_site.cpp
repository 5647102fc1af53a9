// The site the sample pages talk to: /session prepares a session and a transaction with the
// bank-server simulator, /verify checks what the page read back, any other path is a file
// under --root.
#include "sim/bank_http.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

namespace quilta::sim::bank_http {
namespace {

std::string JsonText(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string UrlDecode(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '+') {
      out += ' ';
    } else if (s[i] == '%' && i + 2 < s.size() &&
               std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::map<std::string, std::string> ParseForm(std::string_view s) {
  std::map<std::string, std::string> out;
  while (!s.empty()) {
    const size_t amp = s.find('&');
    std::string_view pair = s.substr(0, amp);
    const size_t eq = pair.find('=');
    if (eq != std::string_view::npos)
      out[UrlDecode(pair.substr(0, eq))] = UrlDecode(pair.substr(eq + 1));
    if (amp == std::string_view::npos) break;
    s.remove_prefix(amp + 1);
  }
  return out;
}

std::string Now14() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &tm);
  return buf;
}

}  // namespace

Reply Bank::Handle(const std::string& method, const std::string& target, const std::string& body) {
  const size_t q = target.find('?');
  const std::string path = target.substr(0, q);
  const auto query =
      ParseForm(q == std::string::npos ? "" : std::string_view(target).substr(q + 1));
  if (method == "GET" && path == "/session")
    return Session(query.count("kind") ? query.at("kind") : "");
  if (method == "POST" && path == "/verify") return Verify(ParseForm(body));
  if (method == "GET") return File(path);
  return {405, "text/plain", "method not allowed\n"};
}

Reply Bank::Session(const std::string& kind) {
  static const std::map<std::string, sim::TxnKind> kKinds = {
      {"login", sim::TxnKind::kLogin},   {"inquiry", sim::TxnKind::kInquiry},
      {"transfer", sim::TxnKind::kTransfer}, {"tax", sim::TxnKind::kPayTax},
      {"fee", sim::TxnKind::kPayFee},    {"money", sim::TxnKind::kPayMoney}};
  const auto it = kKinds.find(kind);
  if (it == kKinds.end() && kind != "input")
    return {400, "application/json", R"({"error":"unknown kind"})"};
  server_.NewSession(draw_());
  server_.SetDateTime(Now14());
  Entry e;
  e.kind = kind;
  e.session = server_.session();
  std::string method = "DoInput";
  std::string inputs =
      "[" + Input("nono", e.session.nono()) + "," + Input("SessionKey", e.session.sessionKey());
  if (it != kKinds.end()) {
    e.request = server_.Prepare(it->second);
    method = std::string(sim::MethodOf(it->second));
    inputs = "[";
    for (const sim::PageInput& in : server_.PageInputs(e.request)) {
      if (inputs.size() > 1) inputs += ',';
      inputs += Input(in.property, in.value);
    }
  }
  inputs += "]";
  const int id = nextId_++;
  entries_[id] = e;
  return {200, "application/json",
          "{\"id\":" + std::to_string(id) + ",\"kind\":" + JsonText(kind) +
              ",\"method\":" + JsonText(method) + ",\"nono\":" + JsonText(e.session.nono()) +
              ",\"SessionKey\":" + JsonText(e.session.sessionKey()) + ",\"inputs\":" + inputs +
              "}"};
}

std::string Bank::Input(std::string_view property, std::string_view value) {
  return "{\"property\":" + JsonText(property) + ",\"value\":" + JsonText(value) + "}";
}

Reply Bank::Verify(const std::map<std::string, std::string>& form) {
  auto field = [&](const char* name) { return form.count(name) ? form.at(name) : std::string(); };
  const auto it = entries_.find(std::atoi(field("id").c_str()));
  if (it == entries_.end()) return Verdict({false, "no such session"});
  Entry& e = it->second;
  server_.session() = e.session;
  if (form.count("TACLog")) {
    if (!e.verified) return Verdict({false, "that transaction was not verified"});
    return Verdict(server_.VerifyTacLogRecord(field("TACLog"), e.request, e.outputs));
  }
  if (e.kind == "input") return Verdict(server_.VerifyValueTac(field("ValueTAC"), field("Value")));
  sim::TxnOutputs out;
  out.tac = field("TAC");
  out.iccSeqNo = field("IccSeqNo");
  out.sessionTac = field("SessionTAC");
  out.encOutAccountNo = field("EncOutAccountNo");
  sim::Verdict v = server_.Verify(e.request, out);
  if (v.ok) {
    e.outputs = out;
    e.verified = true;
  }
  return Verdict(v);
}

Reply Bank::Verdict(const sim::Verdict& v) {
  return {200, "application/json",
          std::string("{\"ok\":") + (v.ok ? "true" : "false") +
              ",\"reason\":" + JsonText(v.reason) + "}"};
}

Reply Bank::File(std::string path) {
  if (path.find("..") != std::string::npos) return {403, "text/plain", "forbidden\n"};
  if (path.empty() || path.back() == '/') path += "index.html";
  std::ifstream in(root_ + path, std::ios::binary);
  if (!in) return {404, "text/plain", "not found\n"};
  std::ostringstream s;
  s << in.rdbuf();
  std::string type = "application/octet-stream";
  if (path.ends_with(".html")) type = "text/html; charset=utf-8";
  if (path.ends_with(".js")) type = "application/javascript; charset=utf-8";
  if (path.ends_with(".css")) type = "text/css; charset=utf-8";
  return {200, type, s.str()};
}

}  // namespace quilta::sim::bank_http
