// Gives a registry key below HKLM an access list, making the key if it is
// not there, as a careless administrator or another tool might: full control
// for Administrators and SYSTEM, and the entry the second argument names.
//   key_access KEY users-write     BUILTIN\Users may set values and add subkeys
// (Wine holds no object entry on a key: those are read natively, from bytes.)
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, argv[1], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return 1;
  }
  alignas(DWORD) BYTE buffer[1024];
  auto* acl = reinterpret_cast<PACL>(buffer);
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  BYTE system[SECURITY_MAX_SID_SIZE];
  BYTE users[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  bool built =
      InitializeAcl(acl, sizeof buffer, ACL_REVISION_DS) &&
      CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
      (size = sizeof system, CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size)) &&
      (size = sizeof users, CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &size)) &&
      AddAccessAllowedAce(acl, ACL_REVISION_DS, KEY_ALL_ACCESS, administrators) &&
      AddAccessAllowedAce(acl, ACL_REVISION_DS, KEY_ALL_ACCESS, system);
  if (built && std::strcmp(argv[2], "users-write") == 0) {
    built = AddAccessAllowedAce(acl, ACL_REVISION_DS, KEY_WRITE, users);
  } else {
    built = false;
  }
  SECURITY_DESCRIPTOR descriptor;
  built = built && InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
          SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) &&
          RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
  RegCloseKey(key);
  return built ? 0 : 1;
}
