#include "lint/findings.h"

namespace {

const FindingCode kFindingCodes[] = {
#define FINDING(code, name, level, help, when, why) {name, Level::level, help, when, why},
#include "lint/findings.inc"
#undef FINDING
};
static_assert(sizeof kFindingCodes / sizeof kFindingCodes[0] == kCodeCount,
              "one row for every code");

}  // namespace

const char* LevelName(Level level) {
  return level == Level::kError ? "error" : level == Level::kWarning ? "warning" : "note";
}

const FindingCode& Describe(Code code) {
  return kFindingCodes[static_cast<int>(code)];
}

bool CodeNamed(const std::string& name, Code& code) {
  for (int i = 0; i < kCodeCount; ++i) {
    if (name == kFindingCodes[i].name) {
      code = static_cast<Code>(i);
      return true;
    }
  }
  return false;
}
