// The gate every installation passes: the list, as the service in the
// folder will read it here, with the job it brings in place of the old one.
#include <sstream>

#include "install/installation.h"
#include "tool/tool_options.h"

int CheckListForFolder(const std::string& list, const std::string& folder, std::ostream& out) {
  ToolOptions tool;
  tool.out = &out;
  ChooseMachine(tool);
  return CheckListInto(tool, list, folder);
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
