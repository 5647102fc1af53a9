// Card data: the card's issuer, remark, identity and accounts (file 10 01), the registered
// transfer-in accounts (file 10 02) and the card's identity alone. Each read hands back what
// it read as typed data and the outcome of its commands; nothing here knows the page.
#pragma once

#include <array>
#include <optional>

#include "base/status.h"
#include "base/text.h"
#include "card/channel.h"

namespace quilta::card {

inline constexpr int kAccountSlots = 8;
inline constexpr char16_t kNoAccount[] = u"0000000000000000";  // a slot without an account
inline constexpr char16_t kNoBank[] = u"00000000";

// The card's basic data. A read that fails part-way keeps what it read before the failing
// command; the fields it did not reach stay empty (nullopt), the account slots it did not
// reach hold kNoAccount, and `accountCount` is set only when every command succeeded.
struct BasicData {
  std::optional<Text> issuerBankNo;          // record 1, 8 characters
  std::optional<Text> cardRemark;            // record 2, 30 bytes as 60 hex digits
  std::array<Text, kAccountSlots> accounts;  // records 3..10; kNoAccount where unusable
  std::optional<Text> masterAccountNo;       // the first slot, when it is usable
  std::optional<Text> cardNo;                // the identity, 32 hex digits
  std::optional<int32_t> accountCount;       // usable slots
};
// SELECT 10 01, READ RECORD 1..10, READ BINARY of the identity; the first command the card
// refuses (or that fails to transmit) ends the read with its outcome. A record too short for
// its field carries none.
Outcome ReadBasicData(Channel& channel, BasicData* data);

// The registered transfer-in accounts, with the same rule for a read that fails part-way.
struct RegisteredAccounts {
  std::array<Text, kAccountSlots> banks;     // kNoBank where unusable
  std::array<Text, kAccountSlots> accounts;  // kNoAccount where unusable
  std::optional<int32_t> count;
};
// SELECT 10 02, READ RECORD 1..8.
Outcome ReadRegisteredAccounts(Channel& channel, RegisteredAccounts* accounts);

// READ BINARY of the card's identity: its 16 bytes as 32 hex digits, nullopt when the card
// answered fewer (success all the same).
Outcome ReadCardIdentity(Channel& channel, std::optional<Text>* identity);

}  // namespace quilta::card
