// A stand-in for the programs a launch list starts. It appends a record of how
// it was started to <its own path>.log, then does what its arguments ask:
//   sleep=<ms>     wait, then append an "ended" record;
//   rename=<path>  try for up to 10 s to rename <path> to <path>.moved (which
//                  fails while any process holds the file open without
//                  delete sharing) and record whether it could.
// Standing in for a program whose command line a test cannot choose, it
// first writes a file at the path that <its own path>.plant names, if any.
// Records are appended under an exclusive open, so concurrent probes never mix.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/support/console_win32.h"

namespace {

char logPath[MAX_PATH + 8];

void Append(const char* text) {
  for (int attempt = 0; attempt < 500; ++attempt) {
    HANDLE log = CreateFileA(logPath, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
      DWORD written;
      WriteFile(log, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
      CloseHandle(log);
      return;
    }
    Sleep(10);
  }
}

// The value of name=value in the command line, up to the next space.
bool Option(const char* commandLine, const char* name, char* value, size_t size) {
  const char* at = std::strstr(commandLine, name);
  if (at == nullptr) return false;
  at += std::strlen(name);
  size_t length = std::strcspn(at, " ");
  if (length >= size) length = size - 1;
  std::memcpy(value, at, length);
  value[length] = '\0';
  return true;
}

}  // namespace

// Records are far shorter than their buffers, so snprintf results need no check.
int main() {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  self[MAX_PATH - 1] = '\0';
  static_cast<void>(std::snprintf(logPath, sizeof logPath, "%s.log", self));

  const char* commandLine = GetCommandLineA();
  char directory[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof directory, directory);
  static char record[4096];
  static_cast<void>(std::snprintf(
      record, sizeof record, "pid %lu\ncommand line %s\ndirectory %s\npriority %#lx\nconsole %s\n",
      GetCurrentProcessId(), commandLine, directory, GetPriorityClass(GetCurrentProcess()),
      HasConsole() ? "yes" : "no"));
  Append(record);

  char value[MAX_PATH];
  static_cast<void>(std::snprintf(value, sizeof value, "%s.plant", self));
  if (FILE* plant = std::fopen(value, "rb")) {
    char path[MAX_PATH] = "";
    if (std::fgets(path, sizeof path, plant) != nullptr) {
      if (FILE* planted = std::fopen(path, "wb")) static_cast<void>(std::fclose(planted));
    }
    static_cast<void>(std::fclose(plant));
  }
  if (Option(commandLine, "rename=", value, sizeof value)) {
    char target[MAX_PATH + 8];
    static_cast<void>(std::snprintf(target, sizeof target, "%s.moved", value));
    bool renamed = false;
    for (int attempt = 0; attempt < 100 && !renamed; ++attempt) {
      renamed = MoveFileA(value, target) != 0;
      if (!renamed) Sleep(100);
    }
    static_cast<void>(std::snprintf(record, sizeof record, "pid %lu renamed %s\n",
                                    GetCurrentProcessId(), renamed ? "yes" : "no"));
    Append(record);
  }
  if (Option(commandLine, "sleep=", value, sizeof value)) {
    Sleep(static_cast<DWORD>(std::strtoul(value, nullptr, 10)));
    static_cast<void>(
        std::snprintf(record, sizeof record, "pid %lu ended\n", GetCurrentProcessId()));
    Append(record);
  }
  return 0;
}
