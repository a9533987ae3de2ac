// What the fuzz targets share: contract checks and exact-size heap blocks.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// A broken contract aborts, which libFuzzer reports as a crash, keeping the input.
inline void Require(bool condition, const char* what) {
  if (!condition) {
    static_cast<void>(std::fprintf(stderr, "broken contract: %s\n", what));
    std::abort();
  }
}

// A heap block of exactly the given bytes, so that reading past it is caught.
struct Block {
  char* bytes;
  explicit Block(const std::string& content)
      : bytes(static_cast<char*>(std::malloc(content.size()))) {
    std::memcpy(bytes, content.data(), content.size());
  }
  ~Block() { std::free(bytes); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
};
