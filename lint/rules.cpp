#include "lint/rules.h"

#include <algorithm>
#include <utility>

namespace {

bool Always(const LineSheet&) {
  return true;
}

bool IsBlank(const LineSheet& line) {
  return !IsInstaller(line) && line.blank;
}

bool IsCommentLine(const LineSheet& line) {
  return !IsInstaller(line) && line.comment;
}

bool NamesAProgram(const LineSheet& line) {
  return !IsInstaller(line) && !line.blank && !line.comment;
}

bool OnTarget(const LineSheet& line) {
  return line.looked && !IsBlank(line) && !line.comment;
}

struct Stage {
  const Rule* rules;
  bool (*applies)(const LineSheet& line);
  // Whether a finding here ends the stages that need the line to name a
  // program that can start: on an error, or on anything at all.
  enum { kNever, kOnError, kOnAny } blocks;
  bool needsProgram;  // skipped once a stage before has blocked
};

const Stage kStages[] = {
    {kBytesRules, Always, Stage::kOnError, false},
    {kInstallerProgramRules, IsInstaller, Stage::kNever, false},
    {kInstallerPatchRules, IsInstaller, Stage::kOnError, false},
    {kBlankRules, IsBlank, Stage::kOnAny, false},
    {kCommentRules, IsCommentLine, Stage::kOnAny, false},
    {kNameRules, NamesAProgram, Stage::kOnError, true},
    {kPathRules, NamesAProgram, Stage::kNever, true},
    {kShellRules, Always, Stage::kOnError, true},
    {kTargetRules, OnTarget, Stage::kNever, true},
    {kBitnessRules, NamesAProgram, Stage::kNever, true},
    // After the target's: a missing patch is said for each line first.
    {kInstallerListRules, IsInstaller, Stage::kNever, false},
    {kNoteRules, Always, Stage::kNever, true},
    {kRunEndRules, Always, Stage::kNever, false},
};

bool HasError(Findings::const_iterator from, Findings::const_iterator to) {
  return std::any_of(from, to, [](const Finding& finding) {
    return Describe(finding.code).level == Level::kError;
  });
}

bool HasError(const Findings& findings) {
  return HasError(findings.begin(), findings.end());
}

}  // namespace

Findings JudgeLine(const RuleContext& context) {
  Findings all;
  bool blocked = false;
  for (const Stage& stage : kStages) {
    if (!stage.applies(context.line) || (stage.needsProgram && blocked)) continue;
    for (const Rule* rule = stage.rules; *rule != nullptr; ++rule) {
      // The rule adds to the line's findings in place: what it found is the tail.
      const auto before = static_cast<std::ptrdiff_t>(all.size());
      (*rule)(context, all);
      bool error = HasError(all.begin() + before, all.end());
      if ((stage.blocks == Stage::kOnError && error) ||
          (stage.blocks == Stage::kOnAny && all.size() > static_cast<std::size_t>(before))) {
        blocked = true;
      }
      if (error) break;  // a stage's first error ends it
    }
  }
  return all;
}

Findings JudgeList(const RuleContext& context) {
  Findings all;
  for (const Rule* rule = kListRules; *rule != nullptr && !HasError(all); ++rule) {
    (*rule)(context, all);
  }
  return all;
}

Findings JudgeInstallation(const RuleContext& context) {
  Findings all;
  for (const Rule* rule = kInstallationRules; *rule != nullptr; ++rule) (*rule)(context, all);
  return all;
}

void Add(Findings& findings, Code code, std::string message) {
  findings.push_back({code, std::move(message)});
}

std::string Column(std::string::size_type at) {
  return std::to_string(at + 1);
}
