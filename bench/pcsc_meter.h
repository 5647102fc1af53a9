// A PC/SC implementation for the benchmarks that passes every call to another one (the
// system's pcsc-lite or the in-process virtual reader) and keeps, per operation, how many
// calls were made and how long they took (steady clock, the call itself only), and, while
// `recordApdus` is set, the command bytes of every Transmit. Attach it where the core takes
// its PC/SC (core.channel().pcsc, or the module's development hook).
//
// The same file holds a Sleeper that sleeps for real on another Sleeper and keeps the time
// slept per requested length, so that a run can tell the 200 ms pauses of ConnectCard from
// the 1,000 ms pause before a second reconnect.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/pcsc.h"

namespace quilta::bench {

class MeteredPcsc final : public platform::Pcsc {
 public:
  enum Op { kEstablish, kRelease, kList, kStatus, kConnect, kDisconnect, kTransmit, kOps };
  static constexpr std::array<const char*, kOps> kNames = {
      "EstablishContext", "ReleaseContext", "ListReaders", "GetStatusChange",
      "Connect",          "Disconnect",     "Transmit"};

  struct Tally {
    uint64_t calls = 0;
    double seconds = 0;
  };

  explicit MeteredPcsc(platform::Pcsc& inner) : inner_(inner) {}

  const Tally& tally(Op op) const { return tallies_[op]; }
  double TotalSeconds() const {
    double s = 0;
    for (const Tally& t : tallies_) s += t.seconds;
    return s;
  }
  uint64_t TotalCalls() const {
    uint64_t n = 0;
    for (const Tally& t : tallies_) n += t.calls;
    return n;
  }
  void Reset() {
    tallies_ = {};
    apdus.clear();
  }

  bool recordApdus = false;
  std::vector<std::vector<uint8_t>> apdus;  // Transmit commands while recordApdus was set

  platform::ScardResult EstablishContext(uint32_t scope, platform::ScardContext* context) override {
    return Timed(kEstablish, [&] { return inner_.EstablishContext(scope, context); });
  }
  platform::ScardResult ReleaseContext(platform::ScardContext context) override {
    return Timed(kRelease, [&] { return inner_.ReleaseContext(context); });
  }
  platform::ScardResult ListReaders(platform::ScardContext context, char* buf, uint32_t* len) override {
    return Timed(kList, [&] { return inner_.ListReaders(context, buf, len); });
  }
  platform::ScardResult GetStatusChange(platform::ScardContext context, uint32_t timeoutMs,
                                        platform::ReaderState* states, size_t count) override {
    return Timed(kStatus, [&] { return inner_.GetStatusChange(context, timeoutMs, states, count); });
  }
  platform::ScardResult Connect(platform::ScardContext context, const std::string& reader,
                                uint32_t shareMode, uint32_t preferredProtocols,
                                platform::ScardHandle* card, uint32_t* activeProtocol) override {
    return Timed(kConnect, [&] {
      return inner_.Connect(context, reader, shareMode, preferredProtocols, card, activeProtocol);
    });
  }
  platform::ScardResult Disconnect(platform::ScardHandle card, uint32_t disposition) override {
    return Timed(kDisconnect, [&] { return inner_.Disconnect(card, disposition); });
  }
  platform::ScardResult Transmit(platform::ScardHandle card, uint32_t sendProtocol,
                                 const uint8_t* command, uint32_t commandLength, uint8_t* response,
                                 uint32_t* responseLength) override {
    if (recordApdus) apdus.emplace_back(command, command + commandLength);
    return Timed(kTransmit, [&] {
      return inner_.Transmit(card, sendProtocol, command, commandLength, response, responseLength);
    });
  }

 private:
  template <typename F>
  platform::ScardResult Timed(Op op, F call) {
    const auto t0 = std::chrono::steady_clock::now();
    const platform::ScardResult rv = call();
    tallies_[op].seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ++tallies_[op].calls;
    return rv;
  }

  platform::Pcsc& inner_;
  std::array<Tally, kOps> tallies_{};
};

// Sleeps on `inner` and keeps the wall time slept, keyed by the length asked for.
class MeteredSleeper final : public platform::Sleeper {
 public:
  explicit MeteredSleeper(platform::Sleeper& inner) : inner_(inner) {}

  void SleepMs(uint32_t ms) override {
    const auto t0 = std::chrono::steady_clock::now();
    inner_.SleepMs(ms);
    Tally& t = byLength[ms];
    t.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ++t.calls;
  }
  double TotalSeconds() const {
    double s = 0;
    for (const auto& [ms, t] : byLength) s += t.seconds;
    return s;
  }

  struct Tally {
    uint64_t calls = 0;
    double seconds = 0;
  };
  std::map<uint32_t, Tally> byLength;

 private:
  platform::Sleeper& inner_;
};

}  // namespace quilta::bench
