#include <windows.h>

#include <cwchar>

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

bool HeldByCodePage(const std::string& argument) {
  // A character the code page lacks reaches the program as '?' or a
  // look-alike, so the argument, turned back, is not in the real command line.
  int length = MultiByteToWideChar(CP_ACP, 0, argument.c_str(), -1, nullptr, 0);
  if (length <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, argument.c_str(), -1, &wide[0], length);
  wide.resize(static_cast<std::size_t>(length) - 1);
  return std::wcsstr(GetCommandLineW(), wide.c_str()) != nullptr;
}

namespace {
bool PathExists(const std::string& path, bool directory) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == directory;
}
}  // namespace

bool (*const kTargetPathExists)(const std::string&, bool) = PathExists;
