// The page-script language's syntax (script.h), shared by the runner (script.cpp) and its
// reader (script_syntax.cpp): a line's tokens, a token's value, the statement's expected
// outcome. Not for callers, who use script.h.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/pagehost/host_browser.h"

namespace quilta::pagehost::syntax {

struct Token {
  enum Kind { Word, String, Number, Punct, End } kind = End;
  std::string text;  // word, decoded string, number text or punctuation
};

// Splits a line into tokens; false with *error on a malformed string.
bool Tokenize(const std::string& line, std::vector<Token>* tokens, std::string* error);

// The value a token stands for; nullopt when it stands for none.
std::optional<Value> TokenValue(const Token& t);

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
  bool ParseExpectation(Expectation* e, std::string* error);

 private:
  std::vector<Token> t_;
  size_t pos_ = 0;
};

}  // namespace quilta::pagehost::syntax
