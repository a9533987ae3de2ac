// Who can change what on this machine: the real security descriptors of
// files, folders, the service and its registry key, and the accounts that
// are administrators here, read for the access model.
#include <windows.h>
// clang-format off
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include "check/check_defaults.h"
#include "check/machine_accounts_win32.h"
#include "platform/owned_handle_win32.h"
#include "service/service_name.h"

namespace {

const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\";

std::string ErrorText(DWORD error) {
  return "error " + std::to_string(error);
}

std::string SidText(PSID sid) {
  char* text = nullptr;
  if (sid == nullptr || !ConvertSidToStringSidA(sid, &text)) return "";
  std::string result = text;
  LocalFree(text);
  return result;
}

// The owner and DACL of a descriptor the system returned.
SecurityDescriptor DescriptorOf(PSECURITY_DESCRIPTOR binary) {
  SecurityDescriptor descriptor;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (GetSecurityDescriptorOwner(binary, &owner, &defaulted)) descriptor.owner = SidText(owner);
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(binary, &present, &dacl, &defaulted) || !present ||
      dacl == nullptr) {
    descriptor.nullDacl = true;
    return descriptor;
  }
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* raw = nullptr;
    if (!GetAce(dacl, i, &raw)) continue;
    auto* header = static_cast<ACE_HEADER*>(raw);
    // The allowed and denied kinds share one layout, their callback kinds
    // too. A conditional allow may grant, so it counts; a conditional deny
    // may not deny, so it does not.
    bool allow = header->AceType == ACCESS_ALLOWED_ACE_TYPE ||
                 header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
    if (!allow && header->AceType != ACCESS_DENIED_ACE_TYPE) continue;
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    descriptor.dacl.push_back(
        {allow, header->AceFlags, ace->Mask, SidText(reinterpret_cast<PSID>(&ace->SidStart))});
  }
  return descriptor;
}

bool ReadNamedDescriptor(const std::string& name, SE_OBJECT_TYPE type,
                         SecurityDescriptor& descriptor, std::string& error) {
  PSECURITY_DESCRIPTOR binary = nullptr;
  DWORD status = GetNamedSecurityInfoA(name.c_str(), type,
                                       OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, nullptr, nullptr, &binary);
  if (status != ERROR_SUCCESS) {
    error = ErrorText(status);
    return false;
  }
  descriptor = DescriptorOf(binary);
  LocalFree(binary);
  return true;
}

bool NotThere(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A file or folder, or false when it is not there.
bool ReadObject(const std::string& path, ObjectFacts& object) {
  object.path = path;
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    if (NotThere(error)) return false;
    object.unreadable = "its attributes cannot be read, " + ErrorText(error);
    return true;
  }
  object.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  object.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  std::string error;
  if (!ReadNamedDescriptor(path, SE_FILE_OBJECT, object.descriptor, error)) {
    object.unreadable = error;
  }
  return true;
}

// Where each folder of a path ends: every backslash that is a character of
// its own in the ANSI code page, not the second byte of a double-byte one.
std::vector<std::string::size_type> Separators(const std::string& path) {
  std::vector<std::string::size_type> at;
  for (std::string::size_type i = 0; i < path.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i]))) {
      ++i;
    } else if (path[i] == '\\') {
      at.push_back(i);
    }
  }
  return at;
}

// The paths of the root and of every folder down to path: "C:\", "C:\A",
// "C:\A\B"; "\\server\share\" first for a UNC path.
std::vector<std::string> Ancestry(const std::string& path) {
  std::vector<std::string::size_type> separators = Separators(path);
  std::size_t root = path.compare(0, 2, "\\\\") == 0 ? 3 : 0;  // \\server\share\ ends there
  std::vector<std::string> paths;
  if (separators.size() <= root) return {path};
  paths.push_back(path.substr(0, separators[root] + 1));
  for (std::size_t i = root + 1; i < separators.size(); ++i) {
    paths.push_back(path.substr(0, separators[i]));
  }
  if (separators.back() + 1 < path.size()) paths.push_back(path);
  return paths;
}

std::string WithoutTrailingBackslash(std::string path) {
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

// Lists what folder holds into facts, at any depth, each after its folder.
// False when it cannot be listed whole.
bool ListContents(const std::string& folder, int parent, FolderFacts& facts) {
  const std::size_t kMost = 4096;  // far more than an installation holds
  WIN32_FIND_DATAA found;
  OwnedSearch search(FindFirstFileA((folder + "\\*").c_str(), &found));
  if (search.handle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return true;
    facts.unreadable = "what " + folder + " holds cannot be listed, " + ErrorText(error);
    return false;
  }
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (facts.contents.size() == kMost) {
      facts.unreadable = "it holds more than " + std::to_string(kMost) + " files and folders";
      return false;
    }
    bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (parent < 0) facts.entries.push_back(isFolder ? name + "\\" : name);
    ObjectFacts object;
    if (!ReadObject(folder + "\\" + name, object)) continue;  // gone meanwhile
    object.parent = parent;
    facts.contents.push_back(object);
    // A link's target is not followed: the link itself is refused.
    if (object.folder && !object.link &&
        !ListContents(object.path, static_cast<int>(facts.contents.size()) - 1, facts)) {
      return false;
    }
  } while (FindNextFileA(search.handle, &found));
  return true;
}

// A value of the service's registry key; empty when there is none.
std::string ServiceValue(const char* name) {
  char value[1024] = "";
  DWORD size = sizeof value;
  std::string key = std::string(kServiceKey) + kServiceName;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS) {
    return "";
  }
  return value;
}

// The file or folder at path and every folder above it, the root first, as
// far as they exist; false when path itself does not.
bool ReadChain(const std::string& path, std::vector<ObjectFacts>& chain) {
  for (const std::string& part : Ancestry(path)) {
    ObjectFacts object;
    if (!ReadObject(part, object)) return false;
    object.path = WithoutTrailingBackslash(part);
    chain.push_back(object);
  }
  return true;
}

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
  facts.trusted = MachineTrusted();
  facts.heldByCodePage = HeldByCodePage(folder);
  // The long name of the part that exists, and the rest as it is written.
  std::string existing = folder;
  std::string rest;
  char path[MAX_PATH] = "";
  DWORD length = 0;
  while ((length = GetLongPathNameA(existing.c_str(), path, sizeof path)) == 0 ||
         length >= sizeof path) {
    std::vector<std::string::size_type> separators = Separators(existing);
    std::string::size_type backslash = separators.empty() ? 0 : separators.back();
    if (backslash < 3) break;
    rest.insert(0, existing, backslash, std::string::npos);
    existing.resize(backslash);
  }
  facts.longName =
      WithoutTrailingBackslash(length > 0 && length < sizeof path ? path + rest : folder);

  DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES && !NotThere(GetLastError())) {
    facts.unreadable =
        "its attributes cannot be read, " + ErrorText(GetLastError()) + ", so it cannot be judged";
    return;
  }
  facts.exists = attributes != INVALID_FILE_ATTRIBUTES;
  facts.link = facts.exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  facts.file = facts.exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  ReadChain(folder, facts.chain);
  if (facts.exists && !facts.file && !facts.link) ListContents(folder, -1, facts);

  // A manager that cannot be asked counts as a service in another folder: the stricter answer.
  OwnedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  OwnedServiceHandle service(
      manager.handle ? OpenServiceA(manager.handle, kServiceName, SERVICE_QUERY_STATUS) : nullptr);
  DWORD error = GetLastError();
  facts.serviceRegistered =
      service.handle != nullptr || (manager.handle != nullptr && error == ERROR_ACCESS_DENIED);
  std::string program = ImageProgram(ServiceValue("ImagePath"));
  std::vector<std::string::size_type> separators = Separators(program);
  if (facts.serviceRegistered && !separators.empty()) {
    facts.installedIn = program.substr(0, separators.back());
  }
}

namespace {

std::string ChangeableOnTarget(const std::string& path) {
  std::vector<ObjectFacts> chain;
  if (!ReadChain(path, chain)) return "";  // not there: missing-program says so
  return JudgeChain(chain, 2, MachineTrusted());
}

}  // namespace

std::string (*const kTargetChangeable)(const std::string&) = ChangeableOnTarget;

bool MakeServiceFolder(const std::string& folder, std::string& error) {
  // The folders above it that are missing take their access from theirs.
  std::vector<std::string> above = Ancestry(folder);
  for (std::size_t i = 1; i + 1 < above.size(); ++i) {
    if (!CreateDirectoryA(above[i].c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      error = "cannot make " + above[i] + ", " + ErrorText(GetLastError());
      return false;
    }
  }
  // Administrators own it, and only they and SYSTEM may use it, from the
  // moment it exists: no one else ever holds a handle to it.
  for (const char* sddl :
       {"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)"}) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
      error = "cannot build its access list, " + ErrorText(GetLastError());
      return false;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    BOOL made = CreateDirectoryA(folder.c_str(), &attributes);
    DWORD status = made ? ERROR_SUCCESS : GetLastError();
    LocalFree(descriptor);
    if (made) return true;
    if (status == ERROR_ALREADY_EXISTS) {
      error = "someone made it while it was being judged";
      return false;
    }
    // A token that may not name Administrators as owner: the creator owns it.
    if (status != ERROR_INVALID_OWNER) {
      error = "cannot make it, " + ErrorText(status);
      return false;
    }
  }
  error = "cannot make it";
  return false;
}

void ReadInstalledFacts(InstalledFacts& facts) {
  facts.trusted = MachineTrusted();
  OwnedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  OwnedServiceHandle service(
      manager.handle ? OpenServiceA(manager.handle, kServiceName, READ_CONTROL) : nullptr);
  facts.registered = service.handle != nullptr;
  if (!facts.registered) return;
  facts.imagePath = ServiceValue("ImagePath");
  // The path as the service's ANSI calls will see it: whole, or with a
  // character the code page lacks replaced.
  wchar_t wide[1024] = L"";
  DWORD size = sizeof wide;
  std::string key = std::string(kServiceKey) + kServiceName;
  BOOL replaced = FALSE;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, std::wstring(key.begin(), key.end()).c_str(), L"ImagePath",
                   RRF_RT_REG_SZ, nullptr, wide, &size) == ERROR_SUCCESS) {
    char narrow[1024];
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, narrow, sizeof narrow, nullptr,
                        &replaced);
  }
  facts.heldByCodePage = !replaced;
  facts.account = ServiceValue("ObjectName");
  static BYTE binary[65536];
  DWORD needed = 0;
  if (QueryServiceObjectSecurity(service.handle,
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, binary,
                                 sizeof binary, &needed)) {
    facts.service = DescriptorOf(binary);
  } else {
    facts.serviceUnreadable = ErrorText(GetLastError());
  }
  ReadNamedDescriptor("MACHINE\\" + key, SE_REGISTRY_KEY, facts.key, facts.keyUnreadable);
}
