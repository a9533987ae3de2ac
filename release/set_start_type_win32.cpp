// set-start-type.exe auto|demand|disabled: sets the start type of the
// registered service. The Windows Installer package runs it from its Binary
// table, as SYSTEM, after it has registered the service: its ServiceInstall
// table has one fixed start type, and STARTTYPE, or the type an upgrade found,
// must win over it. Exit status 0 when set, 1 when not, 2 for a usage error.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/owned_handle_win32.h"
#include "service/service_name.h"

int main(int argc, char** argv) {
  DWORD start = 0;
  if (argc == 2 && std::strcmp(argv[1], "auto") == 0) {
    start = SERVICE_AUTO_START;
  } else if (argc == 2 && std::strcmp(argv[1], "demand") == 0) {
    start = SERVICE_DEMAND_START;
  } else if (argc == 2 && std::strcmp(argv[1], "disabled") == 0) {
    start = SERVICE_DISABLED;
  } else {
    static_cast<void>(std::fputs("usage: set-start-type auto|demand|disabled\n", stderr));
    return 2;
  }
  OwnedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  OwnedServiceHandle service(
      manager.handle ? OpenServiceA(manager.handle, kServiceName, SERVICE_CHANGE_CONFIG) : nullptr);
  if (service.handle == nullptr ||
      !ChangeServiceConfigA(service.handle, SERVICE_NO_CHANGE, start, SERVICE_NO_CHANGE, nullptr,
                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
    static_cast<void>(std::fprintf(stderr, "set-start-type: cannot change the service: error %lu\n",
                                   GetLastError()));
    return 1;
  }
  return 0;
}
