// The native-messaging host's input: the frame reader fed a byte stream in fuzzer-chosen
// pieces, the JSON reader on every payload, and the bridge answering requests (raw payloads
// and requests built from member names, any argument values and origins) with a core on the
// virtual reader and the simulated card.
//
// Checked beyond the sanitizers: a stream that was too long stays so; a JSON value that reads
// is written back to a text that reads to the same text again; every answer is a JSON object
// with an "id" and either a "result" or an "error".
#include <cstdlib>

#include "fuzz/check.h"

#include "fuzz/fuzz_world.h"
#include "nmhost/bridge.h"
#include "nmhost/frame.h"
#include "nmhost/json.h"
#include "sim/fisc_card.h"

using namespace quilta;
using namespace quilta::nmhost;

namespace {

void CheckAnswer(const std::string& answer) {
  const std::optional<Json> a = ParseJson(answer);
  CHECK(a && a->kind == Json::Kind::Object && a->Find("id") != nullptr);
  CHECK((a->Find("result") != nullptr) != (a->Find("error") != nullptr));
}

void CheckJson(const std::string& payload) {
  const std::optional<Json> v = ParseJson(payload);
  if (!v) return;
  const std::string written = WriteJson(*v);
  const std::optional<Json> again = ParseJson(written);
  CHECK(again.has_value() && WriteJson(*again) == written);
}

Json AnyJson(FuzzedDataProvider& in, int depth) {
  switch (in.ConsumeIntegralInRange(0, depth > 2 ? 3 : 5)) {
    case 0: return Json::Null();
    case 1: return Json::Bool(in.ConsumeBool());
    case 2: return Json::Number(in.ConsumeBool() ? in.ConsumeIntegralInRange(-5, 5) : in.ConsumeFloatingPoint<double>());
    case 3: return Json::String(in.ConsumeBool() ? ToUtf8(fuzz::InterestingText(in)) : in.ConsumeRandomLengthString(60));
    case 4: {
      Json a;
      a.kind = Json::Kind::Array;
      const int n = in.ConsumeIntegralInRange(0, 4);
      for (int i = 0; i < n; ++i) a.items.push_back(AnyJson(in, depth + 1));
      return a;
    }
    default:
      return Json::Object({{in.ConsumeRandomLengthString(8), AnyJson(in, depth + 1)}});
  }
}

std::string BuiltRequest(FuzzedDataProvider& in) {
  static const char* const kOps[] = {"get", "set", "call", "Call", ""};
  std::string name;
  if (in.ConsumeBool()) {
    const size_t i = in.ConsumeIntegralInRange<size_t>(0, kMethodCount + kPropCount - 1);
    name = std::string(i < kMethodCount ? kMethods[i].name : kProps[i - kMethodCount].name);
  } else {
    name = in.ConsumeRandomLengthString(20);
  }
  std::vector<std::pair<std::string, Json>> members;
  if (in.ConsumeBool()) members.emplace_back("id", in.ConsumeBool() ? Json::Number(in.ConsumeIntegral<int32_t>()) : AnyJson(in, 2));
  members.emplace_back("op", Json::String(kOps[in.ConsumeIntegralInRange(0, 4)]));
  members.emplace_back("name", Json::String(name));
  if (in.ConsumeBool()) members.emplace_back("args", AnyJson(in, 0));
  if (in.ConsumeBool()) {
    const auto url = fuzz::AnyPageUrl(in);
    members.emplace_back("origin", url ? Json::String(*url) : Json::Null());
  }
  return WriteJson(Json::Object(std::move(members)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  fuzz::World world(std::make_shared<sim::FiscCard>(sim::DefaultProfile(), fuzz::kCardSeed), nullptr);
  Bridge bridge(world.core);
  FrameReader reader;
  bool tooLong = false;
  for (int round = 0; round < 32 && in.remaining_bytes() > 0; ++round) {
    switch (in.ConsumeIntegralInRange(0, 2)) {
      case 0: {  // raw bytes on the stream
        const std::string piece = in.ConsumeRandomLengthString(200);
        reader.Feed(piece.data(), piece.size());
        break;
      }
      case 1: {  // a whole frame around any payload
        const std::string frame = EncodeFrame(in.ConsumeRandomLengthString(200));
        reader.Feed(frame.data(), frame.size());
        break;
      }
      default: {  // a request as the extension would send it
        const std::string frame = EncodeFrame(BuiltRequest(in));
        reader.Feed(frame.data(), frame.size());
        break;
      }
    }
    std::string payload;
    for (;;) {
      const FrameReader::Result r = reader.Next(&payload);
      if (r == FrameReader::Result::NeedMore) break;
      if (r == FrameReader::Result::TooLong) {
        tooLong = true;
        break;
      }
      CHECK(!tooLong);
      CheckJson(payload);
      CheckAnswer(bridge.Answer(payload));
    }
    if (tooLong) CHECK(reader.Next(&payload) == FrameReader::Result::TooLong);
  }
  return 0;
}
