// The hex codec: binary values cross the page boundary and the command builder as
// upper-case hexadecimal text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quilta {

// Decodes up to n bytes from 2n characters of `hex` into `out`. A character above '9'
// gives its code - 0x37 as nibble, any other its code - 0x30; a byte is (high * 16 + low)
// mod 256. Only upper-case hex is the contract. Never reads past the end of `hex`: returns
// the number of whole bytes decoded (less than n when the text is short).
size_t HexToBytes(std::string_view hex, size_t n, uint8_t* out);

// True when `hex` is exactly 2n characters of '0'-'9' / 'A'-'F'.
bool IsUpperHex(std::string_view hex, size_t n);

// 2n upper-case hex characters for n bytes.
std::string BytesToHex(const uint8_t* bytes, size_t n);

// The n raw bytes at `offset` of `area`, used as text: a zero byte ends the text there.
// n <= 0 gives the empty text.
std::string TakeBytes(const uint8_t* area, size_t offset, int n);

}  // namespace quilta
