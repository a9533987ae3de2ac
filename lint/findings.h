// The findings starter-check can report, each from one row of findings.inc.
#pragma once

#include <string>
#include <vector>

// error: the start fails on every machine, or it starts another program than
// the line names; warning: it may fail, or do something else, depending on
// the machine; note: harmless.
enum class Level { kError, kWarning, kNote };
const char* LevelName(Level level);

// Every finding, in the order --help lists them.
enum class Code {
#define FINDING(code, name, level, help, when, why) code,
#include "lint/findings.inc"
#undef FINDING
  kCount
};
constexpr int kCodeCount = static_cast<int>(Code::kCount);

struct FindingCode {
  const char* name;  // short and stable, for scripts
  Level level;
  const char* help;  // for --help
  const char* when;  // for the docs
  const char* why;
};
const FindingCode& Describe(Code code);
// False when no finding has that name.
bool CodeNamed(const std::string& name, Code& code);

struct Finding {
  Code code;
  std::string message;
};
using Findings = std::vector<Finding>;
