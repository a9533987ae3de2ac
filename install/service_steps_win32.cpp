// The service's registration, through the service control manager itself,
// and the installation's settings key.
#include <windows.h>

#include "access/machine_access.h"
#include "access/machine_accounts_win32.h"
#include "install/file_steps_win32.h"
#include "install/installation.h"
#include "install/job_record.h"
#include "service/service_name.h"

namespace {

const char kDescription[] =
    "Starts the programs listed in starter.dat beside starter.exe, once, then stops.";
// Administrators and SYSTEM may change the settings key; users may read it,
// as a detection script running as one does.
const char kSettingsPolicy[] = "O:BAD:PAI(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;CI;KR;;;BU)";

OwnedServiceHandle Manager(DWORD access) {
  return OwnedServiceHandle(OpenSCManagerA(nullptr, nullptr, access));
}

OwnedServiceHandle Service(SC_HANDLE manager, DWORD access) {
  return OwnedServiceHandle(manager ? OpenServiceA(manager, kServiceName, access) : nullptr);
}

DWORD StartOf(StartType type) {
  switch (type) {
    case StartType::kAuto:
      return SERVICE_AUTO_START;
    case StartType::kDisabled:
      return SERVICE_DISABLED;
    case StartType::kDemand:
      return SERVICE_DEMAND_START;
    default:
      return SERVICE_NO_CHANGE;
  }
}

bool QueryState(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
  DWORD size = 0;
  return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof status, &size) != 0;
}

// Whether Windows Installer is running an installation: while it does, it
// accepts the shutdown control, and every other one fails with 1618.
bool InstallerBusy(SC_HANDLE manager) {
  OwnedServiceHandle installer(OpenServiceA(manager, "msiserver", SERVICE_QUERY_STATUS));
  SERVICE_STATUS_PROCESS status;
  return installer.handle != nullptr && QueryState(installer.handle, status) &&
         status.dwCurrentState == SERVICE_RUNNING &&
         status.dwControlsAccepted == SERVICE_ACCEPT_SHUTDOWN;
}

// The settings key, if it is there and only administrators can change it.
HKEY OpenSettings(REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, access | READ_CONTROL, &key) !=
      ERROR_SUCCESS) {
    return nullptr;
  }
  BYTE binary[16384];
  DWORD size = sizeof binary;
  bool trusted =
      RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, binary,
                        &size) == ERROR_SUCCESS &&
      WhoCanChange(ReadDescriptor(binary), ObjectType::kRegistryKey, nullptr, MachineTrusted())
          .empty();
  if (!trusted) {
    RegCloseKey(key);
    return nullptr;
  }
  return key;
}

std::string SettingsValue(const char* name) {
  HKEY key = OpenSettings(KEY_QUERY_VALUE);
  if (key == nullptr) return "";
  char value[1024] = "";
  DWORD size = sizeof value;
  LSTATUS status = RegGetValueA(key, nullptr, name, RRF_RT_REG_SZ, nullptr, value, &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? value : "";
}

}  // namespace

bool Registered(std::string& folder) {
  return ServiceRegistered(folder);
}

bool StopService(const Say& say, std::string& error) {
  OwnedServiceHandle manager = Manager(SC_MANAGER_CONNECT);
  OwnedServiceHandle service = Service(manager.handle, SERVICE_STOP | SERVICE_QUERY_STATUS);
  if (service.handle == nullptr) return true;
  SERVICE_STATUS stopped;
  ControlService(service.handle, SERVICE_CONTROL_STOP, &stopped);  // refused while it works
  for (int second = 0;; ++second) {
    SERVICE_STATUS_PROCESS status;
    if (!QueryState(service.handle, status)) {
      error = "cannot ask the service how it stands, " + ErrorText(GetLastError());
      return false;
    }
    if (status.dwCurrentState == SERVICE_STOPPED) return true;
    if (second == 0) say("waiting, up to 120 s, for the service to finish its list");
    if (second == 120) {
      error = "the service is still working through its list after 120 s";
      return false;
    }
    Sleep(1000);
  }
}

bool RegisterService(const std::string& folder, StartType type, bool& created, std::string& error) {
  const std::string image = Quoted(folder + "\\starter.exe");
  const DWORD kind = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
  OwnedServiceHandle manager = Manager(SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
  OwnedServiceHandle service = Service(manager.handle, SERVICE_ALL_ACCESS);
  created = service.handle == nullptr;
  if (created) {
    DWORD start = type == StartType::kKeep ? SERVICE_DEMAND_START : StartOf(type);
    service = OwnedServiceHandle(
        manager.handle ? CreateServiceA(manager.handle, kServiceName, kServiceName,
                                        SERVICE_ALL_ACCESS, kind, start, SERVICE_ERROR_NORMAL,
                                        image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr)
                       : nullptr);
  } else if (!ChangeServiceConfigA(service.handle, kind, StartOf(type), SERVICE_NO_CHANGE,
                                   image.c_str(), nullptr, nullptr, nullptr, "LocalSystem", "",
                                   nullptr)) {
    error = "cannot change the service's registration, " + ErrorText(GetLastError());
    return false;
  }
  SERVICE_DESCRIPTIONA description{const_cast<char*>(kDescription)};
  if (service.handle == nullptr ||
      !ChangeServiceConfig2A(service.handle, SERVICE_CONFIG_DESCRIPTION, &description)) {
    error = "cannot register the service, " + ErrorText(GetLastError());
    return false;
  }
  return true;
}

bool SetStartType(StartType type, std::string& error) {
  OwnedServiceHandle manager = Manager(SC_MANAGER_CONNECT);
  OwnedServiceHandle service = Service(manager.handle, SERVICE_CHANGE_CONFIG);
  if (service.handle == nullptr ||
      !ChangeServiceConfigA(service.handle, SERVICE_NO_CHANGE, StartOf(type), SERVICE_NO_CHANGE,
                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
    error = "cannot change the service's start type, " + ErrorText(GetLastError());
    return false;
  }
  return true;
}

bool DeleteService(std::string& error) {
  OwnedServiceHandle manager = Manager(SC_MANAGER_CONNECT);
  OwnedServiceHandle service = Service(manager.handle, DELETE);
  if (service.handle == nullptr || !::DeleteService(service.handle)) {
    error = "cannot remove the service, " + ErrorText(GetLastError());
    return false;
  }
  return true;
}

bool StartServiceOnce(bool afterInstaller, std::string& error) {
  OwnedServiceHandle manager = Manager(SC_MANAGER_CONNECT);
  // The installation that asks for this goes on for a while: wait for it, up
  // to half an hour, rather than see the list's patches fail with 1618.
  for (int second = 0; afterInstaller && manager.handle != nullptr && second < 1800 &&
                       InstallerBusy(manager.handle);
       ++second) {
    Sleep(1000);
  }
  OwnedServiceHandle service = Service(manager.handle, SERVICE_START);
  // Windows answers at once while the service works through its list; Wine
  // only once it is done, with 1053.
  if (service.handle == nullptr || (!StartServiceA(service.handle, 0, nullptr) &&
                                    GetLastError() != ERROR_SERVICE_REQUEST_TIMEOUT)) {
    error = "cannot start the service, " + ErrorText(GetLastError());
    return false;
  }
  return true;
}

std::string StartTypeWords() {
  OwnedServiceHandle manager = Manager(SC_MANAGER_CONNECT);
  OwnedServiceHandle service = Service(manager.handle, SERVICE_QUERY_CONFIG);
  BYTE buffer[8192];
  DWORD size = 0;
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
  if (service.handle == nullptr ||
      !QueryServiceConfigA(service.handle, config, sizeof buffer, &size)) {
    return "as registered";
  }
  return config->dwStartType == SERVICE_AUTO_START ? "at every boot (auto)"
         : config->dwStartType == SERVICE_DISABLED ? "never: it is disabled"
                                                   : "on demand";
}

bool RememberInstallation(const std::string& folder, std::string& error) {
  // The job's identity, from its record: none where there is no record.
  std::string identity;
  FileObject file;
  bool there = false;
  if (OpenToChange(folder + "\\" + kJobRecordName, GENERIC_READ, file, there, error)) {
    JobRecord record;
    if (ParseJobRecord(ReadOpened(file.handle.handle), record)) identity = JobIdentity(record);
  } else if (there) {
    return false;
  }
  error.clear();
  PSECURITY_DESCRIPTOR policy = DescriptorFromSddl(kSettingsPolicy);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, policy, FALSE};
  HKEY key = nullptr;
  LSTATUS status = policy == nullptr
                       ? static_cast<LSTATUS>(GetLastError())
                       : RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0,
                                         KEY_QUERY_VALUE | KEY_SET_VALUE | WRITE_DAC | WRITE_OWNER,
                                         &attributes, &key, nullptr);
  // A key that was there already is given the policy too.
  if (status == ERROR_SUCCESS) {
    status = RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, policy);
  }
  if (status == ERROR_SUCCESS) {
    status =
        RegSetValueExA(key, kFolderValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>(folder.size()) + 1);
  }
  if (status == ERROR_SUCCESS && identity.empty()) {
    LSTATUS deleted = RegDeleteValueA(key, kJobValue);
    if (deleted != ERROR_FILE_NOT_FOUND) status = deleted;
  } else if (status == ERROR_SUCCESS) {
    status =
        RegSetValueExA(key, kJobValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(identity.c_str()),
                       static_cast<DWORD>(identity.size()) + 1);
  }
  if (key != nullptr) RegCloseKey(key);
  LocalFree(policy);
  if (status != ERROR_SUCCESS) {
    error = "cannot record the installation in HKLM\\" + std::string(kSettingsKey) + ", " +
            ErrorText(static_cast<DWORD>(status));
  }
  return status == ERROR_SUCCESS;
}

void ForgetJob() {
  HKEY key = OpenSettings(KEY_SET_VALUE);
  if (key == nullptr) return;
  RegDeleteValueA(key, kJobValue);
  RegCloseKey(key);
}

void ForgetInstallation() {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsKey);
}

std::string RememberedFolder() {
  return SettingsValue(kFolderValue);
}

std::string JobIdentityHere() {
  return SettingsValue(kJobValue);
}
