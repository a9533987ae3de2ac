// The process baseline for scripts/bench.sh: the service's starts, made by a
// plain program given the commands file.
#include "bench/baseline_starts.h"

int main(int argc, char** argv) {
  static BaselineCommands commands;
  if (argc != 2 || !ReadBaselineCommands(argv[1], commands)) return 2;
  StartBaselineCommands(commands);
  return 0;
}
