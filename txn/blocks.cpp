#include "txn/blocks.h"

#include "card/commands.h"

#include "base/hex.h"

namespace quilta::txn {

std::string_view NameOf(BlockField f) {
  return f == BlockField::kAmount14 ? "Amount14" : Info(PropOf(f)).name;
}

const std::string& BlockInputs::Of(BlockField f) const {
  switch (f) {
    case BlockField::kPCode: return pCode;
    case BlockField::kAmount14: return amount14;
    case BlockField::kFdId: return fdId;
    case BlockField::kFdChkCode: return fdChkCode;
    case BlockField::kServerDateTime: return serverDateTime;
    case BlockField::kInAccountNo: return inAccountNo;
    case BlockField::kAccountNo: return accountNo;
    case BlockField::kFeeType: return feeType;
    case BlockField::kMerchantId: return merchantId;
    case BlockField::kId: return id;
    case BlockField::kCTelNo: return cTelNo;
  }
  return pCode;
}

std::string& BlockInputs::Of(BlockField f) {
  return const_cast<std::string&>(static_cast<const BlockInputs&>(*this).Of(f));
}

std::optional<BlockField> FirstMisfit(BlockKind kind, const BlockInputs& in) {
  for (BlockField f : LayoutOf(kind).fields)
    if (in.Of(f).size() != WidthOf(f)) return f;
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> BuildBlock(BlockKind kind, const BlockInputs& in) {
  if (FirstMisfit(kind, in)) return std::nullopt;
  const BlockLayout& layout = LayoutOf(kind);
  std::vector<uint8_t> block;
  block.reserve(layout.length);
  for (BlockField f : layout.fields) {
    const std::string& value = in.Of(f);
    block.insert(block.end(), value.begin(), value.end());
  }
  return block;
}

std::optional<std::string> BuildBlockHex(BlockKind kind, const BlockInputs& in) {
  auto block = BuildBlock(kind, in);
  if (!block) return std::nullopt;
  return BytesToHex(block->data(), block->size());
}

TacCommandText TacCommandOf(BlockKind kind, std::string blockHex) {
  TacCommandText command;
  command.lc = std::string(LayoutOf(kind).lc);
  command.data = std::move(blockHex);
  return command;
}

std::vector<uint8_t> TacCommandApdu(std::span<const uint8_t> block) {
  uint8_t bytes[card::CommandApdu::kMaxSize];
  const size_t n = card::cmd::Tac(block).Serialize(bytes);
  return std::vector<uint8_t>(bytes, bytes + n);
}

std::string TacAnswer::TacHex() const { return BytesToHex(tac.data(), tac.size()); }

std::optional<TacAnswer> ParseTacAnswer(std::span<const uint8_t> data) {
  if (data.size() < kTacAnswerLength) return std::nullopt;
  TacAnswer answer;
  answer.iccSeqNo = TakeBytes(data.data(), kIccSeqNoOffset, static_cast<int>(kIccSeqNoLength));
  for (size_t i = 0; i < kTacLength; ++i) answer.tac[i] = data[kTacOffset + i];
  return answer;
}

std::string LoginSessionText(std::string_view cardNo,
                             std::span<const std::string, kLoginSlots> accounts,
                             std::string_view plainSessionKey) {
  std::string text(cardNo);
  for (const std::string& account : accounts) text += account;
  text += plainSessionKey;
  return text;
}

}  // namespace quilta::txn
