#include <windows.h>

#include "check/check_defaults.h"
#include "check/list_check.h"

std::string DefaultExecutablePath(const std::string& list) {
  char full[MAX_PATH] = "";
  char* name = nullptr;
  DWORD length = GetFullPathNameA(list.c_str(), sizeof full, full, &name);
  if (length == 0 || length >= sizeof full || name == nullptr) {
    return "C:\\Svc\\" + ExecutableNameFor(list);
  }
  std::string folder(full, name);
  return folder + ExecutableNameFor(name);
}

std::string DefaultSystemDirectory() {
  char directory[MAX_PATH] = "";
  UINT length = GetSystemDirectoryA(directory, sizeof directory);
  return length > 0 && length < sizeof directory ? directory : "C:\\WINDOWS\\system32";
}

unsigned DefaultCodePage() {
  return GetACP();
}

namespace {
bool PathExists(const std::string& path, bool directory) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == directory;
}
}  // namespace

bool (*const kTargetPathExists)(const std::string&, bool) = PathExists;
