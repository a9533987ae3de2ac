#include "install/file_steps_win32.h"

// clang-format off
#include <aclapi.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "access/machine_accounts_win32.h"
#include "install/installation.h"
#include "install/sha256.h"

std::string ErrorText(DWORD error) {
  return "error " + std::to_string(error);
}

namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The binary form of an SDDL text, freed when it goes.
struct Descriptor {
  PSECURITY_DESCRIPTOR binary;
  explicit Descriptor(const char* sddl) : binary(DescriptorFromSddl(sddl)) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { LocalFree(binary); }
};

}  // namespace

bool OpenToChange(const std::string& path, DWORD access, FileObject& object, bool& there,
                  std::string& error) {
  there = OpenFileObject(path, access, kShareAll, object);
  if (!there) return false;
  if (!object.facts.unreadable.empty()) {
    error = Quoted(path) + " cannot be judged: " + object.facts.unreadable;
  } else if (object.facts.link) {
    error = Quoted(path) + " " + LinkWords(object.facts);
  } else if (!object.facts.folder && object.facts.names > 1) {
    error = Quoted(path) + " has " + std::to_string(object.facts.names) +
            " names: what it holds is not the installation's alone";
  }
  return error.empty();
}

bool OpenSource(const std::string& path, FileObject& object, std::string& error) {
  // Shared for reading only: no one may write it while it is copied.
  if (!OpenFileObject(path, GENERIC_READ, FILE_SHARE_READ, object)) {
    error = Quoted(path) + " is not there";
    return false;
  }
  if (!object.facts.unreadable.empty()) {
    error = Quoted(path) + " cannot be read: " + object.facts.unreadable;
    return false;
  }
  if (object.facts.link) {
    error = Quoted(path) + " " + LinkWords(object.facts);
    return false;
  }
  if (object.facts.folder) {
    error = Quoted(path) + " is a folder";
    return false;
  }
  const std::string others = OthersCanChange(object.facts, nullptr, kAnyChange, MachineTrusted());
  if (!others.empty())
    error = "others than administrators can change " + Quoted(path) + ": " + others;
  return others.empty();
}

bool CreateNewFile(const std::string& path, FileObject& object, std::string& error) {
  object.facts = ObjectFacts();
  object.facts.path = path;
  object.handle = OwnedHandle(
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (object.handle.handle == INVALID_HANDLE_VALUE) {
    error = "cannot make " + Quoted(path) + ", " + ErrorText(GetLastError());
    return false;
  }
  return true;
}

bool CopyContent(HANDLE from, HANDLE to, std::string& sha256, std::string& error) {
  Sha256 hasher;
  char chunk[65536];
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(from, start, nullptr, FILE_BEGIN)) {
    error = "cannot read it, " + ErrorText(GetLastError());
    return false;
  }
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(from, chunk, sizeof chunk, &read, nullptr)) {
      error = "cannot read it, " + ErrorText(GetLastError());
      return false;
    }
    if (read == 0) break;
    DWORD written = 0;
    if (!WriteFile(to, chunk, read, &written, nullptr) || written != read) {
      error = "cannot write it whole, " + ErrorText(GetLastError());
      return false;
    }
    hasher.Add(chunk, read);
  }
  if (!FlushFileBuffers(to)) {
    error = "cannot write it whole, " + ErrorText(GetLastError());
    return false;
  }
  sha256 = hasher.Hex();
  return true;
}

bool RenameOpened(FileObject& object, const std::string& path, std::string& error) {
  std::wstring wide(path.size() + 1, L'\0');
  int length =
      MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
  if (length <= 0) {
    error = "cannot name " + Quoted(path);
    return false;
  }
  wide.resize(static_cast<std::size_t>(length) - 1);
  std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + wide.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(wide.size()) * sizeof(wchar_t);
  std::memcpy(rename->FileName, wide.data(), rename->FileNameLength);
  if (!SetFileInformationByHandle(object.handle.handle, FileRenameInfo, rename,
                                  static_cast<DWORD>(buffer.size()))) {
    error = "cannot put " + Quoted(object.facts.path) + " in the place of " + Quoted(path) + ", " +
            ErrorText(GetLastError());
    return false;
  }
  object.facts.path = path;
  return true;
}

bool DeleteHere(const std::string& path, std::string& error) {
  FileObject object;
  bool there = false;
  if (!OpenToChange(path, DELETE | FILE_LIST_DIRECTORY, object, there, error)) return !there;
  if (object.facts.folder) {
    // Listed through this handle: the folder judged is the one emptied.
    std::vector<FolderEntry> entries;
    if (!ListOpenedFolder(object.handle.handle, entries)) {
      error = "cannot list " + Quoted(path) + ", " + ErrorText(GetLastError());
      return false;
    }
    if (!std::all_of(entries.begin(), entries.end(), [&](const FolderEntry& entry) {
          return DeleteHere(InFolder(path, entry.name), error);
        })) {
      return false;
    }
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (!SetFileInformationByHandle(object.handle.handle, FileDispositionInfo, &disposition,
                                  sizeof disposition)) {
    error = "cannot delete " + Quoted(path) + ", " + ErrorText(GetLastError());
    return false;
  }
  return true;
}

bool ApplyPolicy(FileObject& object, bool top, std::string& error) {
  // What the folder itself gets, and what anything in it inherits from there.
  Descriptor policy(kFolderPolicy);
  Descriptor inherited(object.facts.folder ? "D:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)"
                                           : "D:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)");
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  PSID owner = nullptr;
  if (policy.binary == nullptr || inherited.binary == nullptr ||
      !GetSecurityDescriptorOwner(policy.binary, &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(top ? policy.binary : inherited.binary, &present, &dacl,
                                 &defaulted)) {
    error = "cannot build the installation's access list, " + ErrorText(GetLastError());
    return false;
  }
  const SECURITY_INFORMATION what =
      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
      (top ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
  DWORD status =
      SetSecurityInfo(object.handle.handle, SE_FILE_OBJECT, what, owner, nullptr, dacl, nullptr);
  if (status != ERROR_SUCCESS) {
    error = "cannot give " + Quoted(object.facts.path) + " to Administrators and SYSTEM alone, " +
            ErrorText(status);
    return false;
  }
  return true;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  FileObject object;
  std::vector<FolderEntry> entries;
  if (OpenFileObject(folder, FILE_LIST_DIRECTORY, kShareAll, object) && !object.facts.link &&
      object.facts.unreadable.empty()) {
    ListOpenedFolder(object.handle.handle, entries);
  }
  std::transform(entries.begin(), entries.end(), std::back_inserter(names),
                 [](const FolderEntry& entry) { return entry.name; });
  return names;
}

void UseAdministratorRights() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  OwnedHandle owned(token);
  for (const char* name : {SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME, SE_BACKUP_NAME}) {
    TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    if (LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid)) {
      AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
  }
}
