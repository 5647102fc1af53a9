#include "platform/os.h"

#include <chrono>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace quilta::platform {
namespace {
class ThreadSleeper final : public Sleeper {
 public:
  void SleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};
}  // namespace

Sleeper& RealSleeper() {
  static ThreadSleeper sleeper;
  return sleeper;
}

int OsMajorVersion() {
#if defined(_WIN32)
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
  if (GetVersionExW(&info)) return static_cast<int>(info.dwMajorVersion);
  return 10;
#else
  return 10;
#endif
}

}  // namespace quilta::platform
