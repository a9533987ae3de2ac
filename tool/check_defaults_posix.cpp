#include "lint/list_check.h"
#include "tool/check_defaults.h"

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

void TargetBitness(bool& wow64, bool& runsDos) {
  wow64 = false;
  runsDos = true;
}

bool ServicePathFolders(std::vector<std::string>&) {
  return false;
}
