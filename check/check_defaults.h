// Defaults for starter-check's options, and its view of the target machine.
// On Windows they come from the machine it runs on; elsewhere they are fixed,
// and there is no such view.
#pragma once

#include <string>
#include <vector>

#include "check/installed_audit.h"
#include "check/service_folder.h"
#include "check/windows_paths.h"

// Where install.cmd and the package install the service by default.
constexpr char kDefaultFolder[] = "C:\\ProgramData\\CorvaneRemoteStarter";

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

// The folders on the PATH that services get, the machine's own, in order.
// False where it cannot be read: off Windows.
bool ServicePathFolders(std::vector<std::string>& folders);

// The machine's own folders: the Windows folder, Program Files (both of them
// on 64-bit Windows), ProgramData and Users. Off Windows, their defaults.
MachineFolders DefaultMachineFolders();

// What this machine can tell of a folder, for the folder rule. Off Windows,
// nothing: facts.known stays false.
void ReadFolderFacts(const std::string& folder, FolderFacts& facts);

// Why others than administrators can change a file the service would start
// here, or a folder above it; empty when no one can, or it is not there.
// Null where there is no such view: off Windows.
extern std::string (*const kTargetChangeable)(const std::string& path);

// Makes the service's folder, which must not exist yet, owned by
// Administrators and usable only by them and SYSTEM from the moment it
// exists; missing folders above it take their access from theirs. False,
// and why, when it cannot: off Windows, always.
bool MakeServiceFolder(const std::string& folder, std::string& error);

// What this machine says of the installed service. Off Windows, nothing:
// facts.registered stays false.
void ReadInstalledFacts(InstalledFacts& facts);
