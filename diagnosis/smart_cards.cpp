// The smart-card road: the service, the readers, and each card's financial application.
//
// The card is opened shared and left as it was (no reset, no power-down); the only command
// it gets is the selection of the financial application, which changes nothing on it. A
// reader's feature list is asked with the reader's own control command (PC/SC part 10
// GET_FEATURE_REQUEST); readers that do not answer it are known by their names.
#include "diagnosis/smart_cards.h"

#include <cstdio>
#include <string>
#include <vector>

#include "card/channel.h"
#include "card/commands.h"

namespace quilta::diagnosis {
namespace {

namespace sc = platform::scard;

// Part-10 feature tags that mean the reader takes the PIN on its own pad.
constexpr uint8_t kFeatureVerifyPinStart = 0x01;
constexpr uint8_t kFeatureVerifyPinDirect = 0x06;

// The PIN-pad readers the plug-in knows by name (card/pin.cpp, txn/do_apply_tac.cpp): they
// take the PIN on their pad through the card's own commands and say nothing of it in their
// feature list.
constexpr char kPinPadReaderPrefix[] = "Todos eCode Connectable";

constexpr uint32_t kReaderListSize = 64 * 1024;
constexpr uint32_t kStateUnavailable = 0x0008;
constexpr uint32_t kStateMute = 0x0200;
// A card the reader cannot use or that does not answer its reset: SCARD_W_UNSUPPORTED_CARD,
// SCARD_W_UNRESPONSIVE_CARD, SCARD_W_UNPOWERED_CARD.
constexpr platform::ScardResult kFirstMuteCardResult = 0x80100065u;
constexpr platform::ScardResult kLastMuteCardResult = 0x80100067u;
constexpr uint16_t kSwOk = 0x9000;

std::string Hex32(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

std::string Hex16(uint16_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02X %02X", v >> 8, v & 0xFF);
  return buf;
}

std::vector<std::string> SplitMultiString(const std::vector<char>& buf, uint32_t len) {
  std::vector<std::string> names;
  std::string current;
  for (uint32_t i = 0; i < len && i < buf.size(); ++i) {
    if (buf[i] != '\0') {
      current += buf[i];
    } else if (!current.empty()) {
      names.push_back(std::move(current));
      current.clear();
    }
  }
  if (!current.empty()) names.push_back(std::move(current));
  return names;
}

// Whether the part-10 feature list (tag, length, value; values of four bytes) names one of
// the PIN-verification features. Anything malformed counts as no PIN pad.
bool FeaturesHavePinPad(const uint8_t* tlv, uint32_t length) {
  for (uint32_t i = 0; i + 2 <= length;) {
    const uint8_t tag = tlv[i];
    const uint32_t size = tlv[i + 1];
    if (i + 2 + size > length) return false;
    if (tag == kFeatureVerifyPinStart || tag == kFeatureVerifyPinDirect) return true;
    i += 2 + size;
  }
  return false;
}

enum class PinPad { kNo, kByFeatures, kByName };

// Asks the reader for its features on `handle`; falls back to the names the plug-in knows.
PinPad ReaderPinPad(platform::Pcsc& pcsc, platform::ScardHandle handle, bool haveHandle,
                    const std::string& reader) {
  if (haveHandle) {
    uint8_t features[256];
    uint32_t length = sizeof features;
    const platform::ScardResult rv =
        pcsc.Control(handle, sc::kGetFeatureRequest, nullptr, 0, features, &length);
    if (rv == sc::kSuccess && length <= sizeof features && FeaturesHavePinPad(features, length))
      return PinPad::kByFeatures;
  }
  if (reader.rfind(kPinPadReaderPrefix, 0) == 0) return PinPad::kByName;
  return PinPad::kNo;
}

enum class CardState { kOk, kAbsent, kNotFinancial, kMute, kInUse, kError };

struct ReaderResult {
  std::string reader;
  PinPad pinPad = PinPad::kNo;
  CardState card = CardState::kError;
  platform::ScardResult rv = sc::kSuccess;
  uint16_t sw = 0;
};

CardState CardStateOf(platform::ScardResult rv) {
  if (rv == sc::kNoSmartcard || rv == sc::kRemovedCard) return CardState::kAbsent;
  if (rv == sc::kSharingViolation) return CardState::kInUse;
  if (rv >= kFirstMuteCardResult && rv <= kLastMuteCardResult) return CardState::kMute;
  return CardState::kError;
}

ReaderResult LookAt(platform::Pcsc& pcsc, platform::ScardContext context, const std::string& reader,
                    uint32_t eventState) {
  ReaderResult r;
  r.reader = reader;
  if (eventState & kStateUnavailable) {
    r.card = CardState::kError;
    r.rv = sc::kReaderUnavailable;
    r.pinPad = ReaderPinPad(pcsc, 0, false, reader);
    return r;
  }
  if (!(eventState & sc::kStatePresent)) {
    // The reader alone, for its feature list: a direct connection needs no card.
    platform::ScardHandle handle = 0;
    uint32_t protocol = 0;
    const bool direct =
        pcsc.Connect(context, reader, sc::kShareDirect, 0, &handle, &protocol) == sc::kSuccess;
    r.pinPad = ReaderPinPad(pcsc, handle, direct, reader);
    if (direct) pcsc.Disconnect(handle, sc::kLeaveCard);
    r.card = CardState::kAbsent;
    return r;
  }
  if (eventState & kStateMute) {
    r.pinPad = ReaderPinPad(pcsc, 0, false, reader);
    r.card = CardState::kMute;
    return r;
  }

  card::Channel channel;
  channel.pcsc = &pcsc;
  channel.context = context;
  channel.reader = reader;
  uint32_t protocol = sc::kProtocolT1;
  r.rv = pcsc.Connect(context, reader, sc::kShareShared, sc::kProtocolT0 | sc::kProtocolT1,
                      &channel.handle, &protocol);
  if (r.rv != sc::kSuccess) {
    r.pinPad = ReaderPinPad(pcsc, 0, false, reader);
    r.card = CardStateOf(r.rv);
    return r;
  }
  channel.activeProtocol = protocol;
  r.pinPad = ReaderPinPad(pcsc, channel.handle, true, reader);
  const card::Reply reply = channel.Exchange(card::cmd::SelectApplication());
  pcsc.Disconnect(channel.handle, sc::kLeaveCard);
  if (!reply.transmitted()) {
    r.rv = reply.rv;
    r.card = CardStateOf(reply.rv);
    return r;
  }
  r.sw = reply.sw;
  r.card = reply.sw == kSwOk ? CardState::kOk : CardState::kNotFinancial;
  return r;
}

void AddReaderType(Report& report, const ReaderResult& r) {
  constexpr char kAsked[] = "when the bank's page asks which kind of reader you use, choose ";
  constexpr char kPageCannotTell[] = "; the page cannot tell this by itself.";
  std::string text = "The reader " + Quoted(r.reader);
  switch (r.pinPad) {
    case PinPad::kNo:
      text +=
          std::string(" has no PIN pad: ") + kAsked + "the plain reader (PIN typed on the screen)";
      break;
    case PinPad::kByFeatures:
      text += std::string(" has a PIN pad of its own (the reader says so): ") + kAsked +
              "the reader with a PIN pad";
      break;
    case PinPad::kByName:
      text += std::string(" has a PIN pad of its own (known by its name): ") + kAsked +
              "the reader with a PIN pad";
      break;
  }
  report.Add("reader-type", Level::kOk, text + kPageCannotTell)
      .With("reader", r.reader)
      .With("pinpad", r.pinPad == PinPad::kNo ? "no" : "yes")
      .With("known_by", r.pinPad == PinPad::kByFeatures ? "features"
                        : r.pinPad == PinPad::kByName   ? "name"
                                                        : "");
}

void AddCard(Report& report, const ReaderResult& r, Level problem) {
  const std::string name = Quoted(r.reader);
  constexpr char kInsert[] =
      ": insert the bank's chip card, chip first and facing up, and run this check again.";
  Finding* f = nullptr;
  switch (r.card) {
    case CardState::kOk:
      f = &report.Add("card", Level::kOk,
                      "The card in the reader " + name + " answers as a financial card.");
      break;
    case CardState::kAbsent:
      f = &report.Add("card-absent", problem, "The reader " + name + " holds no card" + kInsert);
      break;
    case CardState::kNotFinancial:
      f = &report.Add("card-not-financial", problem,
                      "The card in the reader " + name +
                          " is not a financial card or is not inserted the right way round" +
                          kInsert);
      f->With("sw", Hex16(r.sw));
      break;
    case CardState::kMute:
      f = &report.Add("card-mute", problem,
                      "The card in the reader " + name +
                          " does not answer: take it out, make sure the chip is clean and goes "
                          "in first, facing up, put it back and run this check again.");
      break;
    case CardState::kInUse:
      // Most often a bank page holding its card, which works: never a failure.
      f = &report.Add("card-in-use", Level::kWarn,
                      "The card in the reader " + name +
                          " is held by another program (perhaps a bank page still open): close "
                          "the bank's pages in every browser and run this check again.");
      break;
    case CardState::kError:
      f = &report.Add("card-error", problem,
                      "The reader " + name + " could not be used (smart-card error " + Hex32(r.rv) +
                          "): unplug the reader, plug it in again and run this check again.");
      break;
  }
  f->With("reader", r.reader);
  if (r.rv != sc::kSuccess) f->With("pcsc_result", Hex32(r.rv));
}

}  // namespace

void CheckSmartCards(platform::Pcsc& pcsc, const SmartCardService& service, Report& report) {
  platform::ScardContext context = 0;
  const platform::ScardResult rv = pcsc.EstablishContext(sc::kScopeUser, &context);
  if (rv == sc::kNoService) {
    report.Add("pcsc-service-down", Level::kFail,
               service.name + " is not running: " + service.start + ".");
    return;
  }
  if (rv != sc::kSuccess) {
    report
        .Add("pcsc-service-error", Level::kFail,
             service.name + " refused this program (smart-card error " + Hex32(rv) +
                 "): " + service.restartAsUser + ".")
        .With("pcsc_result", Hex32(rv));
    return;
  }
  report.Add("pcsc-service", Level::kOk, service.name + " answers.");

  std::vector<char> buf(kReaderListSize, '\0');
  uint32_t len = kReaderListSize;
  const platform::ScardResult listed = pcsc.ListReaders(context, buf.data(), &len);
  const std::vector<std::string> readers =
      listed == sc::kSuccess ? SplitMultiString(buf, len) : std::vector<std::string>{};
  if (listed != sc::kSuccess && listed != sc::kNoReadersAvailable) {
    report
        .Add("readers-error", Level::kFail,
             service.name + " could not list the card readers (smart-card error " +
                 Hex32(listed) + "): " + service.restart + ".")
        .With("pcsc_result", Hex32(listed));
    pcsc.ReleaseContext(context);
    return;
  }
  if (readers.empty()) {
    report.Add("readers-none", Level::kFail,
               "No card reader is connected: plug the card reader in" + service.readerHint +
                   " and run this check again.");
    pcsc.ReleaseContext(context);
    return;
  }
  std::string names;
  for (const std::string& r : readers) names += (names.empty() ? "" : ", ") + Quoted(r);
  report
      .Add("readers", Level::kOk,
           readers.size() == 1
               ? "One card reader is connected: " + names + "."
               : std::to_string(readers.size()) + " card readers are connected: " + names + ".")
      .WithList("readers", readers);

  std::vector<platform::ReaderState> states(readers.size());
  for (size_t i = 0; i < readers.size(); ++i) states[i].reader = readers[i];
  if (pcsc.GetStatusChange(context, 0, states.data(), states.size()) != sc::kSuccess) {
    // Without the states each reader is tried as if it held a card: the connection tells.
    for (platform::ReaderState& s : states) s.eventState = sc::kStatePresent;
  }

  std::vector<ReaderResult> results;
  bool anyCard = false;
  for (const platform::ReaderState& s : states) {
    results.push_back(LookAt(pcsc, context, s.reader, s.eventState));
    anyCard = anyCard || results.back().card == CardState::kOk;
  }
  pcsc.ReleaseContext(context);

  // One good card is enough for the road; the other readers' troubles are then warnings.
  const Level problem = anyCard ? Level::kWarn : Level::kFail;
  for (const ReaderResult& r : results) {
    AddReaderType(report, r);
    AddCard(report, r, problem);
  }
}

}  // namespace quilta::diagnosis
