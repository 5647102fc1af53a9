// The page's script surface: random sequences of property writes (any value kind, any text,
// any length), reads and method calls with random argument counts and kinds, from the bank's
// page's object and from objects on random page URLs, through the NPAPI surface of the script
// layer, against a core on the virtual reader
// with the simulated card (behind a PIN-pad reader in the second slot). The customer plays
// fuzzer-chosen steps on virtual time, some of which are page calls made while a dialog is
// open.
//
// Checked beyond the sanitizers: the layer never throws; a method answers an Int status (or
// GetComVersion's text); while a dialog is open a call answers 6009, a write is refused, and
// neither changes ErrorInfo; an object off the bank's pages reads nothing, has its writes
// refused and gets 5004 from every method but GetComVersion, without changing ErrorInfo;
// ErrorInfo stays within its 200-byte buffer.
#include <cstdlib>

#include "fuzz/check.h"

#include "fuzz/fuzz_world.h"
#include "sim/fisc_card.h"
#include "sim/pinpad_reader.h"

using namespace quilta;

namespace {

struct Run {
  explicit Run(FuzzedDataProvider& in)
      : in_(in),
        card_(std::make_shared<sim::FiscCard>(sim::DefaultProfile(), fuzz::kCardSeed)),
        padCard_(std::make_shared<sim::FiscCard>(sim::DefaultProfile(), fuzz::kCardSeed)),
        pad_(std::make_shared<sim::PinPadReader>(padCard_)),
        world_(card_, pad_),
        bankPage_(world_.core, Surface::Npapi,
                  std::string("https://") + quilta::config::kBankDomain + "/atm") {
    const sim::PinPadAction actions[] = {sim::PinPadAction::kPassThrough, sim::PinPadAction::kEnterPin,
                                         sim::PinPadAction::kTimeout, sim::PinPadAction::kCancel};
    pad_->SetSettings({actions[in.ConsumeIntegralInRange(0, 3)], in.ConsumeBool() ? "1234" : "9999", "5678"});
    // Most runs start where a page stands before a transaction: card open, inputs written.
    if (in.ConsumeIntegralInRange(0, 3) != 0) {
      fuzz::OpenAndPut(world_.core, in.ConsumeBool() ? fuzz::kReader : fuzz::kPadReader,
                       in.ConsumeIntegralInRange(0, 4),
                       static_cast<sim::TxnKind>(in.ConsumeIntegralInRange(0, 6)));
    }
  }

  // One page operation. `inDialog`: made while one of our dialogs waits on the person.
  void Step(bool inDialog) {
    const bool busy = world_.core.Busy();
    const std::string before = world_.core.errorText();
    ScriptLayer layer = in_.ConsumeIntegralInRange(0, 3) != 0
                                   ? bankPage_
                                   : ScriptLayer(world_.core, Surface::Npapi, fuzz::AnyPageUrl(in_));
    const bool foreign = !layer.OnBankPage();
    switch (in_.ConsumeIntegralInRange(0, 3)) {
      case 0: {  // write
        const Prop p = static_cast<Prop>(in_.ConsumeIntegralInRange<size_t>(0, kPropCount - 1));
        const bool written = layer.Set(p, AnyValueOrFitting(p));
        if (busy || foreign) CHECK(!written && world_.core.errorText() == before);
        break;
      }
      case 1: {  // read
        const Prop p = static_cast<Prop>(in_.ConsumeIntegralInRange<size_t>(0, kPropCount - 1));
        const auto v = layer.Get(p);
        if (foreign) CHECK(v && v->kind == ScriptValue::Kind::Void);
        else CHECK(v.has_value() == Info(p).readable());
        break;
      }
      default: {  // call
        const Method m = static_cast<Method>(in_.ConsumeIntegralInRange<size_t>(0, kMethodCount - 1));
        std::vector<ScriptValue> args;
        const int n = in_.ConsumeIntegralInRange(0, 4);
        for (int i = 0; i < n; ++i) args.push_back(ArgumentFor(m));
        if (!inDialog) {
          fuzz::AddCustomerSteps(in_, world_.person, 12, [this] { Step(true); });
        }
        const ScriptValue r = layer.Invoke(m, args);
        if (!Visible(m, Surface::Npapi)) break;
        if (foreign && m != Method::GetComVersion) {
          CHECK(r.kind == ScriptValue::Kind::Int && r.i == status::kUrlNotSupported &&
                world_.core.errorText() == before);
        } else if (busy) {  // every call, GetComVersion too
          CHECK(r.kind == ScriptValue::Kind::Int && r.i == status::kBusy && world_.core.errorText() == before);
        } else {
          CHECK(r.kind == (m == Method::GetComVersion ? ScriptValue::Kind::Text : ScriptValue::Kind::Int));
        }
        break;
      }
    }
    CHECK(world_.core.errorText().size() < kErrorTextSize);
  }

  ScriptValue AnyValueOrFitting(Prop p) {
    if (in_.ConsumeBool()) return fuzz::AnyValue(in_);
    if (p == Prop::ReaderName)
      return ScriptValue::OfText(AsciiText(in_.ConsumeBool() ? fuzz::kReader : fuzz::kPadReader));
    if (Info(p).type == ValueType::Int) return ScriptValue::OfInt(in_.ConsumeIntegralInRange(0, 4));
    return ScriptValue::OfText(fuzz::InterestingText(in_));
  }

  ScriptValue ArgumentFor(Method m) {
    if (m == Method::SetReaderType && in_.ConsumeBool())
      return ScriptValue::OfInt(in_.ConsumeIntegralInRange(0, 4));
    if (in_.ConsumeBool()) return ScriptValue::OfText(AsciiText("1234"));
    return fuzz::AnyValue(in_);
  }

  FuzzedDataProvider& in_;
  std::shared_ptr<sim::FiscCard> card_;
  std::shared_ptr<sim::FiscCard> padCard_;
  std::shared_ptr<sim::PinPadReader> pad_;
  fuzz::World world_;
  ScriptLayer bankPage_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Run run(in);
  for (int i = 0; i < 64 && in.remaining_bytes() > 0; ++i) run.Step(false);
  return 0;
}
