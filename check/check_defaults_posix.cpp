#include "check/check_defaults.h"
#include "check/list_check.h"

std::string DefaultExecutablePath(const std::string& list) {
  return ExecutableBeside(kDefaultFolder, list);
}

std::string DefaultSystemDirectory() {
  return kDefaultSystemDirectory;
}

unsigned DefaultCodePage() {
  return kDefaultCodePage;
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
