#include <algorithm>
#include <iostream>
#include <vector>

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

std::string JudgeListToInstall(const std::string& list) {
  std::string bytes;
  std::string error;
  if (list.find('"') != std::string::npos) return "it holds a double quote";
  if (!ReadList(list, bytes, error)) return error;
  return kTargetChangeable != nullptr ? kTargetChangeable(list, TrustedHere()) : "";
}

int CheckListInto(ToolOptions& tool, const std::string& list, const std::string& folder) {
  CheckOptions& options = tool.check;
  const std::string canonical = CanonicalFolder(folder);
  const std::string into = canonical.empty() ? folder : canonical;
  options.service.executablePath = into + "\\starter.exe";
  options.service.filesFrom = FolderOf(list, options.service.codePage);
  tool.executableGiven = true;
  tool.failOnWarnings = false;
  // A file of the job there that the new one does not bring is gone when
  // it runs: a line that needs it fails on a fresh machine, and so here.
  std::string text;
  std::string error;
  JobRecord record;
  const auto look = options.service.fileKind;
  if (look && ReadList(InFolder(into, kJobRecordName), text, error) &&
      ParseJobRecord(text, record)) {
    std::vector<std::string> leaving;
    for (const std::string& name : RecordedNames(record)) {
      if (!IsFile(look(InFolder(options.service.filesFrom, name)))) {
        leaving.push_back(InFolder(into, name));
      }
    }
    options.service.fileKind = [look, leaving](const std::string& path) {
      bool gone = std::any_of(leaving.begin(), leaving.end(),
                              [&](const std::string& one) { return SameName(one, path); });
      return gone ? FileKind::kNone : look(path);
    };
  }
  return CheckOneList(tool, list, true);
}

// --service-folder: the folder rule, as the installation asks it, and the
// list to be installed there. What it says goes to standard output.
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
  if (list.empty() && !tool.withList.empty() &&
      CheckListInto(tool, tool.withList, tool.folder) != 0) {
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

// --source-folder: whether an installation may copy from a folder.
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
