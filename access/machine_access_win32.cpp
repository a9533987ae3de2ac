// Who can change what on this machine: the real security descriptors of
// files, folders, the service and its registry keys, each read from a handle
// opened without following a link, for the access model.
#include <windows.h>
// clang-format off
#include <aclapi.h>
#include <sddl.h>
// clang-format on

#include "access/binary_acl.h"
#include "access/file_object_win32.h"
#include "access/machine_access.h"
#include "access/machine_accounts_win32.h"
#include "paths/windows_paths.h"
#include "service/service_name.h"

namespace {

std::string ErrorText(unsigned long error) {
  return "error " + std::to_string(error);
}

std::string OwnerText(PSID sid) {
  char* text = nullptr;
  if (sid == nullptr || !ConvertSidToStringSidA(sid, &text)) return "";
  std::string result = text;
  LocalFree(text);
  return result;
}

}  // namespace

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

SecurityDescriptor ReadDescriptor(PSECURITY_DESCRIPTOR binary) {
  SecurityDescriptor descriptor;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (GetSecurityDescriptorOwner(binary, &owner, &defaulted)) descriptor.owner = OwnerText(owner);
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(binary, &present, &dacl, &defaulted) || !present ||
      dacl == nullptr) {
    descriptor.nullDacl = true;
    return descriptor;
  }
  // An ACL that cannot be read is read as open to all: the stricter answer.
  if (!ReadBinaryAcl(reinterpret_cast<const unsigned char*>(dacl), dacl->AclSize,
                     descriptor.dacl)) {
    descriptor.dacl.clear();
    descriptor.nullDacl = true;
  }
  return descriptor;
}

namespace {

bool ReadHandleDescriptor(HANDLE handle, SE_OBJECT_TYPE type, SecurityDescriptor& descriptor,
                          std::string& error) {
  PSECURITY_DESCRIPTOR binary = nullptr;
  DWORD status =
      GetSecurityInfo(handle, type, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                      nullptr, nullptr, nullptr, &binary);
  if (status != ERROR_SUCCESS) {
    error = ErrorText(status);
    return false;
  }
  descriptor = ReadDescriptor(binary);
  LocalFree(binary);
  return true;
}

bool NotThere(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A final path as a DOS path: "\\?\C:\x" as "C:\x", "\\?\UNC\s\x" as "\\s\x".
std::string FinalPath(HANDLE handle) {
  char path[1024] = "";
  DWORD length = GetFinalPathNameByHandleA(handle, path, sizeof path, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= sizeof path) return "";
  std::string text = path;
  if (text.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\" + text.substr(7);
  if (text.compare(0, 4, "\\\\?\\") == 0) return text.substr(4);
  return text;
}

// Where a 32-bit program's path really leads under WoW64: System32 to the
// 32-bit system folder, Sysnative to the real System32.
std::string Redirected(const std::string& path) {
  BOOL wow64 = FALSE;
  char system[MAX_PATH] = "";
  char wow[MAX_PATH] = "";
  char windows[MAX_PATH] = "";
  if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64 ||
      GetSystemDirectoryA(system, sizeof system) == 0 ||
      GetSystemWow64DirectoryA(wow, sizeof wow) == 0 ||
      GetSystemWindowsDirectoryA(windows, sizeof windows) == 0) {
    return path;
  }
  const std::string sysnative = WithoutTrailingBackslash(windows) + "\\Sysnative";
  for (const auto& [from, to] : {std::pair<std::string, std::string>(system, wow),
                                 std::pair<std::string, std::string>(sysnative, system)}) {
    if (path.size() >= from.size() && SameName(path.substr(0, from.size()), from) &&
        (path.size() == from.size() || path[from.size()] == '\\')) {
      return to + path.substr(from.size());
    }
  }
  return path;
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

// Lists what an open folder holds into facts, at any depth, each after its
// folder, through the handles judged. False when it cannot be listed whole.
bool ListContents(const FileObject& folder, int parent, FolderFacts& facts) {
  const std::size_t kMost = 4096;  // far more than an installation holds
  std::vector<FolderEntry> entries;
  if (!ListOpenedFolder(folder.handle.handle, entries)) {
    facts.unreadable =
        "what " + folder.facts.path + " holds cannot be listed, " + ErrorText(GetLastError());
    return false;
  }
  for (const FolderEntry& entry : entries) {
    if (facts.contents.size() == kMost) {
      facts.unreadable = "it holds more than " + std::to_string(kMost) + " files and folders";
      return false;
    }
    const bool isFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (parent < 0) facts.entries.push_back(isFolder ? entry.name + "\\" : entry.name);
    FileObject object;
    if (!OpenFileObject(folder.facts.path + "\\" + entry.name, isFolder ? FILE_LIST_DIRECTORY : 0,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, object)) {
      continue;  // gone meanwhile
    }
    object.facts.link = object.facts.link || (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    object.facts.parent = parent;
    facts.contents.push_back(object.facts);
    // A link's target is not followed: the link itself is refused.
    if (object.facts.folder && !object.facts.link && object.facts.unreadable.empty() &&
        !ListContents(object, static_cast<int>(facts.contents.size()) - 1, facts)) {
      return false;
    }
  }
  return true;
}

// The file or folder at path and every folder above it, the root first, as
// far as they exist; false when path itself does not.
bool ReadChain(const std::string& path, std::vector<ObjectFacts>& chain) {
  for (const std::string& part : Ancestry(path)) {
    FileObject object;
    if (!OpenFileObject(part, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, object)) {
      return false;
    }
    object.facts.path = WithoutTrailingBackslash(part);
    chain.push_back(object.facts);
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

std::string ChangeableOnTarget(const std::string& path, const Trusted& trusted) {
  if (KindOfPath(path) == PathKind::kDevice) return "";  // never opened: it may wait for ever
  std::vector<ObjectFacts> chain;
  if (!ReadChain(path, chain)) return "";  // not there: missing-program says so
  return JudgeChain(chain, 2, trusted);
}

}  // namespace

bool OpenFileObject(const std::string& path, DWORD access, DWORD share, FileObject& object) {
  object.facts = ObjectFacts();
  object.facts.path = path;
  object.handle = OwnedHandle(CreateFileA(
      path.c_str(), access | READ_CONTROL | FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (object.handle.handle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (NotThere(error)) return false;
    object.facts.unreadable = "it cannot be opened, " + ErrorText(error);
    return true;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(object.handle.handle, &information)) {
    object.facts.unreadable = "its attributes cannot be read, " + ErrorText(GetLastError());
    return true;
  }
  object.facts.folder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  object.facts.names = information.nNumberOfLinks;
  object.facts.link = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  // Where it really lies: Wine follows a file link even here, and shows it only so.
  char longName[MAX_PATH] = "";
  DWORD length = GetLongPathNameA(path.c_str(), longName, sizeof longName);
  std::string expected = length > 0 && length < sizeof longName ? longName : path;
  std::string final = FinalPath(object.handle.handle);
  if (!final.empty() &&
      !SameName(WithoutTrailingBackslash(final), WithoutTrailingBackslash(Redirected(expected)))) {
    object.facts.link = true;
    object.facts.leadsTo = final;
  }
  std::string error;
  if (!ReadHandleDescriptor(object.handle.handle, SE_FILE_OBJECT, object.facts.descriptor, error)) {
    object.facts.unreadable = error;
  }
  return true;
}

bool ListOpenedFolder(HANDLE folder, std::vector<FolderEntry>& entries) {
  alignas(8) BYTE buffer[65536];
  for (auto kind = FileIdBothDirectoryRestartInfo;
       GetFileInformationByHandleEx(folder, kind, buffer, sizeof buffer);
       kind = FileIdBothDirectoryInfo) {
    for (BYTE* at = buffer;;) {
      auto* entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(at);
      char name[MAX_PATH * 2] = "";
      int length = WideCharToMultiByte(CP_ACP, 0, entry->FileName,
                                       static_cast<int>(entry->FileNameLength / sizeof(WCHAR)),
                                       name, sizeof name - 1, nullptr, nullptr);
      std::string text(name, length > 0 ? static_cast<std::size_t>(length) : 0);
      if (text != "." && text != ".." && !text.empty()) {
        entries.push_back({text, entry->FileAttributes});
      }
      if (entry->NextEntryOffset == 0) break;
      at += entry->NextEntryOffset;
    }
  }
  return GetLastError() == ERROR_NO_MORE_FILES;
}

std::string ReadOpened(HANDLE file) {
  std::string bytes;
  char chunk[65536];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) bytes.append(chunk, read);
  return bytes;
}

std::string RealFolderOf(HANDLE handle) {
  std::string final = FinalPath(handle);
  std::vector<std::string::size_type> separators = Separators(final);
  return separators.empty() ? "" : WithoutTrailingBackslash(final.substr(0, separators.back() + 1));
}

PSECURITY_DESCRIPTOR DescriptorFromSddl(const char* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return nullptr;
  }
  return descriptor;
}

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

  FileObject object;
  facts.exists = OpenFileObject(folder, FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, object);
  if (facts.exists && !object.facts.unreadable.empty()) {
    facts.unreadable =
        "it cannot be read (" + object.facts.unreadable + "), so it cannot be judged";
    return;
  }
  facts.link = facts.exists && object.facts.link;
  facts.leadsTo = object.facts.leadsTo;
  facts.file = facts.exists && !object.facts.folder;
  ReadChain(folder, facts.chain);
  if (facts.exists && !facts.file && !facts.link) ListContents(object, -1, facts);
  facts.serviceRegistered = ServiceRegistered(facts.installedIn);
}

std::string (*const kTargetChangeable)(const std::string&, const Trusted&) = ChangeableOnTarget;

Trusted TrustedHere() {
  return MachineTrusted();
}
