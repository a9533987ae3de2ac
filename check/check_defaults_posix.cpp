#include "check/check_defaults.h"
#include "check/list_check.h"

std::string DefaultExecutablePath(const std::string& list) {
  return kDefaultFolder + std::string("\\") +
         ExecutableNameFor(list.substr(list.find_last_of('/') + 1));
}

std::string DefaultSystemDirectory() {
  return "C:\\WINDOWS\\system32";
}

unsigned DefaultCodePage() {
  return 1252;
}

bool HeldByCodePage(const std::string&) {
  return true;
}

FileKind (*const kTargetFileKind)(const std::string&) = nullptr;

bool ServicePathFolders(std::vector<std::string>&) {
  return false;
}

MachineFolders DefaultMachineFolders() {
  return {"C:\\WINDOWS", "C:\\Program Files", "C:\\Program Files (x86)", "C:\\ProgramData",
          "C:\\Users"};
}

void ReadFolderFacts(const std::string&, FolderFacts&) {}

std::string (*const kTargetChangeable)(const std::string&) = nullptr;

bool MakeServiceFolder(const std::string&, std::string& error) {
  error = "only starter-check.exe, on Windows, can make it";
  return false;
}

void ReadInstalledFacts(InstalledFacts&) {}
