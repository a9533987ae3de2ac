// Defaults for starter-check's options, and its view of the target machine.
// On Windows they come from the machine it runs on; elsewhere they are fixed,
// and there is no such view.
#pragma once

#include <string>
#include <vector>

#include "access/machine_access.h"
#include "lint/installed_audit.h"
#include "paths/windows_paths.h"

// The defaults of a build that cannot see the target machine, and of --dry-run.
constexpr char kDefaultSystemDirectory[] = "C:\\WINDOWS\\system32";
constexpr unsigned kDefaultCodePage = 1252;

// The service executable for a list: the list's name with ".dat" made ".exe",
// in kDefaultFolder; on Windows, in the list's real folder.
std::string DefaultExecutablePath(const std::string& list);
// C:\WINDOWS\system32; on Windows, the system directory.
std::string DefaultSystemDirectory();
// 1252; on Windows, the ANSI code page.
unsigned DefaultCodePage();

// Whether an argument reached the program whole: the ANSI code page the
// program reads its arguments in can hold every character of it. Always so
// off Windows.
bool HeldByCodePage(const std::string& argument);

// What is at a Windows path on this machine: nothing, a folder, a file that
// begins as an executable image does, or another file. Null where there is no
// such view: off Windows.
extern FileKind (*const kTargetFileKind)(const std::string& path);

// Whether the machine is 64-bit Windows, where the 32-bit service runs
// under WoW64, and whether it runs DOS programs. Off Windows, 32-bit
// Windows is assumed, as a dry run does.
void TargetBitness(bool& wow64, bool& runsDos);

// The folders on the PATH that services get, the machine's own, in order.
// False where it cannot be read: off Windows.
bool ServicePathFolders(std::vector<std::string>& folders);
