// Fuzzes ComposeCommand with random lines, executable paths and system
// directories. The three buffers are heap blocks of exactly their size.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "launch/compose_command.h"
#include "platform/platform_dry_run.h"
#include "tests/support/require.h"

namespace {

// Input: a byte whose bit 0 picks code page 932 over 1252, then the
// executable path, the system directory and the line, split at LF. Paths are
// cut at their first zero and at 259 bytes, the line at 559 bytes.
std::string Field(const std::string& rest, std::string::size_type& start) {
  std::string::size_type end = rest.find('\n', start);
  std::string field = rest.substr(start, end - start);
  start = end == std::string::npos ? rest.size() : end + 1;
  return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t count) {
  if (count == 0) return 0;
  std::string rest(reinterpret_cast<const char*>(bytes) + 1, count - 1);
  std::string::size_type at = 0;
  DryRunPlatform& dryRun = ResetDryRun(bytes[0] & 1 ? 932 : 1252);
  dryRun.executablePath = Field(rest, at);
  dryRun.systemDirectory = Field(rest, at);
  for (std::string* path : {&dryRun.executablePath, &dryRun.systemDirectory}) {
    path->resize(std::min({path->find('\0'), path->size(), kPathSize - 1}));
  }

  // The line may hold zeros, as the reader stores them, and old bytes follow
  // its terminator, as they do from one line to the next.
  std::string before = rest.substr(at, kLineSize - 1);
  std::size_t length = before.size();
  before.resize(kLineSize, 'L');
  before[length] = '\0';

  Block line(before);
  Block command(std::string(kPathSize, 'C'));
  Block directory(std::string(kPathSize, 'D'));

  bool chosen = ComposeCommand(*reinterpret_cast<LineBuffer*>(line.bytes),
                               *reinterpret_cast<PathBuffer*>(command.bytes),
                               *reinterpret_cast<PathBuffer*>(directory.bytes));

  Require(std::memchr(command.bytes, '\0', kPathSize) != nullptr, "command line terminated");
  if (chosen) {
    Require(std::memchr(directory.bytes, '\0', kPathSize) != nullptr, "directory terminated");
    Require(std::memcmp(line.bytes, before.data(), kLineSize) == 0, "line put back byte for byte");
  } else {
    for (std::size_t i = 0; i < kPathSize; ++i) {
      Require(directory.bytes[i] == 'D', "directory left alone when none is chosen");
    }
    // The installer rule alone overwrites the line: with the installer path,
    // zero-filled to the end of the buffer.
    std::string installer = dryRun.systemDirectory + "\\msiexec.exe";
    installer.resize(std::min(installer.size(), kPathSize - 1));
    installer.resize(kLineSize, '\0');
    Require(std::memcmp(line.bytes, installer.data(), kLineSize) == 0, "line holds the installer");
  }
  return 0;
}
