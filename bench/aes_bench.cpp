// AES-128-ECB throughput of CRijndael next to libcrypto's portable code (AES-NI masked off).
// libcrypto reads OPENSSL_ia32cap when it initialises, before main runs, so the bench
// re-executes itself with the variable set when it is missing. The last line printed is the
// ratio of the two encryption speeds (ours / libcrypto).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "crypto/rijndael.h"

#if defined(__unix__)
#include <unistd.h>
#endif

namespace {

// Clears the AES-NI and PCLMULQDQ capability bits.
constexpr char kNoAesNi[] = "~0x200000200000000";
constexpr size_t kBufferBytes = 16 * 1024;
const unsigned char kKey[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                                0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};

std::vector<char> Buffer() {
  std::vector<char> b(kBufferBytes);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>(i * 31 + 7);
  return b;
}

void BM_CRijndael_AES128_ECB_Encrypt(benchmark::State& state) {
  quilta::CRijndael cipher;
  cipher.SetKey(reinterpret_cast<const char*>(kKey), reinterpret_cast<const char*>(kKey), 16, 16);
  std::vector<char> in = Buffer(), out(kBufferBytes);
  for (auto _ : state) {
    cipher.Encrypt(in.data(), out.data(), kBufferBytes, quilta::CRijndael::ECB);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBufferBytes));
}
BENCHMARK(BM_CRijndael_AES128_ECB_Encrypt);

void BM_CRijndael_AES128_ECB_Decrypt(benchmark::State& state) {
  quilta::CRijndael cipher;
  cipher.SetKey(reinterpret_cast<const char*>(kKey), reinterpret_cast<const char*>(kKey), 16, 16);
  std::vector<char> in = Buffer(), out(kBufferBytes);
  for (auto _ : state) {
    cipher.Decrypt(in.data(), out.data(), kBufferBytes, quilta::CRijndael::ECB);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBufferBytes));
}
BENCHMARK(BM_CRijndael_AES128_ECB_Decrypt);

void OpenSslEcb(benchmark::State& state, bool encrypt) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CipherInit_ex(ctx, EVP_aes_128_ecb(), nullptr, kKey, nullptr, encrypt ? 1 : 0);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  std::vector<char> in = Buffer(), out(kBufferBytes + 16);
  for (auto _ : state) {
    int len = 0;
    EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &len,
                     reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(kBufferBytes));
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBufferBytes));
}

void BM_OpenSSL_AES128_ECB_Encrypt(benchmark::State& state) { OpenSslEcb(state, true); }
BENCHMARK(BM_OpenSSL_AES128_ECB_Encrypt);
void BM_OpenSSL_AES128_ECB_Decrypt(benchmark::State& state) { OpenSslEcb(state, false); }
BENCHMARK(BM_OpenSSL_AES128_ECB_Decrypt);

// The usual console output, plus the bytes per second of each benchmark by name: the median
// when repetitions are asked for, else the one run.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto it = run.counters.find("bytes_per_second");
      if (run.error_occurred || it == run.counters.end()) continue;
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians[name] = it->second.value;
      } else if (run.run_type == Run::RT_Iteration) {
        singles[name] = it->second.value;
      }
    }
  }
  double Rate(const std::string& name) const {
    auto m = medians.find(name);
    if (m != medians.end()) return m->second;
    auto s = singles.find(name);
    return s != singles.end() ? s->second : 0.0;
  }
  std::map<std::string, double> medians, singles;
};

}  // namespace

int main(int argc, char** argv) {
#if defined(__unix__)
  if (std::getenv("OPENSSL_ia32cap") == nullptr) {
    setenv("OPENSSL_ia32cap", kNoAesNi, 1);
    execv("/proc/self/exe", argv);
    std::perror("re-exec with OPENSSL_ia32cap set failed; libcrypto may use AES-NI");
  }
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const char* pairs[][3] = {
      {"encrypt", "BM_CRijndael_AES128_ECB_Encrypt", "BM_OpenSSL_AES128_ECB_Encrypt"},
      {"decrypt", "BM_CRijndael_AES128_ECB_Decrypt", "BM_OpenSSL_AES128_ECB_Decrypt"},
  };
  for (auto& p : pairs) {
    double ours = reporter.Rate(p[1]);
    double theirs = reporter.Rate(p[2]);
    if (ours <= 0 || theirs <= 0) continue;
    const char* caps = std::getenv("OPENSSL_ia32cap");
    std::printf("AES-128-ECB %s ratio ours/libcrypto (OPENSSL_ia32cap=%s): %.2f\n", p[0],
                caps != nullptr ? caps : "unset", ours / theirs);
  }
  return 0;
}
