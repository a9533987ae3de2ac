// Whether this process has a console. The console window is no guide under
// Wine, which runs consoles without windows; opening CONOUT$ is.
#pragma once

#include <windows.h>

inline bool HasConsole() {
  HANDLE console =
      CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (console == INVALID_HANDLE_VALUE) return false;
  CloseHandle(console);
  return true;
}
