#include "sim/page_io.h"

namespace quilta::sim {

bool PutPageInputs(CAtmCore& core, const std::vector<PageInput>& inputs, std::string* unknown) {
  for (const PageInput& in : inputs) {
    Prop p{};
    if (!FindProp(in.property, &p)) {
      if (unknown) *unknown = in.property;
      return false;
    }
    if (Info(p).type == ValueType::Int) core.PutInt(p, std::stoi(in.value));
    else core.PutText(p, FromUtf8(in.value));
  }
  return true;
}

TxnOutputs PageOutputs(const CAtmCore& core) {
  TxnOutputs out;
  out.tac = ToNarrow(core.props().TextOf(Prop::TAC));
  out.iccSeqNo = ToNarrow(core.props().TextOf(Prop::IccSeqNo));
  out.sessionTac = ToNarrow(core.props().TextOf(Prop::SessionTAC));
  out.encOutAccountNo = ToNarrow(core.props().TextOf(Prop::EncOutAccountNo));
  out.encId = ToNarrow(core.props().TextOf(Prop::EncID));
  return out;
}

}  // namespace quilta::sim
