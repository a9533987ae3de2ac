// The service baseline for scripts/bench.sh: a minimal service that makes the
// service's starts from commands.txt beside it, then its one stopped report.
// Started like the service, by the service control manager, it shows what
// that path costs apart from our own code.
#include "bench/baseline_starts.h"

namespace {

char serviceName[] = "Corvane Baseline";

void WINAPI Handler(DWORD /*control*/) {}

void WINAPI BaselineMain(DWORD /*argumentCount*/, LPSTR* /*arguments*/) {
  SERVICE_STATUS_HANDLE status = RegisterServiceCtrlHandlerA(serviceName, Handler);
  static char path[MAX_PATH + 16];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  char* name = std::strrchr(path, '\\');
  // The 16 spare bytes hold the file name after any path GetModuleFileNameA gives.
  lstrcpynA(name != nullptr ? name + 1 : path, "commands.txt", 16);
  static BaselineCommands commands;
  if (ReadBaselineCommands(path, commands)) StartBaselineCommands(commands);
  SERVICE_STATUS stopped = {SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS,
                            SERVICE_STOPPED,
                            SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN,
                            0,
                            0,
                            0,
                            1000};
  SetServiceStatus(status, &stopped);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  SERVICE_TABLE_ENTRYA table[] = {{serviceName, BaselineMain}, {nullptr, nullptr}};
  StartServiceCtrlDispatcherA(table);
  return 0;
}
