// The one rule for a folder the service may run from. The service runs as
// LocalSystem and starts whatever the list in its folder names, so no one but
// an administrator may be able to write, rename or replace that folder or any
// folder above it. install.cmd, uninstall.cmd and the Windows Installer
// package all ask this rule, through starter-check --service-folder.
#pragma once

#include <string>
#include <vector>

// The machine's folders the rule is judged against: full paths, no trailing
// backslash. programFilesX86 is empty where there is only one Program Files.
struct MachineFolders {
  std::string windows;
  std::string programFiles;
  std::string programFilesX86;
  std::string programData;
  std::string users;
};

// What this machine can tell of the folder. Off Windows nothing is known.
struct FolderFacts {
  bool known = false;    // whether the rest was read from the machine
  std::string longName;  // the folder with every 8.3 short name expanded
  bool exists = false;
  bool link = false;                 // a junction or symbolic link, which may lead anywhere
  bool file = false;                 // a file where the folder should be
  std::vector<std::string> entries;  // the names of what it holds
  bool heldByCodePage = true;        // the ANSI code page can hold its name
  bool serviceRegistered = false;    // the service is registered already
};

// The names an installation writes into the folder, temporary copies included.
extern const char* const kInstalledNames[];
extern const int kInstalledNameCount;
// The longest of them: the folder must leave room for it within 259 characters.
constexpr std::size_t kLongestInstalledName = sizeof "starter-check.exe.new" - 1;

// A full path made canonical as Windows makes it: "." and ".." parts resolved
// and no trailing backslash. Empty when folder is not a full path on a drive.
std::string CanonicalFolder(const std::string& folder);

enum class FolderUse {
  kInstall,  // about to install into it
  kPurge,    // about to remove it, once the service is removed
};

// Judges folder for use. Returns why it is refused, or an empty text when it
// is accepted. For kPurge the reason names everything the folder holds besides
// kInstalledNames.
std::string JudgeServiceFolder(const std::string& folder, FolderUse use,
                               const MachineFolders& machine, const FolderFacts& facts);
