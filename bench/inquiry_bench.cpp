// A whole balance inquiry on the real stack against the floor of its own card round trips:
// DoInquiryTAC on reader type 1 (the PIN typed on the page) against the very APDUs it sends
// (the 12 of ReadBasicData, VERIFY, the TAC command) replayed as raw SCardTransmit calls on
// the same card handle. Run it inside tools/pcsc-sandbox:
//
//   tools/pcsc-sandbox --build BUILD -- BUILD/bench/inquiry_bench
//
// The bank-server simulator opens the session and prepares the inquiry's inputs (nono,
// SessionKey, PCode, FdChkCode, AccountNo); the first inquiry runs on a recording PC/SC
// (bench/pcsc_meter.h) that keeps the commands for the raw side, and its outputs must
// verify at the simulator, as must those of one more inquiry after the timings. Each side is
// also measured on its own; the ratio comes from paired runs (both sides back to back in
// alternating order, medians of each side), repeated, and is printed at the end
// (goal: <= 1.05), with our own time in one inquiry (the call less its time inside PC/SC). Without a reader holding a card it says so and exits 0; a transaction that
// fails or does not verify exits 1.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/paired.h"
#include "bench/pcsc_meter.h"
#include "core/atm_core.h"
#include "base/hex.h"
#include "sim/bank_server.h"
#include "sim/control_client.h"
#include "sim/page_io.h"

#if defined(QUILTA_BENCH_HAVE_PCSCLITE)
#include <PCSC/winscard.h>

namespace {

using quilta::CAtmCore;
using quilta::Prop;

CAtmCore* g_core = nullptr;
quilta::Text g_pin;
std::vector<std::vector<uint8_t>> g_apdus;  // what one inquiry sends, in order
std::vector<double> g_ratios;              // one per repetition of the paired run

// One raw round trip; true when PC/SC succeeded and the card answered 90 00.
bool RawTransmit(const std::vector<uint8_t>& apdu) {
  SCARD_IO_REQUEST pci{static_cast<DWORD>(g_core->channel().activeProtocol), sizeof(SCARD_IO_REQUEST)};
  unsigned char rsp[272];
  DWORD len = sizeof rsp;
  LONG rv = SCardTransmit(static_cast<SCARDHANDLE>(g_core->channel().handle), &pci, apdu.data(),
                          static_cast<DWORD>(apdu.size()), nullptr, rsp, &len);
  return rv == SCARD_S_SUCCESS && len >= 2 && rsp[len - 2] == 0x90 && rsp[len - 1] == 0x00;
}

bool RawInquiry() {
  bool ok = true;
  for (const auto& apdu : g_apdus) ok = RawTransmit(apdu) && ok;
  return ok;
}

bool OurInquiry() { return g_core->DoInquiryTAC(g_pin) == 0; }

void BM_RawInquiryApdus(benchmark::State& state) {
  for (auto _ : state)
    if (!RawInquiry()) state.SkipWithError("raw transmit failed");
}

void BM_DoInquiryTAC(benchmark::State& state) {
  for (auto _ : state)
    if (!OurInquiry()) state.SkipWithError("DoInquiryTAC failed");
}

using quilta::bench::Median;

// Our own time in an inquiry: the whole call less the time inside the PC/SC calls, on a
// metered PC/SC (bench/pcsc_meter.h). Steadier than the ratio when the machine is busy.
double g_ownUs = 0, g_callUs = 0;
void BM_OwnTime(benchmark::State& state) {
  quilta::platform::Pcsc* system = g_core->channel().pcsc;
  quilta::bench::MeteredPcsc meter(*system);
  g_core->channel().pcsc = &meter;
  std::vector<double> own, whole;
  for (auto _ : state) {
    const double before = meter.TotalSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    if (!OurInquiry()) {
      state.SkipWithError("DoInquiryTAC failed");
      break;
    }
    const double call = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
    whole.push_back(call);
    own.push_back(call - (meter.TotalSeconds() - before) * 1e6);
  }
  g_core->channel().pcsc = system;
  g_ownUs = Median(own);
  g_callUs = Median(whole);
  state.counters["own_us"] = g_ownUs;
  state.counters["call_us"] = g_callUs;
}

// Both sides back to back in every iteration, in alternating order; the ratio of the medians.
void BM_PairedInquiry(benchmark::State& state) {
  const double ratio = quilta::bench::RunPaired(state, RawInquiry, OurInquiry);
  if (ratio > 0) g_ratios.push_back(ratio);
}

// Has the server check what the last inquiry left in the outputs.
quilta::sim::Verdict Judge(const CAtmCore& core, const quilta::sim::BankServer& server,
                           const quilta::sim::TxnRequest& request) {
  return server.Verify(request, quilta::sim::PageOutputs(core));
}

}  // namespace

int main(int argc, char** argv) {
  namespace sim = quilta::sim;
  const sim::SandboxSlot slot = sim::SandboxSlotFromEnvironment(0);
  static CAtmCore core;
  if (slot.reader.empty() || core.ConnectDriver() != 0) {
    std::printf("inquiry_bench: not inside tools/pcsc-sandbox (no simulated card); nothing measured\n");
    return 0;
  }
  core.PutText(Prop::ReaderName, quilta::AsciiText(slot.reader));
  if (core.ConnectCard() != 0 || core.SetReaderType(u"1") != 0) {
    std::printf("inquiry_bench: cannot open the card in %s (%s); nothing measured\n", slot.reader.c_str(),
                core.errorText().c_str());
    return 0;
  }
  std::printf("reader: %s\n", slot.reader.c_str());
  g_core = &core;
  const sim::Profile card = sim::DefaultProfile();
  g_pin = quilta::AsciiText(card.pin);
  sim::BankServer server(card);
  server.SetDateTime("20180104093000");
  const sim::TxnRequest request = server.Prepare(sim::TxnKind::kInquiry);
  quilta::sim::PutPageInputs(core, server.PageInputs(request));

  // The first inquiry, recorded; its outputs must verify.
  quilta::bench::MeteredPcsc recorder(*core.channel().pcsc);
  quilta::platform::Pcsc* system = core.channel().pcsc;
  recorder.recordApdus = true;
  core.channel().pcsc = &recorder;
  const int32_t st = core.DoInquiryTAC(g_pin);
  core.channel().pcsc = system;
  if (st != 0) {
    std::printf("inquiry_bench: DoInquiryTAC answered %d (%s)\n", st, core.errorText().c_str());
    return 1;
  }
  sim::Verdict verdict = Judge(core, server, request);
  std::printf("first inquiry at the bank-server simulator: %s\n", verdict.reason.c_str());
  if (!verdict) return 1;
  g_apdus = recorder.apdus;
  std::printf("PC/SC calls of one inquiry:");
  for (int op = 0; op < quilta::bench::MeteredPcsc::kOps; ++op) {
    const auto& t = recorder.tally(static_cast<quilta::bench::MeteredPcsc::Op>(op));
    if (t.calls) std::printf(" %s %llu", quilta::bench::MeteredPcsc::kNames[op], static_cast<unsigned long long>(t.calls));
  }
  std::printf("\n");
  for (const auto& apdu : g_apdus) {
    std::string hex = quilta::BytesToHex(apdu.data(), apdu.size());
    // The VERIFY command carries the PIN block: shown as its header only.
    if (apdu.size() > 1 && apdu[1] == 0x20) hex = hex.substr(0, 10) + "...";
    std::printf("  %s\n", hex.c_str());
  }
  if (!RawInquiry()) {
    std::printf("inquiry_bench: the card refused the replayed commands\n");
    return 1;
  }

  benchmark::Initialize(&argc, argv);
  benchmark::RegisterBenchmark("BM_RawInquiryApdus", BM_RawInquiryApdus)->MinTime(0.5);
  benchmark::RegisterBenchmark("BM_DoInquiryTAC", BM_DoInquiryTAC)->MinTime(0.5);
  benchmark::RegisterBenchmark("BM_PairedInquiry", BM_PairedInquiry)->Iterations(300)->Repetitions(5);
  benchmark::RegisterBenchmark("BM_OwnTime", BM_OwnTime)->Iterations(1000);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  // One more inquiry after all the timed ones: it verifies too.
  if (core.DoInquiryTAC(g_pin) != 0 || !(verdict = Judge(core, server, request))) {
    std::printf("inquiry_bench: the last inquiry failed: %s %s\n", core.errorText().c_str(),
                verdict.reason.c_str());
    return 1;
  }
  std::printf("last inquiry at the bank-server simulator: %s\n", verdict.reason.c_str());
  if (!g_ratios.empty()) {
    std::printf("DoInquiryTAC / %zu raw transmits: %.4f (goal <= 1.05); repetitions:", g_apdus.size(),
                Median(g_ratios));
    for (double r : g_ratios) std::printf(" %.4f", r);
    std::printf("\n");
  }
  if (g_callUs > 0)
    std::printf("our own time in one DoInquiryTAC (outside PC/SC): %.1f us of %.1f us\n", g_ownUs, g_callUs);
  core.DisconnectCard();
  core.DisconnectDriver();
  return 0;
}

#else

int main() {
  std::printf("inquiry_bench: built without pcsc-lite; nothing measured\n");
  return 0;
}

#endif
