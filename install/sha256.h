// SHA-256 (FIPS 180-4), fed a chunk at a time: the hashes of a job's files
// and its identity, the same wherever they are worked out, on the target or
// on a build agent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
 public:
  Sha256();
  void Add(const void* bytes, std::size_t size);
  // The digest in lower-case hex; the hash takes nothing more after it.
  std::string Hex();

 private:
  void Block(const unsigned char* block);
  std::uint32_t state_[8];
  unsigned char buffer_[64];
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;  // in bytes
};

// The SHA-256 of some bytes, in hex.
std::string Sha256Of(const std::string& bytes);
