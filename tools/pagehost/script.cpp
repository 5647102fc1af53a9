#include "tools/pagehost/script.h"

#include <cstdlib>
#include <istream>
#include <map>
#include <ostream>

#include "core/atm_core.h"
#include "npapi/dev_hooks.h"
#include "tools/pagehost/script_syntax.h"

namespace quilta::pagehost {
namespace {

using syntax::Expectation;
using syntax::Parser;
using syntax::Token;
using syntax::TokenValue;
using syntax::Tokenize;

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// Replaces every ${NAME} in a line by the value of the variable NAME; false with *error
// when NAME is not defined or the braces do not close.
bool Expand(const std::string& line, const std::map<std::string, std::string>& variables,
            std::string* out, std::string* error) {
  out->clear();
  size_t i = 0;
  while (i < line.size()) {
    size_t start = line.find("${", i);
    if (start == std::string::npos) break;
    size_t end = line.find('}', start + 2);
    if (end == std::string::npos) {
      *error = "'${' without '}'";
      return false;
    }
    std::string name = line.substr(start + 2, end - start - 2);
    auto it = variables.find(name);
    if (it == variables.end()) {
      *error = "unknown variable '" + name + "'";
      return false;
    }
    *out += line.substr(i, start - i) + it->second;
    i = end + 1;
  }
  *out += line.substr(i);
  return true;
}

}  // namespace

ScriptRunner::ScriptRunner(Module& module, std::string defaultUrl, std::ostream& out)
    : module_(module), defaultUrl_(std::move(defaultUrl)), out_(out) {}

ScriptRunner::~ScriptRunner() = default;

Page* ScriptRunner::current() {
  if (pages_.empty()) {
    pages_.push_back(std::make_unique<Page>(module_, defaultUrl_));
    NPError err = pages_.back()->New();
    if (err != NPERR_NO_ERROR) out_ << "  !! NPP_New failed with error " << err << "\n";
  }
  return pages_.back().get();
}

int ScriptRunner::Run(std::istream& in, const std::string& name) {
  int failures = 0;
  int lineNo = 0;
  std::string line;
  while (std::getline(in, line)) {
    ++lineNo;
    std::string t = Trim(line);
    if (t.empty() || t[0] == '#') continue;
    if (!RunLine(t)) {
      ++failures;
      out_ << "  !! " << name << ":" << lineNo << ": failed\n";
    }
  }
  return failures;
}

bool ScriptRunner::RunLine(const std::string& rawLine) {
  std::string line = Trim(rawLine);
  std::vector<Token> tokens;
  std::string error;
  auto fail = [&](const std::string& why) {
    out_ << line << "\n  !! " << why << "\n";
    return false;
  };
  std::string expanded;
  if (!Expand(line, variables, &expanded, &error)) return fail(error);
  line = std::move(expanded);
  if (!Tokenize(line, &tokens, &error)) return fail(error);
  if (tokens.empty()) return true;

  // Statements addressed by their first word.
  const std::string& first = tokens[0].kind == Token::Word ? tokens[0].text : std::string();
  if (first == "echo") {
    out_ << Trim(line.substr(4)) << "\n";
    return true;
  }
  if (first == "page") {
    std::string rest = Trim(line.substr(4));
    size_t hash = rest.find(" #");
    if (hash != std::string::npos) rest = Trim(rest.substr(0, hash));
    std::optional<std::string> url;
    if (rest.empty()) url = defaultUrl_;
    else if (rest != "none") url = rest;
    pages_.push_back(std::make_unique<Page>(module_, url));
    NPError err = pages_.back()->New();
    out_ << line << "  => " << (err == NPERR_NO_ERROR ? "ok" : "error " + std::to_string(err))
         << "\n";
    return err == NPERR_NO_ERROR;
  }
  if (first == "destroy") {
    NPError err = current()->Destroy();
    out_ << line << "  => " << (err == NPERR_NO_ERROR ? "ok" : "error " + std::to_string(err))
         << "\n";
    return err == NPERR_NO_ERROR;
  }
  if (first == "dev" && tokens.size() == 3 && tokens[1].text == "modal" &&
      tokens[2].kind == Token::Number) {
    auto core = reinterpret_cast<QuiltaDevCoreFunc>(module_.Symbol("QuiltaDevCore"));
    if (core == nullptr) return fail("the module has no development hooks");
    current();
    core()->modalHost().SetDepthForDevelopment(std::atoi(tokens[2].text.c_str()));
    out_ << line << "  => ok\n";
    return true;
  }
  if (extension) {
    std::vector<std::string> words;
    for (const Token& tk : tokens) words.push_back(tk.text);
    error.clear();
    if (extension(words, &error)) {
      if (!error.empty()) return fail(error);
      out_ << line << "  => ok\n";
      return true;
    }
  }

  Parser p(tokens);
  std::string verb;
  if (p.Peek().kind == Token::Word &&
      (first == "set" || first == "get" || first == "call" || first == "has" ||
       first == "expect") &&
      p.Peek(1).kind == Token::Word) {
    verb = p.Next().text;
  }
  if (p.Peek().kind != Token::Word) return fail("expected a member name");
  std::string member = p.Next().text;
  if (verb.empty()) {
    if (p.Peek().kind == Token::Punct && p.Peek().text == "=") verb = "set";
    else return fail("unknown statement");
  }
  if (verb == "expect") verb = "get";

  Page* page = current();
  Expectation expect;
  bool ok = false;
  Value result;
  std::string shown;
  if (verb == "set") {
    if (!p.Accept("=")) return fail("expected '='");
    auto v = TokenValue(p.Next());
    if (!v) return fail("expected a value after '='");
    if (!p.ParseExpectation(&expect, &error)) return fail(error);
    if (expect.kind == Expectation::None) expect.kind = Expectation::Accepted;
    if (expect.kind != Expectation::Accepted && expect.kind != Expectation::Refused) {
      return fail("a write expects 'ok' or 'refused'");
    }
    ok = page->Set(member, *v);
    shown = ok ? "ok" : "refused";
  } else if (verb == "get") {
    if (!p.ParseExpectation(&expect, &error)) return fail(error);
    ok = page->Get(member, &result);
    shown = ok ? result.ToString() : "refused";
  } else if (verb == "call") {
    std::vector<Value> args;
    if (p.Accept("(")) {
      if (!p.Accept(")")) {
        for (;;) {
          auto v = TokenValue(p.Next());
          if (!v) return fail("expected an argument value");
          args.push_back(*v);
          if (p.Accept(")")) break;
          if (!p.Accept(",")) return fail("expected ',' or ')'");
        }
      }
    }
    if (!p.ParseExpectation(&expect, &error)) return fail(error);
    ok = member == "@default" ? page->InvokeDefault(args, &result)
                              : page->Invoke(member, args, &result);
    shown = ok ? result.ToString() : "refused";
  } else if (verb == "has") {
    if (!p.ParseExpectation(&expect, &error)) return fail(error);
    bool m = page->HasMethod(member), pr = page->HasProperty(member);
    shown = m ? "method" : pr ? "property" : "none";
    if (expect.kind == Expectation::None) { out_ << line << "  => " << shown << "\n"; return true; }
    if (expect.kind != Expectation::HasKind) return fail("'has' expects method, property or none");
    out_ << line << "  => " << shown << "\n";
    if (shown != expect.word) { out_ << "  !! expected " << expect.word << "\n"; return false; }
    return true;
  }

  out_ << line << "  => " << shown << "\n";
  switch (expect.kind) {
    case Expectation::None: return true;
    case Expectation::Accepted:
      if (!ok) { out_ << "  !! expected the plug-in to accept it\n"; return false; }
      return true;
    case Expectation::Refused:
      if (ok) { out_ << "  !! expected the plug-in to refuse it\n"; return false; }
      return true;
    case Expectation::Equals:
      if (!ok || !(result == expect.value)) {
        out_ << "  !! expected " << expect.value.ToString() << "\n";
        return false;
      }
      return true;
    case Expectation::HasKind:
      out_ << "  !! 'method', 'property' and 'none' belong to 'has'\n";
      return false;
  }
  return true;
}

}  // namespace quilta::pagehost
