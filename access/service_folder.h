// The one rule for a folder the service may run from. The service runs as
// LocalSystem and starts whatever the list in its folder names, so no one but
// an administrator may be able to change that folder or anything in it, or
// rename or replace any folder above it. install.cmd, uninstall.cmd and the
// Windows Installer package all ask this rule, through starter-check
// --service-folder; on Windows it reads each folder's real security
// descriptor and asks the access model who can change it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "access/access_model.h"

// Where install.cmd and the package install the service by default.
constexpr char kDefaultFolder[] = "C:\\ProgramData\\CorvaneRemoteStarter";

// The machine's folders the rule is judged against: full paths, no trailing
// backslash. programFilesX86 is empty where there is only one Program Files.
struct MachineFolders {
  std::string windows;
  std::string programFiles;
  std::string programFilesX86;
  std::string programData;
  std::string users;
};

// A file or folder as Windows shows it, for the access model.
struct ObjectFacts {
  std::string path;
  bool folder = false;
  bool link = false;       // a junction or symbolic link, which may lead anywhere
  std::string leadsTo;     // where a link really leads, when the machine says
  unsigned names = 1;      // a file's hard links: its names, here and elsewhere
  std::string unreadable;  // why its owner and DACL could not be read; empty when they were
  SecurityDescriptor descriptor;
  int parent = -1;  // in a folder's contents: the index of the folder it lies in, or -1
};

// What this machine can tell of the folder. Off Windows nothing is known.
struct FolderFacts {
  bool known = false;    // whether the rest was read from the machine
  std::string longName;  // the folder with every 8.3 short name expanded
  bool exists = false;
  bool link = false;                 // a junction or symbolic link, which may lead anywhere
  std::string leadsTo;               // where it really leads, when the machine says
  bool file = false;                 // a file where the folder should be
  std::string unreadable;            // why its attributes or contents could not be read
  std::vector<std::string> entries;  // the names of what it holds
  bool heldByCodePage = true;        // the ANSI code page can hold its name
  bool serviceRegistered = false;    // the service is registered already
  std::string installedIn;           // the folder its image path names, if it is
  // The drive's root first, then every folder down to the folder itself, when it exists.
  std::vector<ObjectFacts> chain;
  std::vector<ObjectFacts> contents;  // everything it holds, at any depth
  // The files of the job it holds, the installation's too: those its job's
  // record names, or, where there is no record, those its list names.
  std::vector<std::string> jobFiles;
  Trusted trusted;
};

// The record of the job the installation brought, and, while a job is
// replaced, the folders of the new job's files and of the old one's, kept
// until the change is kept or undone.
constexpr char kJobRecordName[] = "starter.job";
constexpr char kIncomingFolder[] = "starter.job.new";
constexpr char kOutgoingFolder[] = "starter.job.old";

// The names an installation writes into the folder, temporary copies and the
// job's record and folders included; a folder's name ends in a backslash.
extern const char* const kInstalledNames[];
extern const int kInstalledNameCount;
bool IsInstalledName(const std::string& name);
// The longest of them: the folder must leave room for it within 259 characters.
constexpr std::size_t kLongestInstalledName = sizeof "starter-check.exe.new" - 1;

// A full path made canonical as Windows makes it: "." and ".." parts resolved
// and no trailing backslash. Empty when folder is not a full path on a drive.
std::string CanonicalFolder(const std::string& folder);

enum class FolderUse {
  kInstall,  // about to install into it
  kPurge,    // about to remove the installation's files from it, once the service is removed
};

// Judges folder for use. Returns why it is refused, or an empty text when it
// is accepted. On a first installation, or a move into another folder, an
// existing folder must belong to an administrator and hold nothing; an update
// in place, and a purge, judge what it holds by the access model. For kPurge,
// leftover, when given, names what the folder holds besides kInstalledNames.
std::string JudgeServiceFolder(const std::string& folder, FolderUse use,
                               const MachineFolders& machine, const FolderFacts& facts,
                               std::string* leftover = nullptr);

// Why others than the trusted can make `changes` to a file or folder, given
// the folder it lies in, or empty.
std::string OthersCanChange(const ObjectFacts& object, const SecurityDescriptor* parent,
                            unsigned changes, const Trusted& trusted);
// "is a link to" where it leads, or "another place".
std::string LinkWords(const ObjectFacts& object);

// Judges a file or folder and the folders above it, chain[0] being the
// drive's root: a link anywhere, or a descriptor that cannot be read, is
// refused; the last `whole` may be changed by no one but the trusted, and
// those above them renamed or replaced by no one else. Returns why, or empty.
std::string JudgeChain(const std::vector<ObjectFacts>& chain, std::size_t whole,
                       const Trusted& trusted);

// The folder an installation copies from (install.cmd's own): it, everything
// it holds and the folders above it must be changeable by administrators only,
// or anyone could swap what is about to run elevated. Returns why not, or empty.
std::string JudgeSourceFolder(const FolderFacts& facts);
