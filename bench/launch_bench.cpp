// The in-process cost of one launch-list line: reading, lowering, composing
// and starting, through the dry-run platform, which records each start instead of
// making it. Every benchmark runs a whole list from its file to the end of the
// run; per_line is the time of one line.
#include <benchmark/benchmark.h>

#include <string>

#include "launch/launch_list.h"
#include "platform/platform_dry_run.h"
#include "tests/support/temp_folder.h"

namespace {

const char* const kShort[] = {"msiexec.exe /p Hotfix.msp /qn", "C:\\Tools\\Report.exe /Daily",
                              "Setup.exe /S"};

// A line of exactly 559 characters, the longest a line can be.
std::string Long(const std::string& line) {
  return line + " /" + std::string(559 - line.size() - 2, 'X');
}

void RunList(benchmark::State& state, const std::string& list, int lines) {
  TempFolder folder;
  folder.Write("Starter.dat", list);
  const std::string executable = folder.path() + "\\Starter.exe";
  while (state.KeepRunning()) {
    DryRunPlatform& dryRun = ResetDryRun();
    dryRun.executablePath = executable;
    dryRun.starts.reserve(static_cast<size_t>(lines) + 1);
    RunLaunchList();
    benchmark::DoNotOptimize(dryRun.starts.data());
  }
  state.counters["per_line"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

// One rule, 1,000 lines of the same length.
void Rule(benchmark::State& state, const std::string& line) {
  std::string list;
  for (int i = 0; i < 1000; ++i) list += line + "\n";
  RunList(state, list, 1000);
}

// 10,000 lines that cycle through the three rules, short and long.
void MixedList(benchmark::State& state) {
  std::string list;
  for (int i = 0; i < 10000; ++i) {
    const std::string line = kShort[i % 3];
    list += (i / 3) % 2 ? Long(line) : line;
    list += "\n";
  }
  RunList(state, list, 10000);
}

}  // namespace

BENCHMARK_CAPTURE(Rule, installer_patch_short, kShort[0]);
BENCHMARK_CAPTURE(Rule, installer_patch_559, Long(kShort[0]));
BENCHMARK_CAPTURE(Rule, program_with_path_short, kShort[1]);
BENCHMARK_CAPTURE(Rule, program_with_path_559, Long(kShort[1]));
BENCHMARK_CAPTURE(Rule, bare_program_short, kShort[2]);
BENCHMARK_CAPTURE(Rule, bare_program_559, Long(kShort[2]));
BENCHMARK(MixedList);

BENCHMARK_MAIN();
