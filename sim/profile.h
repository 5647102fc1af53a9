// Card profiles for the FISC card simulator: what one simulated card holds when it is
// made (identity, issuer, accounts, registered accounts, PIN, keys, counters).
//
// Profile text format, one `key = value` per line; blank lines and lines starting with '#'
// are ignored; keys are case-sensitive; a key given twice is an error. Values:
//   "text"        the bytes between the quotes, taken as they are (keeps blanks)
//   hex:0A1B...   bytes given as upper- or lower-case hex digits
//   blank         the field full of blanks (0x20)
//   nul           the field full of zero bytes
//   zeros         the field full of '0' characters
//   missing       (accounts and registered accounts only) the record does not exist:
//                 READ RECORD answers 6A 83 for it
//   anything else the text itself, leading and trailing blanks trimmed
// Keys (widths are exact; a value of another width is rejected):
//   name            free text naming the profile (default "card")
//   identity        16 bytes, the card's identity read by READ BINARY (give it as hex:)
//   issuer          8 bytes, issuing bank number (record 1 of file 10 01)
//   remark          30 bytes, card remark (record 2 of file 10 01)
//   account1..8     16 bytes each, records 3..10 of file 10 01 (default zeros)
//   registered1..8  24 bytes each: 8-byte bank then 16-byte account, records 1..8 of
//                   file 10 02 (default zeros)
//   pin             the PIN, 0..16 characters; the card stores its PIN block
//   pin-tries       tries left before the PIN locks, 0..3 (0 = locked; default 3)
//   external-key    8 bytes, the value EXTERNAL AUTHENTICATE must present (static mode)
//   auth-mode       "static" (default): EXTERNAL AUTHENTICATE compares with external-key;
//                   "challenge": it must present ChallengeResponse(auth-key, last challenge)
//   auth-key        16 bytes, AES-128 key of the challenge mode
//   tac-key         16 bytes, AES-128 key of the TAC (see ComputeTac in sim/fisc_card.h)
//   sequence        the ICC sequence number the next TAC gets, 0..99999999 (default 1)
//   aid             8 bytes, the card's application id (default the financial application's,
//                   card/fisc.h); a card of another application answers the financial
//                   application's SELECT with 6A 82
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "card/fisc.h"

namespace quilta::sim {

using Bytes8 = std::array<uint8_t, 8>;
using Bytes16 = std::array<uint8_t, 16>;

// Raised by ParseProfile / LoadProfile; what() names the line and the fault.
class ProfileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class AuthMode { kStatic, kChallenge };

struct Profile {
  std::string name = "card";
  Bytes16 identity{};
  std::string issuer = "00000000";                 // 8 bytes
  std::string remark = std::string(30, '\0');       // 30 bytes
  // 16 bytes each; std::nullopt = the record does not exist.
  std::array<std::optional<std::string>, 8> accounts;
  // 24 bytes each (bank 8 + account 16); std::nullopt = the record does not exist.
  std::array<std::optional<std::string>, 8> registered;
  std::string pin = "1234";
  int pinTries = 3;                                 // 0..kMaxPinTries
  AuthMode authMode = AuthMode::kStatic;
  Bytes8 externalKey{};
  Bytes16 authKey{};
  Bytes16 tacKey{};
  uint32_t sequence = 1;                            // 0..99999999
  Bytes8 aid = fisc::kAid;

  Profile();  // accounts and registered filled with '0' characters
};

inline constexpr int kMaxPinTries = 3;

// Parses the text format above. Throws ProfileError on any fault (unknown key, bad width,
// bad hex, out-of-range number, duplicate key).
Profile ParseProfile(std::string_view text);
// Reads and parses a file. Throws ProfileError (also when the file cannot be read).
Profile LoadProfile(const std::string& path);
// The compiled-in demo card: identity 0102..10, issuer "00812345", PIN "1234",
// accounts 1 and 2 usable, two registered accounts. Same as sim/profiles/default.txt.
Profile DefaultProfile();
// Renders a profile in the text format (round-trips through ParseProfile).
std::string FormatProfile(const Profile& profile);

}  // namespace quilta::sim
