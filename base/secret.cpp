#include "base/secret.h"

namespace quilta {

void WipeBytes(void* p, size_t n) {
  volatile unsigned char* b = static_cast<volatile unsigned char*>(p);
  for (size_t i = 0; i < n; ++i) b[i] = 0;
}

}  // namespace quilta
