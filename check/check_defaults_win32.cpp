#include <windows.h>

#include <cwchar>

#include "check/check_defaults.h"
#include "check/list_check.h"
#include "platform/owned_handle_win32.h"
#include "service/service_name.h"

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

FileKind KindOfFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::kNone;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileKind::kFolder;
  // An executable image begins with "MZ", whatever its name.
  OwnedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  char start[2] = {};
  DWORD read = 0;
  if (file.handle == INVALID_HANDLE_VALUE ||
      !ReadFile(file.handle, start, sizeof start, &read, nullptr)) {
    return FileKind::kImage;  // there, but unreadable to us: no verdict on its content
  }
  return read == 2 && start[0] == 'M' && start[1] == 'Z' ? FileKind::kImage : FileKind::kOtherFile;
}

}  // namespace

FileKind (*const kTargetFileKind)(const std::string&) = KindOfFile;

bool ServicePathFolders(std::vector<std::string>& folders) {
  // Services get the machine's environment, not a user's; an expandable value is
  // expanded, as RRF_RT_REG_SZ alone asks.
  static char value[32767];
  DWORD size = sizeof value;
  if (RegGetValueA(HKEY_LOCAL_MACHINE,
                   "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", "Path",
                   RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
    return false;
  }
  std::string path = value;
  for (std::string::size_type at = 0; at <= path.size();) {
    std::string::size_type end = path.find(';', at);
    if (end == std::string::npos) end = path.size();
    if (end > at) folders.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  return true;
}

namespace {

// A value of the 64-bit view of HKLM, which a 32-bit program is otherwise
// shown another of; expandable values expanded. Empty when there is none.
std::string MachineValue(const char* subkey, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS) {
    return "";
  }
  char value[MAX_PATH] = "";
  DWORD size = sizeof value;
  LSTATUS status = RegGetValueA(key, nullptr, name, RRF_RT_REG_SZ, nullptr, value, &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? value : "";
}

std::string WithoutTrailingBackslash(std::string path) {
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace

MachineFolders DefaultMachineFolders() {
  MachineFolders machine;
  char path[MAX_PATH] = "";
  if (GetSystemWindowsDirectoryA(path, sizeof path) > 0) machine.windows = path;
  const char* version = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  machine.programFiles = MachineValue(version, "ProgramFilesDir");
  machine.programFilesX86 = MachineValue(version, "ProgramFilesDir (x86)");
  if (SameName(machine.programFilesX86, machine.programFiles)) machine.programFilesX86.clear();
  const char* profiles = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  machine.programData = MachineValue(profiles, "ProgramData");
  machine.users = MachineValue(profiles, "ProfilesDirectory");
  for (std::string* folder : {&machine.windows, &machine.programFiles, &machine.programFilesX86,
                              &machine.programData, &machine.users}) {
    *folder = WithoutTrailingBackslash(*folder);
  }
  return machine;
}

void ReadFolderFacts(const std::string& folder, FolderFacts& facts) {
  facts.known = true;
  facts.heldByCodePage = HeldByCodePage(folder);
  // The long name of the part that exists, and the rest as it is written.
  std::string existing = folder;
  std::string rest;
  char path[MAX_PATH] = "";
  DWORD length = 0;
  while ((length = GetLongPathNameA(existing.c_str(), path, sizeof path)) == 0 ||
         length >= sizeof path) {
    std::string::size_type backslash = existing.rfind('\\');
    if (backslash == std::string::npos || backslash < 3) break;
    rest.insert(0, existing, backslash, std::string::npos);
    existing.resize(backslash);
  }
  facts.longName =
      WithoutTrailingBackslash(length > 0 && length < sizeof path ? path + rest : folder);

  DWORD attributes = GetFileAttributesA(folder.c_str());
  facts.exists = attributes != INVALID_FILE_ATTRIBUTES;
  facts.link = facts.exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  facts.file = facts.exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  WIN32_FIND_DATAA found;
  OwnedSearch search(FindFirstFileA((folder + "\\*").c_str(), &found));
  if (search.handle != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) name += "\\";
      facts.entries.push_back(name);
    } while (FindNextFileA(search.handle, &found));
  }

  // A manager that cannot be asked counts as no service: the stricter answer.
  OwnedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  OwnedServiceHandle service(
      manager.handle ? OpenServiceA(manager.handle, kServiceName, SERVICE_QUERY_STATUS) : nullptr);
  DWORD error = GetLastError();
  facts.serviceRegistered =
      service.handle != nullptr || (manager.handle != nullptr && error == ERROR_ACCESS_DENIED);
}
