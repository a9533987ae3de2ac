// --installed: the service's registration, its folder and its list, as this
// machine has them.
#include <sys/stat.h>

#include <cerrno>
#include <iostream>

#include "access/machine_access.h"
#include "lint/installed_audit.h"
#include "tool/check_defaults.h"
#include "tool/tool_options.h"

// --installed: the registration as this machine has it, the folder by the
// folder rule as an update finds it, then the list the service reads there.
int AuditInstalled(ToolOptions& tool) {
  InstalledFacts facts;
  ReadInstalledFacts(facts);
  if (!facts.registered) {
    std::cerr << "starter-check: the service is not installed on this machine\n";
    return 2;
  }
  const std::string program = ImageProgram(facts.imagePath);
  std::string folder;
  std::string list;
  ServicePaths(program, tool.check.service.codePage, folder, list);
  FolderFacts folderFacts = FactsOf(folder, true);
  folderFacts.heldByCodePage =
      facts.heldByCodePage;  // it came from the registry, not the command line
  const std::string verdict =
      JudgeServiceFolder(folder, FolderUse::kInstall, DefaultMachineFolders(), folderFacts);
  CheckOptions& options = tool.check;
  options.installed = true;
  options.imagePath = facts.imagePath;
  options.account = facts.account.empty() ? "LocalSystem" : facts.account;
  struct stat status;
  const bool missing = stat(list.c_str(), &status) != 0 && errno == ENOENT;
  options.installation = AuditInstallation({facts, verdict, missing ? list : ""});
  options.service.executablePath = program;
  tool.executableGiven = true;
  return CheckOneList(tool, list, true);
}
