// The checks of the test programs run under Wine: a line "ok   WHAT" or "FAIL WHAT" per check,
// and at the end "ALL PASSED" (exit code 0) or "N FAILED" (exit code 1), which the runner
// (run-in-wine) and the driving scripts read.
#pragma once

#include <cstdio>
#include <string>

namespace quilta::test {

inline int& Failures() {
  static int failures = 0;
  return failures;
}

// Prints the check and counts it when it failed; `ok` again.
inline bool Check(const std::string& what, bool ok) {
  if (!ok) ++Failures();
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  std::fflush(stdout);
  return ok;
}

// The program's exit code after its checks. Errors seen outside them (a script's) fail the
// run as failed checks do.
inline int Finish(int errors = 0) {
  const int failed = Failures() + errors;
  if (failed == 0)
    std::printf("ALL PASSED\n");
  else
    std::printf("%d FAILED\n", failed);
  std::fflush(stdout);
  return failed == 0 ? 0 : 1;
}

}  // namespace quilta::test
