// The starts both baselines make: the same CreateProcessA calls the service
// makes for a list, with the same arguments, and nothing else. Each line of
// the commands file is a working directory (empty for none), a tab and a
// command line, as starter-check composes them.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstring>

struct BaselineCommands {
  char lines[256][2][MAX_PATH];
  int count;
};

// False when the file cannot be read.
inline bool ReadBaselineCommands(const char* path, BaselineCommands& commands) {
  commands.count = 0;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  static char line[2 * MAX_PATH + 2];
  while (commands.count < 256 && std::fgets(line, sizeof line, file) != nullptr) {
    line[std::strcspn(line, "\r\n")] = '\0';
    char* tab = std::strchr(line, '\t');
    if (tab == nullptr) continue;
    *tab = '\0';
    lstrcpynA(commands.lines[commands.count][0], line, MAX_PATH);
    lstrcpynA(commands.lines[commands.count][1], tab + 1, MAX_PATH);
    ++commands.count;
  }
  static_cast<void>(std::fclose(file));
  return true;
}

inline void StartBaselineCommands(BaselineCommands& commands) {
  for (int i = 0; i < commands.count; ++i) {
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started;
    const char* directory = commands.lines[i][0][0] != '\0' ? commands.lines[i][0] : nullptr;
    if (CreateProcessA(nullptr, commands.lines[i][1], nullptr, nullptr, TRUE,
                       DETACHED_PROCESS | NORMAL_PRIORITY_CLASS, nullptr, directory, &startup,
                       &started)) {
      CloseHandle(started.hThread);
      CloseHandle(started.hProcess);
    }
  }
}
