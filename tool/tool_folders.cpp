#include <iostream>

#include "install/job_record.h"
#include "tool/check_defaults.h"
#include "tool/check_output.h"
#include "tool/tool_options.h"

FolderFacts FactsOf(const std::string& folder, bool update) {
  FolderFacts facts;
  std::string canonical = CanonicalFolder(folder);
  ReadFolderFacts(canonical.empty() ? folder : canonical, facts);
  if (update) {
    facts.serviceRegistered = true;
    facts.installedIn = canonical;
  }
  facts.heldByCodePage = HeldByCodePage(folder);
  // The files of its job are the installation's too.
  std::string record;
  std::string list;
  if (facts.exists && !canonical.empty()) {
    std::string error;
    bool recorded = ReadList(canonical + "\\" + kJobRecordName, record, error);
    bool listed = ReadList(canonical + "\\starter.dat", list, error);
    facts.jobFiles = JobFilesOf(recorded ? &record : nullptr, listed ? &list : nullptr, canonical,
                                DefaultCodePage());
  }
  return facts;
}

namespace {

// Why the list to be installed is refused, or empty: it must be there,
// readable, with no quote, which the package could not pass whole, and on
// Windows out of others' reach, as the folder is.
std::string JudgeListToInstall(const std::string& list) {
  std::string bytes;
  std::string error;
  if (list.find('"') != std::string::npos) return "it holds a double quote";
  if (!ReadList(list, bytes, error)) return error;
  return kTargetChangeable != nullptr ? kTargetChangeable(list, TrustedHere()) : "";
}

// The list to be installed into folder, checked as the service there will
// read it, with the files it names taken from the list's own folder: false
// when it has errors or cannot be read, which the report shows.
bool ListInstallable(ToolOptions& tool, const std::string& folder) {
  CheckOptions& options = tool.check;
  options.service.executablePath = CanonicalFolder(folder) + "\\starter.exe";
  options.service.filesFrom = FolderOf(tool.withList, options.service.codePage);
  tool.executableGiven = true;
  tool.failOnWarnings = false;
  return CheckOneList(tool, tool.withList, true) == 0;
}

}  // namespace

// The folder rule, for install.cmd, uninstall.cmd and the package. What it
// says goes to standard output, where the scripts show it as it is.
int JudgeFolder(ToolOptions& tool) {
  const MachineFolders machine = DefaultMachineFolders();
  const FolderUse use = tool.purge ? FolderUse::kPurge : FolderUse::kInstall;
  FolderFacts facts = FactsOf(tool.folder, tool.update);
  std::string leftover;
  std::string why = JudgeServiceFolder(tool.folder, use, machine, facts, &leftover);
  const std::string folder = "\"" + ShowBytes(tool.folder) + "\"";
  if (!why.empty()) {
    std::cout << (tool.purge ? "keeping " : "refusing ") << folder << ": " << ShowBytes(why)
              << "\n";
    return 1;
  }
  std::string list = tool.withList.empty() ? "" : JudgeListToInstall(tool.withList);
  if (list.empty() && !tool.withList.empty() && !ListInstallable(tool, tool.folder)) {
    list = "it has errors, shown above";
  }
  if (!list.empty()) {
    std::cout << "refusing the list " << ShowBytes(tool.withList) << ": " << ShowBytes(list)
              << "\n";
    return 1;
  }
  if (tool.purge) {
    std::cout << folder
              << (leftover.empty() ? " holds only what the installation put there"
                                   : ": the installation's files may go; " + ShowBytes(leftover) +
                                         ", which stays")
              << "\n";
  } else {
    std::cout << folder << " may serve as the service's folder"
              << (facts.known ? ""
                              : "; what it holds was not looked at: only starter-check.exe "
                                "on the target machine can see it")
              << "\n";
  }
  return 0;
}

// Whether an installation may copy from a folder: install.cmd's own.
int JudgeSource(const ToolOptions& tool) {
  FolderFacts facts = FactsOf(tool.source, false);
  std::string why = JudgeSourceFolder(facts);
  const std::string folder = "\"" + ShowBytes(tool.source) + "\"";
  if (!why.empty()) {
    std::cout << "refusing to install from " << folder << ": " << ShowBytes(why) << "\n";
    return 1;
  }
  std::cout << "an installation may copy from " << folder
            << (facts.known ? ""
                            : "; who can change it was not looked at: only "
                              "starter-check.exe on the target machine can see it")
            << "\n";
  return 0;
}
