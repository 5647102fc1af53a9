// Overhead of the card engine over plain PC/SC on the real stack: CardExchange against a
// raw SCardTransmit loop of the same APDU on the same card handle, and ReadBasicData (12
// APDUs) against the same 12 APDUs sent raw. Run it inside tools/pcsc-sandbox:
//
//   tools/pcsc-sandbox --build BUILD -- BUILD/bench/card_exchange_bench
//
// Each side is also measured on its own; the ratios come from paired runs (both sides back
// to back in every iteration) and are printed at the end (goals: CardExchange <= 1.02,
// ReadBasicData <= 1.05). Without a reader holding a card it
// says so and exits 0.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/paired.h"
#include "core/atm_core.h"
#include "core/script.h"

#if defined(QUILTA_BENCH_HAVE_PCSCLITE)
#include <PCSC/winscard.h>

namespace {

using quilta::CAtmCore;
using quilta::Prop;

CAtmCore* g_core = nullptr;
std::map<std::string, double> g_ratios;

const std::vector<std::vector<uint8_t>>& BasicDataApdus() {
  static const std::vector<std::vector<uint8_t>> apdus = [] {
    std::vector<std::vector<uint8_t>> a = {{0x00, 0xA4, 0x02, 0x00, 0x02, 0x10, 0x01}};
    for (uint8_t r = 1; r <= 10; ++r) a.push_back({0x00, 0xB2, r, 0x04, 0x00});
    a.push_back({0x00, 0xB0, 0x00, 0x00, 0x10});
    return a;
  }();
  return apdus;
}

bool RawTransmit(const std::vector<uint8_t>& apdu) {
  SCARD_IO_REQUEST pci{static_cast<DWORD>(g_core->channel().activeProtocol), sizeof(SCARD_IO_REQUEST)};
  unsigned char rsp[272];
  DWORD len = sizeof rsp;
  LONG rv = SCardTransmit(static_cast<SCARDHANDLE>(g_core->channel().handle), &pci, apdu.data(),
                          static_cast<DWORD>(apdu.size()), nullptr, rsp, &len);
  return rv == SCARD_S_SUCCESS && len >= 2;
}

const std::vector<uint8_t> kReadId = {0x00, 0xB0, 0x00, 0x00, 0x10};

void BM_RawTransmit(benchmark::State& state) {
  for (auto _ : state)
    if (!RawTransmit(kReadId)) state.SkipWithError("transmit failed");
}

void BM_CardExchange(benchmark::State& state) {
  for (auto _ : state)
    if (g_core->CardExchange("00", "B0", "00", "00", std::nullopt, {}, "10") != 0)
      state.SkipWithError("CardExchange failed");
}

void BM_RawTwelve(benchmark::State& state) {
  for (auto _ : state)
    for (const auto& apdu : BasicDataApdus())
      if (!RawTransmit(apdu)) state.SkipWithError("transmit failed");
}

void BM_ReadBasicData(benchmark::State& state) {
  for (auto _ : state)
    if (g_core->ReadBasicData() != 0) state.SkipWithError("ReadBasicData failed");
}

using quilta::bench::Median;

template <typename Raw, typename Ours>
void Paired(benchmark::State& state, const char* label, Raw raw, Ours ours) {
  const double ratio = quilta::bench::RunPaired(state, raw, ours);
  if (ratio > 0) g_ratios[label] = ratio;
}

void BM_PairedCardExchange(benchmark::State& state) {
  Paired(state, "CardExchange / raw SCardTransmit", [] { return RawTransmit(kReadId); },
         [] { return g_core->CardExchange("00", "B0", "00", "00", std::nullopt, {}, "10") == 0; });
}

void BM_PairedReadBasicData(benchmark::State& state) {
  Paired(state, "ReadBasicData / 12 raw transmits",
         [] {
           bool ok = true;
           for (const auto& apdu : BasicDataApdus()) ok = RawTransmit(apdu) && ok;
           return ok;
         },
         [] { return g_core->ReadBasicData() == 0; });
}

bool OpenCard(CAtmCore& core) {
  if (core.ConnectDriver() != 0 || core.ListReadersName() != 0) return false;
  std::vector<std::string> candidates;
  if (const char* sim = std::getenv("QUILTA_SIM_READER0")) candidates.push_back(sim);
  for (int k = 0; k < std::min(core.props().NumberOf(Prop::ReaderCount), 10); ++k)
    candidates.push_back(quilta::ToNarrow(core.props().TextOf(Prop::Reader0 + k)));
  for (const std::string& name : candidates) {
    core.PutText(Prop::ReaderName, quilta::AsciiText(name));
    if (core.CheckCardInsert() == 0 && core.props().NumberOf(Prop::ReaderInsert) && core.ConnectCard() == 0) {
      std::printf("reader: %s\n", name.c_str());
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  CAtmCore& core = quilta::ProcessCore();
  if (!OpenCard(core)) {
    std::printf("card_exchange_bench: no PC/SC reader with a card found (%s); nothing measured\n",
                core.errorText().c_str());
    return 0;
  }
  g_core = &core;
  benchmark::Initialize(&argc, argv);
  benchmark::RegisterBenchmark("BM_RawTransmit", BM_RawTransmit)->MinTime(0.5);
  benchmark::RegisterBenchmark("BM_CardExchange", BM_CardExchange)->MinTime(0.5);
  benchmark::RegisterBenchmark("BM_RawTwelve", BM_RawTwelve)->MinTime(0.5);
  benchmark::RegisterBenchmark("BM_ReadBasicData", BM_ReadBasicData)->MinTime(0.5);
  benchmark::RegisterBenchmark("BM_PairedCardExchange", BM_PairedCardExchange)->Iterations(4000);
  benchmark::RegisterBenchmark("BM_PairedReadBasicData", BM_PairedReadBasicData)->Iterations(400);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  const double goal[] = {1.02, 1.05};
  int i = 0;
  for (const char* label : {"CardExchange / raw SCardTransmit", "ReadBasicData / 12 raw transmits"}) {
    if (g_ratios.count(label)) std::printf("%s: %.4f (goal <= %.2f)\n", label, g_ratios[label], goal[i]);
    ++i;
  }
  core.DisconnectCard();
  core.DisconnectDriver();
  return 0;
}

#else

int main() {
  std::printf("card_exchange_bench: built without pcsc-lite; nothing measured\n");
  return 0;
}

#endif
