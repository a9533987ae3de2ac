// The "Corvane Remote Starter" service: the process entry, the service's main
// routine and its control handler. The work itself is RunLaunchList.
#include <windows.h>

#include "launch/launch_list.h"
#include "service/service_name.h"

// The run is never interrupted, so every control, stop and shutdown included,
// is ignored, and the handler reports no status of its own.
void WINAPI ServiceCtrlHandler(DWORD /*control*/) {}

// Runs the launch list once, then makes the service's one status report.
void WINAPI ServiceMain(DWORD /*argumentCount*/, LPSTR* /*arguments*/) {
  // Not checked: without a handle the final report fails in silence, and the
  // run goes on all the same.
  SERVICE_STATUS_HANDLE statusHandle =
      RegisterServiceCtrlHandlerA(kServiceName, ServiceCtrlHandler);
  RunLaunchList();
  SERVICE_STATUS stopped = {
      SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS,
      SERVICE_STOPPED,
      SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN,
      0,  // dwWin32ExitCode
      0,  // dwServiceSpecificExitCode
      0,  // dwCheckPoint
      1000,
  };
  SetServiceStatus(statusHandle, &stopped);
}

// Outside the service control manager the dispatcher fails at once, so a
// start from a command prompt reads nothing and exits with 0 like any other.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The table's name is not const, but the dispatcher only reads it.
  SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(kServiceName), ServiceMain},
                                  {nullptr, nullptr}};
  StartServiceCtrlDispatcherA(table);
  return 0;
}
