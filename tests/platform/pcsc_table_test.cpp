// TablePcsc over stand-in functions of pcsc-lite's shape (a 64-bit LONG and DWORD): what
// reaches the library and what comes back.
#include "platform/pcsc_table.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/pcsc_lite_api.h"

namespace quilta::platform {
namespace {

namespace sc = scard;

using Api = PcscLiteApi;
using Table = PcscFunctions<Api>;

// What the stand-ins were last handed.
struct Seen {
  Api::Handle handleIn = 0;
  Api::Dword protocol = 0, pciLength = 0, controlCode = 0, outSize = 0;
  std::string reader;
} seen;
int fills = 0;

long Establish(Api::Dword, const void*, const void*, Api::Context* c) {
  *c = 0x1234567890LL;
  return 0;
}
long Release(Api::Context) { return 0; }
long List(Api::Context, const char*, char* buf, Api::Dword* n) {
  std::memcpy(buf, "A\0B\0", 5);
  *n = 5;
  return 0;
}
long Status(Api::Context, Api::Dword, Api::ReaderState* s, Api::Dword count) {
  for (Api::Dword i = 0; i < count; ++i)
    s[i].dwEventState = s[i].dwCurrentState | sc::kStatePresent;
  return static_cast<long>(sc::kTimeout);
}
long Connect(Api::Context, const char* reader, Api::Dword, Api::Dword, Api::Handle* h,
             Api::Dword* protocol) {
  seen.reader = reader;
  seen.handleIn = *h;
  *h = 0;  // as pcsc-lite leaves a failed connect
  *protocol = sc::kProtocolT1;
  return static_cast<long>(sc::kRemovedCard);
}
long Disconnect(Api::Handle, Api::Dword) { return 0; }
long Transmit(Api::Handle, const Api::IoRequest* pci, const unsigned char*, Api::Dword,
              Api::IoRequest* recv, unsigned char* out, Api::Dword* n) {
  seen.protocol = pci->dwProtocol;
  seen.pciLength = pci->cbPciLength;
  if (recv) return static_cast<long>(sc::kInvalidParameter);
  out[0] = 0x90;
  out[1] = 0x00;
  *n = 2;
  return 0;
}
long Control(Api::Handle, Api::Dword code, const void*, Api::Dword, void*, Api::Dword size,
             Api::Dword* n) {
  seen.controlCode = code;
  seen.outSize = size;
  *n = 3;
  return 0;
}

bool FillAll(Table* t) {
  ++fills;
  *t = Table{&Establish, &Release, &List, &Status, &Connect, &Disconnect, &Transmit, &Control};
  return true;
}
bool FillWithoutControl(Table* t) {
  FillAll(t);
  t->control = nullptr;
  return true;
}
bool FillWithoutTransmit(Table* t) {
  FillAll(t);
  t->transmit = nullptr;
  return true;
}
bool NoLibrary(Table*) { return false; }

TEST(TablePcsc, CallsCrossInTheLibrarysWidthsAndResultsComeBackAsTheir32BitValue) {
  TablePcsc<Api> pcsc(&FillAll);
  ScardContext context = 0;
  EXPECT_EQ(pcsc.EstablishContext(sc::kScopeUser, &context), sc::kSuccess);
  EXPECT_EQ(context, 0x1234567890u);

  char names[16];
  uint32_t len = sizeof names;
  EXPECT_EQ(pcsc.ListReaders(context, names, &len), sc::kSuccess);
  EXPECT_EQ(len, 5u);

  ReaderState states[2];
  states[0].reader = "A";
  states[1].reader = "B";
  states[1].currentState = sc::kStateEmpty;
  EXPECT_EQ(pcsc.GetStatusChange(context, 10, states, 2), sc::kTimeout);
  EXPECT_EQ(states[0].eventState, sc::kStatePresent);
  EXPECT_EQ(states[1].eventState, sc::kStateEmpty | sc::kStatePresent);

  ScardHandle card = 77;
  uint32_t protocol = 0;
  EXPECT_EQ(pcsc.Connect(context, "B", sc::kShareShared, sc::kProtocolT1, &card, &protocol),
            sc::kRemovedCard);
  EXPECT_EQ(seen.reader, "B");
  EXPECT_EQ(seen.handleIn, 77);
  EXPECT_EQ(card, 0u);
  EXPECT_EQ(protocol, sc::kProtocolT1);

  const uint8_t command[] = {0x00, 0xA4, 0x04, 0x00};
  uint8_t response[8];
  uint32_t responseLength = sizeof response;
  EXPECT_EQ(
      pcsc.Transmit(card, sc::kProtocolT1, command, sizeof command, response, &responseLength),
      sc::kSuccess);
  EXPECT_EQ(seen.protocol, sc::kProtocolT1);
  EXPECT_EQ(seen.pciLength, sizeof(Api::IoRequest));
  EXPECT_EQ(responseLength, 2u);
  EXPECT_EQ(pcsc.Transmit(card, sc::kProtocolT1, command, sizeof command, response, nullptr),
            sc::kInvalidParameter);

  uint8_t out[8];
  uint32_t outLength = sizeof out;
  EXPECT_EQ(pcsc.Control(card, sc::kGetFeatureRequest, nullptr, 0, out, &outLength), sc::kSuccess);
  EXPECT_EQ(seen.controlCode, 0x42000000u + 3400);
  EXPECT_EQ(seen.outSize, sizeof out);
  EXPECT_EQ(outLength, 3u);
}

TEST(TablePcsc, TheTableIsFilledOnceAtTheFirstCall) {
  fills = 0;
  TablePcsc<Api> pcsc(&FillAll);
  EXPECT_EQ(fills, 0);
  ScardContext context = 0;
  pcsc.EstablishContext(sc::kScopeUser, &context);
  pcsc.ReleaseContext(context);
  EXPECT_EQ(fills, 1);
}

TEST(TablePcsc, WithoutTheLibraryOrOneNeededFunctionEveryCallAnswersNoService) {
  for (TablePcsc<Api>::Fill fill : {&NoLibrary, &FillWithoutTransmit}) {
    TablePcsc<Api> pcsc(fill);
    ScardContext context = 0;
    uint32_t len = 0;
    ScardHandle card = 0;
    EXPECT_EQ(pcsc.EstablishContext(sc::kScopeUser, &context), sc::kNoService);
    EXPECT_EQ(pcsc.ListReaders(context, nullptr, &len), sc::kNoService);
    EXPECT_EQ(pcsc.Connect(context, "A", sc::kShareShared, sc::kProtocolT1, &card, nullptr),
              sc::kNoService);
    EXPECT_EQ(pcsc.Control(card, sc::kGetFeatureRequest, nullptr, 0, nullptr, &len),
              sc::kNoService);
  }
}

TEST(TablePcsc, WithoutSCardControlOnlyControlIsUnsupported) {
  TablePcsc<Api> pcsc(&FillWithoutControl);
  ScardContext context = 0;
  EXPECT_EQ(pcsc.EstablishContext(sc::kScopeUser, &context), sc::kSuccess);
  uint32_t len = 0;
  EXPECT_EQ(pcsc.Control(1, sc::kGetFeatureRequest, nullptr, 0, nullptr, &len),
            sc::kUnsupportedFeature);
}

}  // namespace
}  // namespace quilta::platform
