// The baseline for scripts/bench.sh: the same CreateProcessA calls the service
// makes for a list, with the same arguments, and nothing else. Each line of the
// file it is given is a working directory (empty for none), a tab and a
// command line, as starter-check composes them.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  static char commands[256][2][MAX_PATH];
  int count = 0;
  std::FILE* file = std::fopen(argv[1], "rb");
  if (file == nullptr) return 2;
  static char line[2 * MAX_PATH + 2];
  while (count < 256 && std::fgets(line, sizeof line, file) != nullptr) {
    line[std::strcspn(line, "\r\n")] = '\0';
    char* tab = std::strchr(line, '\t');
    if (tab == nullptr) continue;
    *tab = '\0';
    lstrcpynA(commands[count][0], line, MAX_PATH);
    lstrcpynA(commands[count][1], tab + 1, MAX_PATH);
    ++count;
  }
  static_cast<void>(std::fclose(file));

  for (int i = 0; i < count; ++i) {
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started;
    const char* directory = commands[i][0][0] != '\0' ? commands[i][0] : nullptr;
    if (CreateProcessA(nullptr, commands[i][1], nullptr, nullptr, TRUE,
                       DETACHED_PROCESS | NORMAL_PRIORITY_CLASS, nullptr, directory, &startup,
                       &started)) {
      CloseHandle(started.hThread);
      CloseHandle(started.hProcess);
    }
  }
  return 0;
}
