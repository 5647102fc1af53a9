// The narrow PC/SC interface the system uses: the seven operations, with Windows-shaped
// types, and the reader's own control commands (only the help-desk checks send those).
// Implementations: the system's (one adapter over the PC/SC library's functions,
// platform/pcsc_table.h, filled from pcsc-lite on Linux and winscard on Windows) and the
// in-process virtual reader (tests and the embedded demo). The constants below have the same
// values in pcsc-lite and winscard; what differs is the adapter's platform part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quilta::platform {

using ScardContext = uint64_t;
using ScardHandle = uint64_t;
// A PC/SC result as its 32-bit value (0 = success, 0x801000xx errors).
using ScardResult = uint32_t;

namespace scard {
inline constexpr ScardResult kSuccess = 0;
inline constexpr ScardResult kInternalError = 0x80100001u;
inline constexpr ScardResult kInvalidHandle = 0x80100003u;
inline constexpr ScardResult kInvalidParameter = 0x80100004u;
inline constexpr ScardResult kInsufficientBuffer = 0x80100008u;
inline constexpr ScardResult kUnknownReader = 0x80100009u;
inline constexpr ScardResult kTimeout = 0x8010000Au;
inline constexpr ScardResult kSharingViolation = 0x8010000Bu;
inline constexpr ScardResult kNoSmartcard = 0x8010000Cu;
inline constexpr ScardResult kProtoMismatch = 0x8010000Fu;
inline constexpr ScardResult kInvalidValue = 0x80100011u;
inline constexpr ScardResult kCommError = 0x80100013u;
inline constexpr ScardResult kNotTransacted = 0x80100016u;
inline constexpr ScardResult kReaderUnavailable = 0x80100017u;
inline constexpr ScardResult kNoService = 0x8010001Du;
inline constexpr ScardResult kServiceStopped = 0x8010001Eu;
inline constexpr ScardResult kUnsupportedFeature = 0x80100022u;
inline constexpr ScardResult kNoReadersAvailable = 0x8010002Eu;
inline constexpr ScardResult kCommDataLost = 0x8010002Fu;
inline constexpr ScardResult kUnresponsiveCard = 0x80100065u;
inline constexpr ScardResult kUnpoweredCard = 0x80100066u;
inline constexpr ScardResult kResetCard = 0x80100068u;
inline constexpr ScardResult kRemovedCard = 0x80100069u;

inline constexpr uint32_t kScopeUser = 0;
inline constexpr uint32_t kShareExclusive = 1;
inline constexpr uint32_t kShareShared = 2;
inline constexpr uint32_t kShareDirect = 3;  // the reader itself, with or without a card
inline constexpr uint32_t kProtocolT0 = 1;
inline constexpr uint32_t kProtocolT1 = 2;
inline constexpr uint32_t kLeaveCard = 0;
inline constexpr uint32_t kResetCardDisposition = 1;
inline constexpr uint32_t kUnpowerCard = 2;
inline constexpr uint32_t kEjectCard = 3;
inline constexpr uint32_t kStateUnaware = 0;
inline constexpr uint32_t kStateEmpty = 0x10;
inline constexpr uint32_t kStatePresent = 0x20;
inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;
// The reader's control function that lists its features (PC/SC part 10 GET_FEATURE_REQUEST,
// SCARD_CTL_CODE(3400)), for Control.
inline constexpr uint32_t kGetFeatureRequest = 3400;
}  // namespace scard

struct ReaderState {
  std::string reader;
  uint32_t currentState = scard::kStateUnaware;
  uint32_t eventState = 0;
};

class Pcsc {
 public:
  virtual ~Pcsc() = default;
  virtual ScardResult EstablishContext(uint32_t scope, ScardContext* context) = 0;
  virtual ScardResult ReleaseContext(ScardContext context) = 0;
  // Multi-string of reader names into buf; *len in: buffer size, out: length used.
  virtual ScardResult ListReaders(ScardContext context, char* buf, uint32_t* len) = 0;
  virtual ScardResult GetStatusChange(ScardContext context, uint32_t timeoutMs, ReaderState* states,
                                      size_t count) = 0;
  virtual ScardResult Connect(ScardContext context, const std::string& reader, uint32_t shareMode,
                              uint32_t preferredProtocols, ScardHandle* card,
                              uint32_t* activeProtocol) = 0;
  virtual ScardResult Disconnect(ScardHandle card, uint32_t disposition) = 0;
  // Send PCI of protocol `sendProtocol` (PCI length 8), no receive PCI.
  virtual ScardResult Transmit(ScardHandle card, uint32_t sendProtocol, const uint8_t* command,
                               uint32_t commandLength, uint8_t* response,
                               uint32_t* responseLength) = 0;
  // A control command to the reader (SCardControl) for the reader's function `function`
  // (the number SCARD_CTL_CODE takes; the system's adapter turns it into its platform's
  // control code). *outLength in: the size of `out`, out: the length used. An
  // implementation that cannot send one answers kUnsupportedFeature.
  virtual ScardResult Control(ScardHandle card, uint32_t function, const uint8_t* in,
                              uint32_t inLength, uint8_t* out, uint32_t* outLength) {
    (void)card, (void)function, (void)in, (void)inLength, (void)out, (void)outLength;
    return scard::kUnsupportedFeature;
  }
};

// The host system's PC/SC (pcsc-lite or winscard). Never null; when the library cannot be
// reached every call answers SCARD_E_NO_SERVICE.
Pcsc& SystemPcsc();

}  // namespace quilta::platform
