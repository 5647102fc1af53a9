#include "base/text.h"

#include <cerrno>

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace quilta {
namespace {

bool AllAscii(std::u16string_view t) {
  for (char16_t c : t)
    if (c >= 0x80) return false;
  return true;
}
bool AllAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

constexpr char16_t kEscapeBase = 0xDC00;  // U+DC80..U+DCFF carry raw bytes 0x80..0xFF

#if !defined(_WIN32)
// One converter per direction, opened once; all calls run on the page's thread, but the
// helpers are also used from tests with threads, so keep one per thread.
struct Converter {
  iconv_t cd;
  Converter(const char* to, const char* from) : cd(iconv_open(to, from)) {}
  ~Converter() {
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
  bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
};

Converter& NarrowToUtf16() {
  thread_local Converter c("UTF-16LE", "CP950");
  return c;
}
Converter& Utf16ToNarrow() {
  thread_local Converter c("CP950", "UTF-16LE");
  return c;
}

// Converts one character (1 or 2 bytes of CP950) or fails.
bool SystemDecode(const unsigned char* p, size_t n, char16_t* out) {
  Converter& c = NarrowToUtf16();
  if (!c.ok()) return false;
  iconv(c.cd, nullptr, nullptr, nullptr, nullptr);
  char16_t buf[2];
  char* in = reinterpret_cast<char*>(const_cast<unsigned char*>(p));
  size_t inLeft = n;
  char* o = reinterpret_cast<char*>(buf);
  size_t outLeft = sizeof(buf);
  if (iconv(c.cd, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) return false;
  if (outLeft != sizeof(buf) - 2) return false;  // exactly one UTF-16 unit
  *out = buf[0];
  return true;
}

bool SystemEncode(char16_t ch, std::string* out) {
  Converter& c = Utf16ToNarrow();
  if (!c.ok()) return false;
  iconv(c.cd, nullptr, nullptr, nullptr, nullptr);
  char16_t src = ch;
  char* in = reinterpret_cast<char*>(&src);
  size_t inLeft = 2;
  char buf[8];
  char* o = buf;
  size_t outLeft = sizeof(buf);
  if (iconv(c.cd, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1)) return false;
  out->append(buf, sizeof(buf) - outLeft);
  return true;
}
#else
bool SystemDecode(const unsigned char* p, size_t n, char16_t* out) {
  wchar_t w[2];
  int r = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(p),
                              static_cast<int>(n), w, 2);
  if (r != 1) return false;
  *out = static_cast<char16_t>(w[0]);
  return true;
}
bool SystemEncode(char16_t ch, std::string* out) {
  wchar_t w = static_cast<wchar_t>(ch);
  char buf[8];
  BOOL usedDefault = FALSE;
  int r = WideCharToMultiByte(CP_ACP, 0, &w, 1, buf, sizeof(buf), nullptr, &usedDefault);
  if (r <= 0 || usedDefault) return false;
  out->append(buf, static_cast<size_t>(r));
  return true;
}
#endif

#if defined(_WIN32)
bool NarrowIsCp950() { return GetACP() == 950; }
#else
bool NarrowIsCp950() { return true; }
#endif

// Big5 holds the Hangzhou numerals ten and thirty at A2 CC and A2 CE besides the ideographs
// at A4 51 and A4 CA; the system converters decode both pairs to the ideograph, which then
// goes back as A4 51 or A4 CA. These two pairs decode to the numerals U+3038 and U+303A
// instead (which the converters cannot encode) and go back to their own bytes.
struct Cp950Extra {
  unsigned char lead, trail;
  char16_t ch;
};
constexpr Cp950Extra kCp950Extras[] = {{0xA2, 0xCC, u'\u3038'}, {0xA2, 0xCE, u'\u303A'}};

// One character of the narrow code page: n is 1 or 2 bytes.
bool DecodeOne(const unsigned char* p, size_t n, char16_t* out) {
  if (n == 2 && NarrowIsCp950()) {
    for (const Cp950Extra& e : kCp950Extras) {
      if (p[0] == e.lead && p[1] == e.trail) {
        *out = e.ch;
        return true;
      }
    }
  }
  // A surrogate would read as half a character or as an escape unit.
  return SystemDecode(p, n, out) && (*out < 0xD800 || *out > 0xDFFF);
}

bool EncodeOne(char16_t ch, std::string* out) {
  if (NarrowIsCp950()) {
    for (const Cp950Extra& e : kCp950Extras) {
      if (ch == e.ch) {
        out->push_back(static_cast<char>(e.lead));
        out->push_back(static_cast<char>(e.trail));
        return true;
      }
    }
  }
  return SystemEncode(ch, out);
}

// Whether ch goes back to exactly the n bytes at p. Some byte pairs of the code page
// duplicate a character that has another pair (the box-drawing characters at F9 E9..F9 EB
// and F9 F9..F9 FD repeat those at A2 7E..A2 A7): those pairs stay as raw bytes.
bool EncodesBackTo(char16_t ch, const unsigned char* p, size_t n) {
  std::string bytes;
  return EncodeOne(ch, &bytes) && bytes == std::string_view(reinterpret_cast<const char*>(p), n);
}

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool IsEscape(char16_t u) { return u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF; }

// A byte kept as it is: ASCII stands for itself, 0x80..0xFF become escape units.
char16_t RawUnit(unsigned char b) { return b < 0x80 ? b : static_cast<char16_t>(kEscapeBase + b); }

}  // namespace

std::string ToNarrow(std::u16string_view text) {
  if (AllAscii(text)) return std::string(text.begin(), text.end());
  std::string out;
  out.reserve(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t ch = text[i];
    if (ch < 0x80) {
      out.push_back(static_cast<char>(ch));
    } else if (IsHighSurrogate(ch) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      // One character beyond U+FFFF, whatever its low half: no narrow code page has it.
      out.push_back('?');
      ++i;
    } else if (IsEscape(ch)) {
      out.push_back(static_cast<char>(ch - kEscapeBase));
    } else if (!EncodeOne(ch, &out)) {
      out.push_back('?');  // not representable in the code page, as the system converter does
    }
  }
  return out;
}

Text FromNarrow(std::string_view bytes) {
  if (AllAscii(bytes)) return Text(bytes.begin(), bytes.end());
  Text out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t n = bytes.size();
  for (size_t i = 0; i < n;) {
    if (p[i] < 0x80) {
      out.push_back(p[i]);
      ++i;
      continue;
    }
    char16_t ch;
    if (i + 1 < n && DecodeOne(p + i, 2, &ch)) {
      if (EncodesBackTo(ch, p + i, 2)) {
        out.push_back(ch);
      } else {  // a duplicate pair: both bytes stay raw, so the next pair is read aligned
        out.push_back(RawUnit(p[i]));
        out.push_back(RawUnit(p[i + 1]));
      }
      i += 2;
    } else if (DecodeOne(p + i, 1, &ch) && EncodesBackTo(ch, p + i, 1)) {
      out.push_back(ch);
      i += 1;
    } else {
      out.push_back(RawUnit(p[i]));
      i += 1;
    }
  }
  return out;
}

size_t NarrowLength(std::u16string_view text) {
  if (AllAscii(text)) return text.size();
  return ToNarrow(text).size();
}

Text FromUtf8(std::string_view s) {
  Text out;
  out.reserve(s.size());
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    unsigned char c = p[i];
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    int len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07, min = 0x10000;
    }
    bool ok = len > 0 && i + len <= n;
    for (int k = 1; ok && k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::string ToUtf8(std::u16string_view t) {
  std::string out;
  out.reserve(t.size());
  for (size_t i = 0; i < t.size(); ++i) {
    char32_t cp = t[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < t.size() && t[i + 1] >= 0xDC00 &&
        t[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (t[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

Text FromPageUtf16(std::u16string_view utf16) {
  Text out(utf16);
  for (size_t i = 0; i < out.size(); ++i) {
    if (IsHighSurrogate(out[i]) && i + 1 < out.size() && IsLowSurrogate(out[i + 1])) {
      ++i;
    } else if (IsHighSurrogate(out[i]) || IsLowSurrogate(out[i])) {
      out[i] = 0xFFFD;
    }
  }
  return out;
}

#if defined(_WIN32)
Text ReaderNameFromPcsc(std::string_view bytes) { return FromNarrow(bytes); }
std::string ReaderNameToPcsc(std::u16string_view name) { return ToNarrow(name); }
#else
Text ReaderNameFromPcsc(std::string_view bytes) { return FromUtf8(bytes); }
std::string ReaderNameToPcsc(std::u16string_view name) { return ToUtf8(name); }
#endif

Text AsciiText(std::string_view ascii) { return Text(ascii.begin(), ascii.end()); }

}  // namespace quilta
