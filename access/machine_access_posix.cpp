// Off Windows the machine cannot be seen: nothing is known of it.
#include "access/machine_access.h"

MachineFolders DefaultMachineFolders() {
  return {"C:\\WINDOWS", "C:\\Program Files", "C:\\Program Files (x86)", "C:\\ProgramData",
          "C:\\Users"};
}

void ReadFolderFacts(const std::string&, FolderFacts&) {}

std::string (*const kTargetChangeable)(const std::string&, const Trusted&) = nullptr;

Trusted TrustedHere() {
  return Trusted();
}

void ReadInstalledFacts(InstalledFacts&) {}

bool ServiceRegistered(std::string& folder) {
  folder.clear();
  return false;
}
