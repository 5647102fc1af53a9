#include "diagnosis/report.h"

#include <cstdio>

namespace quilta::diagnosis {
namespace {

const char* LevelName(Level level) {
  switch (level) {
    case Level::kOk:
      return "ok";
    case Level::kWarn:
      return "warn";
    case Level::kFail:
      return "fail";
  }
  return "fail";
}

const char* LinePrefix(Level level) {
  switch (level) {
    case Level::kOk:
      return "OK       ";
    case Level::kWarn:
      return "WARNING  ";
    case Level::kFail:
      return "PROBLEM  ";
  }
  return "PROBLEM  ";
}

// Length of the valid UTF-8 sequence starting at s[i], or 0 when the bytes there are not one
// (overlong forms, surrogates and values above U+10FFFF included).
size_t Utf8Sequence(const std::string& s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) return 1;
  size_t n;
  unsigned cp;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2, cp = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF)
    n = 3, cp = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4)
    n = 4, cp = c & 0x07;
  else
    return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (b(i + k) & 0x3F);
  }
  if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
      (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
    return 0;
  return n;
}

// A JSON string; bytes that are not UTF-8 (a reader name may carry any) become U+FFFD.
void JsonString(std::string& out, const std::string& s) {
  out += '"';
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = Utf8Sequence(s, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (n > 1) {
      out.append(s, i, n);
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
    i += n;
  }
  out += '"';
}

}  // namespace

Finding& Finding::With(std::string key, std::string value) {
  detail.push_back(Detail{std::move(key), {std::move(value)}, false});
  return *this;
}

Finding& Finding::WithList(std::string key, std::vector<std::string> values) {
  detail.push_back(Detail{std::move(key), std::move(values), true});
  return *this;
}

Finding& Report::Add(std::string id, Level level, std::string text) {
  findings_.push_back(Finding{std::move(id), level, std::move(text), {}});
  return findings_.back();
}

bool Report::Clear() const {
  for (const Finding& f : findings_)
    if (f.level == Level::kFail) return false;
  return true;
}

std::string AsText(const Report& report) {
  std::string out;
  for (const Finding& f : report.findings()) {
    out += LinePrefix(f.level);
    out += f.text;
    out += '\n';
  }
  out += report.Clear()
             ? "Nothing found that keeps the browser from the card.\n"
             : "Something keeps the browser from the card: see the lines marked PROBLEM.\n";
  return out;
}

std::string AsJson(const Report& report) {
  std::string out = "{\"clear\":";
  out += report.Clear() ? "true" : "false";
  out += ",\"findings\":[";
  bool firstFinding = true;
  for (const Finding& f : report.findings()) {
    if (!firstFinding) out += ',';
    firstFinding = false;
    out += "\n{\"id\":";
    JsonString(out, f.id);
    out += ",\"status\":";
    JsonString(out, LevelName(f.level));
    out += ",\"text\":";
    JsonString(out, f.text);
    out += ",\"detail\":{";
    bool firstDetail = true;
    for (const Detail& d : f.detail) {
      if (!firstDetail) out += ',';
      firstDetail = false;
      JsonString(out, d.key);
      out += ':';
      if (d.list) {
        out += '[';
        for (size_t i = 0; i < d.values.size(); ++i) {
          if (i) out += ',';
          JsonString(out, d.values[i]);
        }
        out += ']';
      } else {
        JsonString(out, d.values.empty() ? std::string() : d.values.front());
      }
    }
    out += "}}";
  }
  out += "\n]}\n";
  return out;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace quilta::diagnosis
