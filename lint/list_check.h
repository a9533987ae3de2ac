// What the service would do with a launch list, line by line: the service's
// own reading, lowering and composition run on the dry-run platform, and each
// line is judged, by the rules, from a sheet of facts about it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "launch/list_reader.h"
#include "lint/code_page_marks.h"
#include "lint/findings.h"
#include "lint/line_sheet.h"
#include "lint/list_facts.h"
#include "platform/platform_dry_run.h"

struct CheckOptions {
  std::string list;   // the list's name as given: a path on this machine, or "-"
  std::string bytes;  // the list's whole content, read once
  // The service the list is checked for: its paths, code page and PATH, and
  // the target's lookups, null where the tool cannot see the target machine's
  // files, or is told not to look. Its folder is filled in from its path.
  ServiceView service;
  bool ignored[kCodeCount] = {};  // findings a pipeline has judged
  // With --installed: the registration, and the installation's own findings,
  // shown before the list's.
  bool installed = false;
  std::string imagePath;
  std::string account;
  std::vector<Finding> installation;
};

struct LineReport {
  int number = 0;    // 1 for the first read
  std::string read;  // the bytes the reader stored, after text-mode translation
  CommandRule rule = CommandRule::kBareProgram;
  std::string commandLine;
  bool hasDirectory = false;
  std::string directory;
  bool looked = false;  // whether starts says what starts on this machine
  std::string starts;   // the file that starts there; empty when none does
  std::vector<Finding> findings;
};

// A list's report without its lines, which are handed out one at a time: the
// list's bytes are held once, and nothing grows with the number of lines.
struct ListReport {
  std::string serviceListPath;    // the list the service at executablePath reads
  std::vector<Finding> findings;  // about the list as a whole
  int lineCount = 0;
  int linesNeverRead = 0;  // whole lines after an overlong one
  int counts[3] = {0, 0, 0};
  int Count(Level level) const { return counts[static_cast<int>(level)]; }
};

// One list's check between its lines.
struct ListCheck {
  const CheckOptions* options = nullptr;
  ListReport* report = nullptr;
  DryRunPlatform platform;  // the service's machine, as the check answers for it
  ListReader input;
  ServiceView service;
  ListFacts facts;
};

// Sets up the service's view, fills the whole-list part of report and opens
// the list as the service reads it.
void BeginListCheck(const CheckOptions& options, ListReport& report, ListCheck& check);
// Reads, composes and judges the next line the service reads; false once the
// service reads no more.
bool CheckNextLine(ListCheck& check, LineReport& line);
void EndListCheck(ListCheck& check);

const char* RuleName(CommandRule rule);

// The service executable's name for a list: ".dat" at the end becomes ".exe".
std::string ExecutableNameFor(const std::string& listName);
// The service executable in folder, a Windows path, for the list at list, a
// path on this machine.
std::string ExecutableBeside(const std::string& folder, const std::string& list);

// The folder a file's full path names: the text before its last backslash,
// read in that code page.
std::string FolderOf(const std::string& path, unsigned codePage);

// The folder of the service at executablePath, and the list it reads there,
// by the service's own rules in that code page.
void ServicePaths(const std::string& executablePath, unsigned codePage, std::string& folder,
                  std::string& list);
