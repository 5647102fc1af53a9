#include "tools/pagehost/script.h"

#include <cstdlib>
#include <istream>
#include <map>
#include <ostream>

#include "core/atm_core.h"
#include "npapi/dev_hooks.h"

namespace quilta::pagehost {
namespace {

struct Token {
  enum Kind { Word, String, Number, Punct, End } kind = End;
  std::string text;  // word, decoded string, number text or punctuation
};

void AppendUtf8(std::string* out, uint32_t cp) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsWordChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '@';
}

// Splits a line into tokens; false with *error on a malformed string.
bool Tokenize(const std::string& line, std::vector<Token>* tokens, std::string* error) {
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') { ++i; continue; }
    if (c == '#') break;
    Token t;
    if (c == '"') {
      t.kind = Token::String;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char d = line[i++];
        if (d == '"') { closed = true; break; }
        if (d != '\\') { t.text += d; continue; }
        if (i >= line.size()) break;
        char e = line[i++];
        auto hex = [&](size_t n, uint32_t* v) {
          if (i + n > line.size()) return false;
          char* end = nullptr;
          std::string digits = line.substr(i, n);
          *v = static_cast<uint32_t>(std::strtoul(digits.c_str(), &end, 16));
          if (end != digits.c_str() + n) return false;
          i += n;
          return true;
        };
        uint32_t v = 0;
        switch (e) {
          case 'n': t.text += '\n'; break;
          case 't': t.text += '\t'; break;
          case 'x':
            if (!hex(2, &v)) { *error = "bad \\x escape"; return false; }
            t.text += static_cast<char>(v);
            break;
          case 'u':
            if (!hex(4, &v)) { *error = "bad \\u escape"; return false; }
            AppendUtf8(&t.text, v);
            break;
          default: t.text += e; break;
        }
      }
      if (!closed) { *error = "unterminated string"; return false; }
    } else if ((c >= '0' && c <= '9') || ((c == '-' || c == '+' || c == '.') && i + 1 < line.size() &&
                                           ((line[i + 1] >= '0' && line[i + 1] <= '9') || line[i + 1] == '.'))) {
      t.kind = Token::Number;
      size_t j = i + 1;
      while (j < line.size() && (IsWordChar(line[j]) || line[j] == '.' ||
                                 ((line[j] == '-' || line[j] == '+') && (line[j - 1] == 'e' || line[j - 1] == 'E')))) {
        ++j;
      }
      t.text = line.substr(i, j - i);
      i = j;
    } else if (IsWordChar(c)) {
      t.kind = Token::Word;
      size_t j = i;
      while (j < line.size() && IsWordChar(line[j])) ++j;
      t.text = line.substr(i, j - i);
      i = j;
    } else {
      t.kind = Token::Punct;
      if (line.compare(i, 2, "==") == 0 || line.compare(i, 2, "->") == 0) {
        t.text = line.substr(i, 2);
        i += 2;
      } else {
        t.text = std::string(1, c);
        ++i;
      }
    }
    tokens->push_back(std::move(t));
  }
  return true;
}

std::optional<Value> TokenValue(const Token& t) {
  if (t.kind == Token::String) return Value::Str(t.text);
  if (t.kind == Token::Number) {
    bool isDouble = t.text.find_first_of(".eE") != std::string::npos;
    char* end = nullptr;
    if (!isDouble) {
      long long v = std::strtoll(t.text.c_str(), &end, 10);
      if (*end != '\0') return std::nullopt;
      if (v < INT32_MIN || v > INT32_MAX) return Value::Dbl(static_cast<double>(v));
      return Value::Int(static_cast<int32_t>(v));
    }
    double d = std::strtod(t.text.c_str(), &end);
    if (*end != '\0') return std::nullopt;
    return Value::Dbl(d);
  }
  if (t.kind == Token::Word) {
    if (t.text == "true") return Value::Boolean(true);
    if (t.text == "false") return Value::Boolean(false);
    if (t.text == "null") return Value::NullValue();
    if (t.text == "void") return Value();
  }
  return std::nullopt;
}

// What a statement expects of its outcome.
struct Expectation {
  enum Kind { None, Accepted, Refused, Equals, HasKind } kind = None;
  Value value;
  std::string word;
};

class Parser {
 public:
  explicit Parser(std::vector<Token> t) : t_(std::move(t)) {}
  const Token& Peek(size_t k = 0) const {
    static const Token end;
    return pos_ + k < t_.size() ? t_[pos_ + k] : end;
  }
  Token Next() { return pos_ < t_.size() ? t_[pos_++] : Token(); }
  bool AtEnd() const { return pos_ >= t_.size(); }
  bool Accept(const std::string& punct) {
    if (Peek().kind == Token::Punct && Peek().text == punct) { ++pos_; return true; }
    return false;
  }
  // Optional "-> X" or "== X" at the end of a statement.
  bool ParseExpectation(Expectation* e, std::string* error) {
    if (AtEnd()) return true;
    bool arrow = Accept("->");
    if (!arrow && !Accept("==")) { *error = "unexpected '" + Peek().text + "'"; return false; }
    Token t = Next();
    if (arrow && t.kind == Token::Word && (t.text == "refused" || t.text == "ok")) {
      e->kind = t.text == "refused" ? Expectation::Refused : Expectation::Accepted;
    } else if (arrow && t.kind == Token::Word &&
               (t.text == "method" || t.text == "property" || t.text == "none")) {
      e->kind = Expectation::HasKind;
      e->word = t.text;
    } else if (auto v = TokenValue(t)) {
      e->kind = Expectation::Equals;
      e->value = *v;
    } else {
      *error = "expected a value after '" + std::string(arrow ? "->" : "==") + "'";
      return false;
    }
    if (!AtEnd()) { *error = "text after the expected result"; return false; }
    return true;
  }

 private:
  std::vector<Token> t_;
  size_t pos_ = 0;
};

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

std::optional<Value> ParseValue(const std::string& text) {
  std::vector<Token> tokens;
  std::string error;
  if (!Tokenize(text, &tokens, &error) || tokens.size() != 1) return std::nullopt;
  return TokenValue(tokens[0]);
}

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
    out_ << line << "  => " << (err == NPERR_NO_ERROR ? "ok" : "error " + std::to_string(err)) << "\n";
    return err == NPERR_NO_ERROR;
  }
  if (first == "destroy") {
    NPError err = current()->Destroy();
    out_ << line << "  => " << (err == NPERR_NO_ERROR ? "ok" : "error " + std::to_string(err)) << "\n";
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
      (first == "set" || first == "get" || first == "call" || first == "has" || first == "expect") &&
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
    ok = member == "@default" ? page->InvokeDefault(args, &result) : page->Invoke(member, args, &result);
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
