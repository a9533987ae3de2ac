#include "lint/list_check.h"

#include <algorithm>
#include <utility>

#include "launch/launch_list.h"
#include "lint/rules.h"
#include "platform/platform_dry_run.h"
#include "text/string_helpers.h"

namespace {

// Whole lines left after the service stops at an overlong one. Reads on
// past the failure with the same reader, never starting anything.
int CountLinesNeverRead(ListReader& reader) {
  LineBuffer scratch;
  bool inOverlongLine = true;
  int count = 0;
  for (;;) {
    reader.fail = false;
    ReadLine(reader, scratch, sizeof scratch);
    bool cutShort = reader.fail && !reader.eof;
    if (!inOverlongLine && !(reader.fail && reader.eof)) ++count;
    inOverlongLine = cutShort;
    if (reader.eof || reader.bad) return count;
  }
}

// The dry-run platform as the service at executablePath sees its machine.
DryRunPlatform ServicePlatform(const std::string& executablePath, unsigned codePage) {
  DryRunPlatform platform(codePage);
  platform.executablePath = executablePath;
  return platform;
}

// The options' service, with its folder as the service itself works it out
// on the check's platform, in use.
ServiceView ViewOf(const CheckOptions& options) {
  ServiceView service = options.service;
  PathBuffer directory;
  GetServiceDirectory(directory);
  service.serviceDirectory = directory;
  return service;
}

// Leaves out what a pipeline has judged, and counts the rest: the one place
// where either happens.
void Settle(const CheckOptions& options, std::vector<Finding>& findings, ListReport& report) {
  findings.erase(
      std::remove_if(findings.begin(), findings.end(),
                     [&](const Finding& f) { return options.ignored[static_cast<int>(f.code)]; }),
      findings.end());
  for (const Finding& finding : findings) {
    ++report.counts[static_cast<int>(Describe(finding.code).level)];
  }
}

// The list's own file name, as this machine writes paths.
std::string ListName(const std::string& list) {
#ifdef _WIN32
  return BaseName(list, "\\/");
#else
  return BaseName(list, "/");
#endif
}

}  // namespace

void BeginListCheck(const CheckOptions& options, ListReport& report, ListCheck& check) {
  check.options = &options;
  check.report = &report;
  report = ListReport();
  check.platform = ServicePlatform(options.service.executablePath, options.service.codePage);
  check.platform.systemDirectory = options.service.systemDirectory;
  UseDryRun use(check.platform);
  check.service = ViewOf(options);
  check.facts = ReadListFacts(options.bytes, check.service);
  PathBuffer listPath;
  GetListPath(listPath);
  report.serviceListPath = listPath;
  report.findings = options.installation;
  check.facts.name = ListName(options.list);
  check.facts.serviceListPath = report.serviceListPath;
  const LineSheet none{};
  Findings whole = JudgeList({none, check.service, check.facts});
  report.findings.insert(report.findings.end(), whole.begin(), whole.end());
  Settle(options, report.findings, report);
  check.platform.listBytes = &options.bytes;
  OpenList(check.input, options.list.c_str());
}

bool CheckNextLine(ListCheck& check, LineReport& line) {
  UseDryRun use(check.platform);
  ListReader& input = check.input;
  if (!ReaderGood(input)) return false;
  LineSheet sheet;
  sheet.number = ++check.report->lineCount;
  LineBuffer buffer;
  sheet.read.assign(buffer, ReadLine(input, buffer, sizeof buffer));
  sheet.finalRead = input.eof && input.fail;
  sheet.overlong = input.fail && !input.eof;
  if (sheet.overlong)
    sheet.linesNeverRead = check.report->linesNeverRead = CountLinesNeverRead(input);
  sheet.runEnds = !ReaderGood(input);
  BuildSheet(check.service, sheet);
  line.findings = check.facts.utf16 ? Findings() : JudgeLine({sheet, check.service, check.facts});
  Settle(*check.options, line.findings, *check.report);
  // What CreateProcessA runs: a file it cannot start, or one whose working
  // directory is missing, starts nothing.
  bool starts =
      Starts(sheet.starts, sheet.startsKind, check.service.runsDos) && sheet.directoryThere;
  // The sheet ends here: its texts move to the report.
  line.number = sheet.number;
  line.read = std::move(sheet.read);
  line.rule = sheet.rule;
  line.commandLine = std::move(sheet.commandLine);
  line.hasDirectory = sheet.hasDirectory;
  line.directory = std::move(sheet.directory);
  line.looked = sheet.looked;
  line.starts = starts ? std::move(sheet.starts) : std::string();
  return true;
}

void EndListCheck(ListCheck& check) {
  check.platform.listBytes = nullptr;
  check.options = nullptr;
}

std::string ExecutableNameFor(const std::string& listName) {
  if (listName.size() >= 4 && SameName(listName.substr(listName.size() - 4), ".dat")) {
    return listName.substr(0, listName.size() - 4) + ".exe";
  }
  return listName + ".exe";
}

std::string ExecutableBeside(const std::string& folder, const std::string& list) {
  return folder + "\\" + ExecutableNameFor(ListName(list));
}

const char* RuleName(CommandRule rule) {
  switch (rule) {
    case CommandRule::kInstallerPatch:
      return "installer patch";
    case CommandRule::kProgramWithPath:
      return "program with path";
    case CommandRule::kBareProgram:
      break;
  }
  return "bare program";
}

std::string FolderOf(const std::string& path, unsigned codePage) {
  std::string folder;
  std::string list;
  ServicePaths(path, codePage, folder, list);
  return folder;
}

void ServicePaths(const std::string& executablePath, unsigned codePage, std::string& folder,
                  std::string& list) {
  DryRunPlatform platform = ServicePlatform(executablePath, codePage);
  UseDryRun use(platform);
  PathBuffer buffer;
  GetServiceDirectory(buffer);
  folder = buffer;
  GetListPath(buffer);
  list = buffer;
}
