// The gate every installation passes: the list, as the service in the
// folder will read it here, with the job it brings in place of the old one.
#include <algorithm>
#include <sstream>
#include <vector>

#include "install/file_steps_win32.h"
#include "install/installation.h"
#include "install/job_record.h"
#include "paths/windows_paths.h"
#include "tool/tool_options.h"

int CheckListForFolder(const std::string& list, const std::string& folder, std::ostream& out) {
  ToolOptions tool;
  tool.out = &out;
  ChooseMachine(tool);
  CheckOptions& options = tool.check;
  options.service.executablePath = folder + "\\starter.exe";
  options.service.filesFrom = list.substr(0, list.find_last_of('\\'));
  tool.executableGiven = true;
  tool.failOnWarnings = false;
  // A file of the old job that the new one does not bring is gone when it
  // runs: a line that needs it fails on a fresh machine, and here too.
  auto look = options.service.fileKind;
  std::vector<std::string> leaving;
  for (const std::string& name : RecordedJobFiles(folder)) {
    if (!IsFile(look(options.service.filesFrom + "\\" + name))) {
      leaving.push_back(InFolder(folder, name));
    }
  }
  options.service.fileKind = [look, leaving](const std::string& path) {
    bool gone = std::any_of(leaving.begin(), leaving.end(),
                            [&](const std::string& one) { return SameName(one, path); });
    return gone ? FileKind::kNone : look(path);
  };
  return CheckOneList(tool, list, true);
}

bool AuditHere(std::ostream& out) {
  ToolOptions audit;
  std::ostringstream report;
  audit.out = &report;
  audit.installed = true;
  audit.failOnInstallation = true;
  ChooseMachine(audit);
  if (AuditInstalled(audit) < 2) return true;
  out << report.str();
  return false;
}
