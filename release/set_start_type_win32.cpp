// set-start-type.exe auto|demand|disabled|start: sets the start type of the
// registered service, in any case, or starts it. The Windows Installer package
// runs it from its Binary table: as SYSTEM, after it has registered the
// service, since its ServiceInstall table has one fixed start type, and
// STARTTYPE, or the type an upgrade found, must win over it; and, with
// STARTSERVICE, to start the service once the installation has ended, so that
// the list's patches find Windows Installer free. Exit status 0 when done, 1
// when not, 2 for a usage error.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/owned_handle_win32.h"
#include "service/service_name.h"

namespace {

// Whether Windows Installer is running an installation: while it does, it
// accepts the shutdown control, and every other one fails with 1618.
bool InstallerBusy(SC_HANDLE manager) {
  OwnedServiceHandle installer(OpenServiceA(manager, "msiserver", SERVICE_QUERY_STATUS));
  SERVICE_STATUS_PROCESS status;
  DWORD size = 0;
  return installer.handle != nullptr &&
         QueryServiceStatusEx(installer.handle, SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<BYTE*>(&status), sizeof status, &size) &&
         status.dwCurrentState == SERVICE_RUNNING &&
         status.dwControlsAccepted == SERVICE_ACCEPT_SHUTDOWN;
}

int Fail(const char* what) {
  static_cast<void>(std::fprintf(stderr, "set-start-type: cannot %s the service: error %lu\n", what,
                                 GetLastError()));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  DWORD start = 0;
  const char* verb = argc == 2 ? argv[1] : "";
  if (_stricmp(verb, "auto") == 0) {
    start = SERVICE_AUTO_START;
  } else if (_stricmp(verb, "demand") == 0) {
    start = SERVICE_DEMAND_START;
  } else if (_stricmp(verb, "disabled") == 0) {
    start = SERVICE_DISABLED;
  } else if (_stricmp(verb, "start") != 0) {
    static_cast<void>(std::fputs("usage: set-start-type auto|demand|disabled|start\n", stderr));
    return 2;
  }
  OwnedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (start == 0) {
    // The installation that runs this goes on for a while: wait for it, up to
    // half an hour, rather than see the list's patches fail with 1618.
    for (int second = 0;
         manager.handle != nullptr && second < 1800 && InstallerBusy(manager.handle); ++second) {
      Sleep(1000);
    }
    OwnedServiceHandle service(
        manager.handle ? OpenServiceA(manager.handle, kServiceName, SERVICE_START) : nullptr);
    return service.handle != nullptr && StartServiceA(service.handle, 0, nullptr) ? 0
                                                                                  : Fail("start");
  }
  OwnedServiceHandle service(
      manager.handle ? OpenServiceA(manager.handle, kServiceName, SERVICE_CHANGE_CONFIG) : nullptr);
  if (service.handle == nullptr ||
      !ChangeServiceConfigA(service.handle, SERVICE_NO_CHANGE, start, SERVICE_NO_CHANGE, nullptr,
                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
    return Fail("change");
  }
  return 0;
}
