// Operating-system facts and waits the system uses.
#pragma once

#include <cstdint>

namespace quilta::platform {

// Millisecond sleeps go through here so that tests and the scripted demo can run on
// virtual time.
class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void SleepMs(uint32_t ms) = 0;
};

Sleeper& RealSleeper();

// Major version of the operating system (Windows releases older than 5 re-open the card
// before a PIN verification). Linux answers a value that never triggers that path.
int OsMajorVersion();

}  // namespace quilta::platform
