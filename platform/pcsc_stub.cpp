// Placeholder until the pcsc-lite layer lands: every call answers "no service".
#include "platform/pcsc.h"

namespace quilta::platform {
namespace {
class NoPcsc final : public Pcsc {
 public:
  ScardResult EstablishContext(uint32_t, ScardContext*) override { return scard::kNoService; }
  ScardResult ReleaseContext(ScardContext) override { return scard::kNoService; }
  ScardResult ListReaders(ScardContext, char*, uint32_t*) override { return scard::kNoService; }
  ScardResult GetStatusChange(ScardContext, uint32_t, ReaderState*, size_t) override {
    return scard::kNoService;
  }
  ScardResult Connect(ScardContext, const std::string&, uint32_t, uint32_t, ScardHandle*,
                      uint32_t*) override {
    return scard::kNoService;
  }
  ScardResult Disconnect(ScardHandle, uint32_t) override { return scard::kNoService; }
  ScardResult Transmit(ScardHandle, uint32_t, const uint8_t*, uint32_t, uint8_t*, uint32_t*) override {
    return scard::kNoService;
  }
};
}  // namespace

Pcsc& SystemPcsc() {
  static NoPcsc pcsc;
  return pcsc;
}
}  // namespace quilta::platform
