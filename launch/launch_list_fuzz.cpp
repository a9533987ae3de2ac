// Fuzzes the whole run: random list bytes are written beside a pretend
// executable and run through the dry-run platform, which records every start.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "launch/launch_list.h"
#include "platform/platform_dry_run.h"
#include "tests/support/require.h"
#include "text/bounded_text.h"

namespace {

// How many lines the run reads, from a plain model of a text-mode file: the
// data ends at the first Ctrl-Z, every LF ends a line (a CR right before it is
// dropped), the end of the data ends the last one, and a line over 559
// characters is the last one read.
std::size_t ExpectedReads(const std::string& bytes) {
  std::string text = bytes.substr(0, bytes.find('\x1A'));
  std::size_t reads = 0;
  std::string::size_type start = 0;
  for (;;) {
    std::string::size_type end = text.find('\n', start);
    std::size_t length = (end == std::string::npos ? text.size() : end) - start;
    if (end != std::string::npos && length > 0 && text[end - 1] == '\r') --length;
    ++reads;
    if (length > kLineSize - 1 || end == std::string::npos) return reads;
    start = end + 1;
  }
}

std::string Folder() {
  static std::string folder = [] {
    char name[] = "/tmp/starter-fuzz-XXXXXX";
    if (mkdtemp(name) == nullptr) std::abort();
    return std::string(name);
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t count) {
  if (count == 0) return 0;
  std::string list(reinterpret_cast<const char*>(bytes) + 1, count - 1);
  std::FILE* file = std::fopen((Folder() + "/Starter.dat").c_str(), "wb");
  Require(file != nullptr && std::fwrite(list.data(), 1, list.size(), file) == list.size() &&
              std::fclose(file) == 0,
          "list written");

  DryRunPlatform& dryRun = ResetDryRun(bytes[0] & 1 ? 932 : 1252);
  std::string executable = Folder() + "/Starter.exe";
  std::replace(executable.begin(), executable.end(), '/', '\\');
  dryRun.executablePath = executable;
  dryRun.startSucceeds = [&](const DryRunStart&) { return (bytes[0] & 2) == 0; };

  RunLaunchList();

  Require(dryRun.openLists == 0, "list closed");
  Require(dryRun.starts.size() == ExpectedReads(list), "one start for every line read");
  for (const DryRunStart& start : dryRun.starts) {
    Require(start.commandLine.size() <= kPathSize - 1, "command line at most 259 characters");
    Require(start.directory.size() <= kPathSize - 1, "directory at most 259 characters");
    Require(start.inheritHandles && start.creationFlags == 0x28, "start flags");
  }
  return 0;
}
