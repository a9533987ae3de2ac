// Defaults for starter-check's options. On Windows they come from the machine
// it runs on; elsewhere they are fixed.
#pragma once

#include <string>

// The service executable beside the list: "C:\Svc\" and the list's name with
// ".dat" made ".exe"; on Windows, the list's real folder instead of C:\Svc.
std::string DefaultExecutablePath(const std::string& list);
// C:\WINDOWS\system32; on Windows, the system directory.
std::string DefaultSystemDirectory();
// 1252; on Windows, the ANSI code page.
unsigned DefaultCodePage();
