#include "lint/installed_audit.h"

#include "paths/windows_paths.h"
#include "text/string_helpers.h"

namespace {

// Who may change an object of the service's, as a finding's message.
void AddChangers(std::vector<Finding>& findings, Code code, const SecurityDescriptor& descriptor,
                 ObjectType type, const std::string& unreadable, const InstalledFacts& facts,
                 const std::string& what) {
  if (!unreadable.empty()) {
    findings.push_back({code, "who can change " + what + " cannot be read: " + unreadable});
    return;
  }
  std::vector<Changer> changers = WhoCanChange(descriptor, type, nullptr, facts.trusted);
  if (!changers.empty()) {
    findings.push_back({code, "others than administrators can change " + what + ": " +
                                  DescribeChangers(changers, type, facts.trusted.nameOf)});
  }
}

}  // namespace

std::vector<Finding> AuditInstallation(const InstalledFacts& facts,
                                       const std::string& folderVerdict) {
  std::vector<Finding> findings;
  const std::string program = ImageProgram(facts.imagePath);
  if (!IsFullWindowsPath(program)) {
    findings.push_back({Code::kUnquotedImagePath, "the image path, " + facts.imagePath +
                                                      ", names no program by a full path"});
  } else if (ImagePathSplits(facts.imagePath)) {
    findings.push_back({Code::kUnquotedImagePath,
                        "the image path, " + facts.imagePath +
                            ", has a space and no quotes: Windows tries " +
                            program.substr(0, program.find_first_of(" \t")) +
                            " first, and whoever can put a program there runs it as SYSTEM"});
  }
  if (!facts.account.empty() && !SameName(facts.account, "LocalSystem")) {
    findings.push_back({Code::kServiceAccount,
                        "the service runs as " + facts.account +
                            ", not LocalSystem: what its list starts runs as that account"});
  }
  AddChangers(findings, Code::kServiceAccess, facts.service, ObjectType::kService,
              facts.serviceUnreadable, facts, "the service's configuration");
  for (const KeyFacts& key : facts.keys) {
    AddChangers(findings, Code::kRegistryAccess, key.descriptor, ObjectType::kRegistryKey,
                key.unreadable, facts,
                key.name.empty() ? "the service's registry key"
                                 : "the key " + key.name + " below the service's registry key");
  }
  if (!folderVerdict.empty()) {
    findings.push_back(
        {Code::kFolderRule, "the service's folder fails the folder rule: " + folderVerdict});
  }
  return findings;
}
