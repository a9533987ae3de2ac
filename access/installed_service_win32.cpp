// What the machine's registration of the service says: its image path,
// account, the service's own descriptor, and those of its registry key and
// every key below it.
#include <windows.h>

#include <string>
#include <vector>

#include "access/file_object_win32.h"
#include "access/machine_access.h"
#include "access/machine_accounts_win32.h"
#include "platform/owned_handle_win32.h"
#include "service/service_name.h"

namespace {

const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\";

std::string ErrorText(unsigned long error) {
  return "error " + std::to_string(error);
}

// A key and every key below it, each with its descriptor, up to a bound far
// beyond what a service keeps.
void ReadKeys(HKEY key, const std::string& name, std::vector<KeyFacts>& keys) {
  KeyFacts facts;
  facts.name = name;
  BYTE binary[16384];
  DWORD size = sizeof binary;
  LSTATUS status =
      RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, binary, &size);
  if (status == ERROR_SUCCESS) {
    facts.descriptor = ReadDescriptor(binary);
  } else {
    facts.unreadable = ErrorText(status);
  }
  keys.push_back(facts);
  char child[256];
  for (DWORD i = 0; keys.size() < 256; ++i) {
    DWORD length = sizeof child;
    status = RegEnumKeyExA(key, i, child, &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
      if (status != ERROR_NO_MORE_ITEMS) {
        keys.push_back({name, "what it holds cannot be listed, " + ErrorText(status), {}});
      }
      break;
    }
    const std::string below = name.empty() ? child : name + "\\" + child;
    HKEY opened = nullptr;
    status = RegOpenKeyExA(key, child, 0, READ_CONTROL | KEY_ENUMERATE_SUB_KEYS, &opened);
    if (status != ERROR_SUCCESS) {
      keys.push_back({below, "it cannot be opened, " + ErrorText(status), {}});
      continue;
    }
    ReadKeys(opened, below, keys);
    RegCloseKey(opened);
  }
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

}  // namespace

bool ServiceRegistered(std::string& folder) {
  // A manager that cannot be asked counts as a service in another folder: the stricter answer.
  OwnedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  OwnedServiceHandle service(
      manager.handle ? OpenServiceA(manager.handle, kServiceName, SERVICE_QUERY_STATUS) : nullptr);
  DWORD error = GetLastError();
  bool registered =
      service.handle != nullptr || (manager.handle != nullptr && error == ERROR_ACCESS_DENIED);
  std::string program = ImageProgram(ServiceValue("ImagePath"));
  std::vector<std::string::size_type> separators = Separators(program);
  folder = registered && !separators.empty() ? program.substr(0, separators.back()) : "";
  return registered;
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
  BYTE binary[16384];
  DWORD needed = 0;
  if (QueryServiceObjectSecurity(service.handle,
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, binary,
                                 sizeof binary, &needed)) {
    facts.service = ReadDescriptor(binary);
  } else {
    facts.serviceUnreadable = ErrorText(GetLastError());
  }
  HKEY opened = nullptr;
  LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0,
                                 READ_CONTROL | KEY_ENUMERATE_SUB_KEYS, &opened);
  if (status != ERROR_SUCCESS) {
    facts.keys.push_back({"", ErrorText(status), {}});
    return;
  }
  ReadKeys(opened, "", facts.keys);
  RegCloseKey(opened);
}
