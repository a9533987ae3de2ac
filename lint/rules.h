// The rules that judge a line: each raises its findings, from the line's
// sheet of facts, in one small function. They run in stages; a stage's first
// error ends it, and a stage may need the program's name to be one that can
// start at all.
#pragma once

#include "lint/findings.h"
#include "lint/line_sheet.h"
#include "lint/list_facts.h"

struct InstalledAudit;

struct RuleContext {
  const LineSheet& line;
  const ServiceView& service;
  const ListFacts& list;
  const InstalledAudit* installed = nullptr;  // for --installed's own rules
};

using Rule = void (*)(const RuleContext& context, Findings& findings);

// Every rule of every stage, in order, on one line.
Findings JudgeLine(const RuleContext& context);
// The whole list's rules, before its first line: the first error ends them.
Findings JudgeList(const RuleContext& context);
// The installation's rules, for --installed: each is said.
Findings JudgeInstallation(const RuleContext& context);

// The stages' rules, each list ended by a null, in the file of its kind.
extern const Rule kBytesRules[];             // a byte-order mark, a cut, a NUL, a CR
extern const Rule kInstallerProgramRules[];  // the program an installer line names
extern const Rule kInstallerPatchRules[];    // its patch, and the other installer lines
extern const Rule kBlankRules[];             // a line that names nothing
extern const Rule kCommentRules[];           // a comment of another language
extern const Rule kNameRules[];              // whether the program's name can start at all
extern const Rule kPathRules[];              // where it leads, and what else may start
extern const Rule kBitnessRules[];           // what 64-bit Windows starts for the 32-bit service
extern const Rule kShellRules[];             // what only a shell would read
extern const Rule kTargetRules[];            // what is there on the target
extern const Rule kInstallerListRules[];     // the other installer lines the list starts
extern const Rule kNoteRules[];              // what the service's lowering changes
extern const Rule kRunEndRules[];            // where the run ends
extern const Rule kListRules[];              // the list as a whole
extern const Rule kInstallationRules[];      // the installation that reads it

// Helpers the rules share.
void Add(Findings& findings, Code code, std::string message);
std::string Column(std::string::size_type at);
