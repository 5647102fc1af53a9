// Paired timing for benchmarks that compare our call with the raw PC/SC round trips it
// stands on: each iteration runs both sides back to back (in alternating order) and times
// each, so that the machine's changing load hits both alike; the ratio is that of the
// medians of the two sides' samples.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace quilta::bench {

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// Runs the pairs; sets the counters raw_us, ours_us and ratio. Returns ours / raw (0 when a
// side failed, which also marks the benchmark as failed).
template <typename Raw, typename Ours>
double RunPaired(benchmark::State& state, Raw raw, Ours ours) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> rawTimes, ourTimes;
  bool flip = false;
  for (auto _ : state) {
    auto t0 = Clock::now();
    bool ok = flip ? ours() : raw();
    auto t1 = Clock::now();
    ok = (flip ? raw() : ours()) && ok;
    auto t2 = Clock::now();
    if (!ok) {
      state.SkipWithError("exchange failed");
      return 0;
    }
    const double first = std::chrono::duration<double, std::micro>(t1 - t0).count();
    const double second = std::chrono::duration<double, std::micro>(t2 - t1).count();
    (flip ? ourTimes : rawTimes).push_back(first);
    (flip ? rawTimes : ourTimes).push_back(second);
    flip = !flip;
  }
  const double r = Median(rawTimes), o = Median(ourTimes);
  state.counters["raw_us"] = r;
  state.counters["ours_us"] = o;
  state.counters["ratio"] = r > 0 ? o / r : 0;
  return r > 0 ? o / r : 0;
}

}  // namespace quilta::bench
