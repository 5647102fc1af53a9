// Text model: every property holds a UTF-16 text. Where bytes are needed (length limits,
// card data, formatting, encryption) the 8-bit form in the narrow code page is used: CP950
// (Big5) on Linux, the ANSI code page on Windows. Texts cross to the page as UTF-8.
//
// The narrow conversion is lossless: every byte string survives FromNarrow then ToNarrow
// unchanged, so card data keeps its bytes. A byte b >= 0x80 that does not read as a character
// of the code page is kept as the UTF-16 unit U+DC00+b (an escape unit) and turned back into
// b on the way out; so are both bytes of a pair whose character the code page writes with
// other bytes (CP950 repeats eight box-drawing characters at F9 E9..F9 EB and F9 F9..F9 FD).
// A2 CC and A2 CE read as the Hangzhou numerals U+3038 and U+303A. Towards UTF-8 escape
// units become U+FFFD, so the page always receives valid UTF-8.
//
// Only a lone escape unit carries a raw byte. Text from the page never holds one (FromUtf8
// and FromPageUtf16 turn lone surrogates into U+FFFD), and a surrogate pair is one character
// beyond U+FFFF, written as "?" whatever its low half, so page text never puts raw bytes
// into lengths, encrypted fields or card commands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quilta {

using Text = std::u16string;

// UTF-16 text -> bytes of the narrow code page.
std::string ToNarrow(std::u16string_view text);
// Bytes of the narrow code page -> UTF-16 text (stops at nothing: callers cut at zero bytes).
Text FromNarrow(std::string_view bytes);
// Length of the 8-bit form in bytes (a Chinese character counts 2): ToNarrow(text).size().
size_t NarrowLength(std::u16string_view text);

// UTF-8 <-> UTF-16. Malformed UTF-8 becomes U+FFFD; lone surrogates become U+FFFD.
Text FromUtf8(std::string_view utf8);
std::string ToUtf8(std::u16string_view text);
// UTF-16 from the page (the ActiveX side): surrogate pairs kept, lone surrogates -> U+FFFD.
Text FromPageUtf16(std::u16string_view utf16);

// Reader names as PC/SC hands them over and takes them: UTF-8 with pcsc-lite, the narrow
// code page with winscard (its ...A functions). Malformed UTF-8 reads as U+FFFD. The
// ReaderName property's 100-byte limit and the 2-byte minimum of the reader calls still
// count the narrow form (NarrowLength); only the bytes handed to PC/SC differ.
Text ReaderNameFromPcsc(std::string_view bytes);
std::string ReaderNameToPcsc(std::u16string_view name);

// ASCII convenience for literals and tests.
Text AsciiText(std::string_view ascii);

}  // namespace quilta
