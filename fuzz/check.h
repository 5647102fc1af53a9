// CHECK for the fuzz targets: an expectation that does not hold prints itself and aborts, so
// that libFuzzer records the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>

#define CHECK(cond)                                                                  \
  do {                                                                               \
    if (!(cond)) {                                                                   \
      std::fprintf(stderr, "%s:%d: CHECK failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                  \
    }                                                                                \
  } while (0)
