// Reading the page-script language (script_syntax.h): tokens, values and expectations.
#include "tools/pagehost/script_syntax.h"

#include <cstdint>
#include <cstdlib>

#include "tools/pagehost/script.h"

namespace quilta::pagehost {
namespace syntax {
namespace {

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
}  // namespace

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
    } else if ((c >= '0' && c <= '9') ||
               ((c == '-' || c == '+' || c == '.') && i + 1 < line.size() &&
                ((line[i + 1] >= '0' && line[i + 1] <= '9') || line[i + 1] == '.'))) {
      t.kind = Token::Number;
      size_t j = i + 1;
      while (j < line.size() &&
             (IsWordChar(line[j]) || line[j] == '.' ||
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

bool Parser::ParseExpectation(Expectation* e, std::string* error) {
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

}  // namespace syntax

std::optional<Value> ParseValue(const std::string& text) {
  std::vector<syntax::Token> tokens;
  std::string error;
  if (!syntax::Tokenize(text, &tokens, &error) || tokens.size() != 1) return std::nullopt;
  return syntax::TokenValue(tokens[0]);
}

}  // namespace quilta::pagehost
