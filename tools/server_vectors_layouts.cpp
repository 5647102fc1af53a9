// --layouts: the signed blocks field by field, for the tables of docs/server.md.
#include <sstream>
#include <string>

#include "tools/server_vectors.h"

namespace quilta::server_vectors {
namespace {

// Where a field's bytes come from (the page's property and the plug-in's rule).
const char* SourceOf(BlockField f) {
  switch (f) {
    case BlockField::kPCode: return "`PCode` as written";
    case BlockField::kAmount14:
      return "`Amount`: right-aligned in 12 digits, '0' in front, then \"00\"";
    case BlockField::kFdId: return "`FdId` as written";
    case BlockField::kFdChkCode: return "`FdChkCode` as written";
    case BlockField::kServerDateTime: return "`ServerDateTime` as written (YYYYMMDDhhmmss)";
    case BlockField::kInAccountNo: return "`InAccountNo` as written";
    case BlockField::kAccountNo: return "`AccountNo` as written (the paying account)";
    case BlockField::kFeeType: return "`FeeType` as written";
    case BlockField::kMerchantId: return "`MerchantId` as written";
    case BlockField::kId: return "`ID`: its first 16 bytes, blanks after a shorter one";
    case BlockField::kCTelNo:
      return "`CTelNo`: its first 10 bytes, blanks after a shorter one; ten blanks when never "
             "written";
  }
  return "";
}

const char* MethodsOf(BlockKind kind) {
  switch (kind) {
    case BlockKind::kInquiry: return "`DoInquiryTAC`, `DoAccessibleInquiryTAC`";
    case BlockKind::kTransfer:
      return "`DoTransferTAC`, `DoNBTransferTAC`, `DoAccessibleTransferTAC`";
    case BlockKind::kPayTax: return "`DoPayTaxTAC`";
    case BlockKind::kPayFee: return "`DoPayFeeTAC`";
    case BlockKind::kPayMoney: return "`DoPayMoneyTAC`";
    case BlockKind::kApply: return "`DoApplyTAC`";
  }
  return "";
}

}  // namespace

std::string Layouts() {
  std::ostringstream out;
  for (const txn::BlockLayout& l : txn::kLayouts) {
    out << "**" << l.name << "** (" << MethodsOf(l.kind) << "): " << l.length << " bytes, Lc "
        << l.lc << ", TAC command " << l.length + 6 << " bytes\n\n";
    out << "| Offset | Width | Field | From |\n|---:|---:|---|---|\n";
    size_t offset = 0;
    for (BlockField f : l.fields) {
      out << "| " << offset << " | " << txn::WidthOf(f) << " | " << txn::NameOf(f) << " | "
          << SourceOf(f) << " |\n";
      offset += txn::WidthOf(f);
    }
    out << "\n";
  }
  return out.str();
}

}  // namespace quilta::server_vectors
