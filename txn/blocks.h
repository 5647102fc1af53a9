// The transaction data blocks the card signs, and the TAC command that carries them.
//
// A transaction's block is its fields, each of an exact width, concatenated in a fixed
// order; the card computes the TAC over it when it receives
//   00 E2 10 80 <Lc> <block> 00          (Lc = the block's length, L + 6 bytes in all)
// and answers 19 data bytes: byte 0 unused, 1..8 the ICC sequence number as 8 ASCII
// characters, 9..10 unused, 11..18 the TAC.
//
//   inquiry   PCode 4, FdChkCode 8, AccountNo 16                                    28 "1C"
//   transfer  PCode 4, Amount14 14, FdId 8, FdChkCode 8, ServerDateTime 14,
//             InAccountNo 16, AccountNo 16                                          80 "50"
//   tax       PCode 4, Amount14 14, FdId 8, FdChkCode 8, ServerDateTime 14,
//             FeeType 5, AccountNo 16, InAccountNo 16                               85 "55"
//             (here the paying account comes before InAccountNo, unlike transfer)
//   fee       PCode 4, Amount14 14, FdId 8, FdChkCode 8, ServerDateTime 14,
//             AccountNo 16                                                          64 "40"
//   merchant  PCode 4, Amount14 14, FdId 8, FdChkCode 8, ServerDateTime 14,
//             MerchantId 30, AccountNo 16                                           94 "5E"
//   apply     PCode 4, ID 16, FdChkCode 8, ServerDateTime 14, CTelNo 10             52 "34"
//
// The transfer layout serves DoTransferTAC, DoNBTransferTAC and DoAccessibleTransferTAC.
// Log-in signs nothing: its SessionTAC encrypts LoginSessionText (below).
//
// Pure description: values are the 8-bit forms of the page's properties as plain strings
// (Amount14 as the Amount write derives it, ID and CTelNo as their setters fix them). Both
// the plug-in (to build the command) and the bank-server simulator (to rebuild what the
// card must have signed) use it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/member_table.h"

namespace quilta::txn {

enum class BlockField : uint8_t {
  kPCode,
  kAmount14,
  kFdId,
  kFdChkCode,
  kServerDateTime,  // YYYYMMDDhhmmss
  kInAccountNo,     // receiving account or the bill's write-off number
  kAccountNo,       // the paying (card) account
  kFeeType,
  kMerchantId,
  kId,
  kCTelNo,
};
inline constexpr size_t kBlockFieldCount = static_cast<size_t>(BlockField::kCTelNo) + 1;

// The property a field holds: its own, for kAmount14 the Amount in its Amount14 form.
constexpr Prop PropOf(BlockField f) {
  switch (f) {
    case BlockField::kPCode: return Prop::PCode;
    case BlockField::kAmount14: return Prop::Amount;
    case BlockField::kFdId: return Prop::FdId;
    case BlockField::kFdChkCode: return Prop::FdChkCode;
    case BlockField::kServerDateTime: return Prop::ServerDateTime;
    case BlockField::kInAccountNo: return Prop::InAccountNo;
    case BlockField::kAccountNo: return Prop::AccountNo;
    case BlockField::kFeeType: return Prop::FeeType;
    case BlockField::kMerchantId: return Prop::MerchantId;
    case BlockField::kId: return Prop::ID;
    case BlockField::kCTelNo: return Prop::CTelNo;
  }
  return Prop::kCount;
}

// The exact width of a field in every block that holds it: the input width of its property's
// row in the member table (base/members.def), which the methods check before the block is
// built.
constexpr size_t WidthOf(BlockField f) {
  return static_cast<size_t>(Info(PropOf(f)).input.width);
}

// The property name of a field ("PCode", "Amount14", "ID", ...), for messages.
std::string_view NameOf(BlockField f);

enum class BlockKind : uint8_t { kInquiry, kTransfer, kPayTax, kPayFee, kPayMoney, kApply };
inline constexpr size_t kBlockKindCount = 6;

struct BlockLayout {
  BlockKind kind;
  std::string_view name;               // "inquiry", "transfer", ... for messages
  std::span<const BlockField> fields;  // in block order
  size_t length;                       // bytes; also the command's Lc
  std::string_view lc;                 // Lc as two upper-case hex digits
};

namespace layout_detail {
using F = BlockField;
inline constexpr BlockField kInquiry[] = {F::kPCode, F::kFdChkCode, F::kAccountNo};
inline constexpr BlockField kTransfer[] = {F::kPCode, F::kAmount14, F::kFdId, F::kFdChkCode,
                                           F::kServerDateTime, F::kInAccountNo, F::kAccountNo};
inline constexpr BlockField kPayTax[] = {F::kPCode, F::kAmount14, F::kFdId, F::kFdChkCode,
                                         F::kServerDateTime, F::kFeeType, F::kAccountNo,
                                         F::kInAccountNo};
inline constexpr BlockField kPayFee[] = {F::kPCode, F::kAmount14, F::kFdId, F::kFdChkCode,
                                         F::kServerDateTime, F::kAccountNo};
inline constexpr BlockField kPayMoney[] = {F::kPCode, F::kAmount14, F::kFdId, F::kFdChkCode,
                                           F::kServerDateTime, F::kMerchantId, F::kAccountNo};
inline constexpr BlockField kApply[] = {F::kPCode, F::kId, F::kFdChkCode, F::kServerDateTime,
                                        F::kCTelNo};
}  // namespace layout_detail

// Indexed by BlockKind.
inline constexpr std::array<BlockLayout, kBlockKindCount> kLayouts = {{
    {BlockKind::kInquiry, "inquiry", layout_detail::kInquiry, 28, "1C"},
    {BlockKind::kTransfer, "transfer", layout_detail::kTransfer, 80, "50"},
    {BlockKind::kPayTax, "tax payment", layout_detail::kPayTax, 85, "55"},
    {BlockKind::kPayFee, "fee payment", layout_detail::kPayFee, 64, "40"},
    {BlockKind::kPayMoney, "merchant payment", layout_detail::kPayMoney, 94, "5E"},
    {BlockKind::kApply, "apply", layout_detail::kApply, 52, "34"},
}};

constexpr const BlockLayout& LayoutOf(BlockKind kind) { return kLayouts[static_cast<size_t>(kind)]; }

namespace layout_detail {
constexpr bool Consistent(const BlockLayout& l, size_t index) {
  size_t sum = 0;
  for (BlockField f : l.fields) sum += WidthOf(f);
  constexpr char kDigits[] = "0123456789ABCDEF";
  return static_cast<size_t>(l.kind) == index && sum == l.length && l.lc.size() == 2 &&
         l.lc[0] == kDigits[l.length / 16] && l.lc[1] == kDigits[l.length % 16];
}
constexpr bool AllConsistent() {
  for (size_t i = 0; i < kLayouts.size(); ++i)
    if (!Consistent(kLayouts[i], i)) return false;
  return true;
}
static_assert(AllConsistent(), "a block's widths must add up to its length and Lc");
}  // namespace layout_detail

// The values of the fields, 8-bit text. A field a layout does not hold is not read.
struct BlockInputs {
  std::string pCode, amount14, fdId, fdChkCode, serverDateTime, inAccountNo, accountNo, feeType,
      merchantId, id, cTelNo;

  const std::string& Of(BlockField f) const;
  std::string& Of(BlockField f);
};

// The first field of the layout, in block order, whose value is not exactly its width;
// nullopt when every field fits.
std::optional<BlockField> FirstMisfit(BlockKind kind, const BlockInputs& in);

// The block (the layout's fields concatenated); nullopt when a field does not have its
// exact width (FirstMisfit names it). The plug-in checks every width with its own status
// first, so there this only guards against a wrong call.
std::optional<std::vector<uint8_t>> BuildBlock(BlockKind kind, const BlockInputs& in);

// The block as 2L upper-case hex digits, the form the command builder takes; nullopt as above.
std::optional<std::string> BuildBlockHex(BlockKind kind, const BlockInputs& in);

// The TAC command as the seven hex-text fields the card exchange and the instruction
// dialogs take: "00" "E2" "10" "80" Lc block "00".
struct TacCommandText {
  std::string cla = "00", ins = "E2", p1 = "10", p2 = "80";
  std::string lc;    // two hex digits
  std::string data;  // the block, 2 * Lc hex digits
  std::string le = "00";
};
TacCommandText TacCommandOf(BlockKind kind, std::string blockHex);

// The TAC command as bytes: 00 E2 10 80 Lc block 00, L + 6 bytes. `block` is at most 255
// bytes (every layout's block is).
std::vector<uint8_t> TacCommandApdu(std::span<const uint8_t> block);

// The card's answer to the TAC command.
inline constexpr size_t kTacAnswerLength = 19;  // data bytes before SW1 SW2
inline constexpr size_t kIccSeqNoOffset = 1;
inline constexpr size_t kIccSeqNoLength = 8;
inline constexpr size_t kTacOffset = 11;
inline constexpr size_t kTacLength = 8;

struct TacAnswer {
  std::string iccSeqNo;           // bytes 1..8 as text (a zero byte among them ends it)
  std::array<uint8_t, 8> tac{};   // bytes 11..18
  std::string TacHex() const;     // 16 upper-case hex digits, the TAC property
};
// Reads the answer's data bytes (without SW1 SW2); nullopt when fewer than 19.
std::optional<TacAnswer> ParseTacAnswer(std::span<const uint8_t> data);

// Log-in's SessionTAC plain text: CardNo (32 hex digits), AccountNo0..AccountNo7 (16
// characters each; a slot without a usable account holds 16 '0'), the 16-character session
// key, joined without separators: 176 characters, 352 hex digits once encrypted.
inline constexpr size_t kLoginSlots = 8;
inline constexpr size_t kLoginTextLength = 32 + kLoginSlots * 16 + 16;
std::string LoginSessionText(std::string_view cardNo,
                             std::span<const std::string, kLoginSlots> accounts,
                             std::string_view plainSessionKey);

}  // namespace quilta::txn
