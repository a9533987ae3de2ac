// Contract checks for the fuzz targets: a broken one aborts, which libFuzzer
// reports as a crash and keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void Require(bool condition, const char* what) {
  if (!condition) {
    static_cast<void>(std::fprintf(stderr, "broken contract: %s\n", what));
    std::abort();
  }
}
