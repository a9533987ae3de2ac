// The facts about one line that the rules judge, each worked out once: the
// line as the service read, lowered and composed it, how CreateProcessA reads
// its command, and, on the target, what is there.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "launch/compose_command.h"
#include "paths/service_view.h"

struct LineSheet {
  int number = 0;          // 1 for the first read
  bool finalRead = false;  // the empty read after the last line end, or at a Ctrl-Z
  bool overlong = false;   // over 559 characters: the run stops after it
  int linesNeverRead = 0;  // whole lines after an overlong one
  bool runEnds = false;    // the service reads no line after this one
  std::string read;        // the bytes the reader stored, after text-mode translation

  // The line as the service's grammar reads it, lowered, up to any NUL, and
  // whether it names nothing, or reads as a comment of another language.
  std::string lowered;
  bool blank = false;
  bool comment = false;
  CommandRule rule = CommandRule::kBareProgram;
  std::string word;  // the first word, without its quotes
  std::size_t wordAt = 0;
  std::size_t wordEnd = 0;
  bool quoted = false;
  std::size_t argumentsAt = 0;  // the space after the word, or the end
  bool hasPatch = false;
  std::string patch;  // what follows " /p "
  std::size_t patchAt = 0;
  std::string patchName;  // the patch argument up to its first space or TAB
  // The first word after any spaces or TABs, without quotes around it, and
  // where it ends: the program an installer line names.
  std::string leadingWord;
  std::size_t leadingWordEnd = 0;
  std::size_t nulAt = std::string::npos;  // the first NUL the reader stored, if any

  // The line as the service composes it.
  std::string commandLine;
  bool hasDirectory = false;
  std::string directory;
  std::size_t nameEnd = 0;  // where the name the start needs ends, as the composer says
  // Where the name that starts ends: for an unquoted path, the name
  // CreateProcessA starts (past the cut, when it runs on past it), else nameEnd.
  std::size_t startsNameEnd = 0;
  std::string composedPatch;  // what follows " /p " in the command line

  // The command as CreateProcessA reads it: the names it tries, in order, as
  // written and with the .exe rule, and, for an unquoted path, the first
  // name after which the path stops: before an option or a path of its own.
  std::vector<std::string> names;
  std::vector<std::string> candidates;
  std::size_t pathEnd = 0;

  // On the target, when the service's view has files.
  bool looked = false;
  std::vector<std::string> tried;  // every place looked at, in order
  std::string starts;              // the file that starts; empty when none does
  FileKind startsKind = FileKind::kNone;
  std::size_t startsAt = 0;  // the candidate it is
  std::string startsWhere;   // the place it was found in, in words
  std::string alsoExists;    // a longer candidate that exists too
  bool directoryThere = true;
  std::string patchFile;  // where the patch is taken from
  bool patchThere = true;
};

// Whether the installer-patch rule takes the line, or the bare-program rule.
inline bool IsInstaller(const LineSheet& line) {
  return line.rule == CommandRule::kInstallerPatch;
}
inline bool Bare(const LineSheet& line) {
  return line.rule == CommandRule::kBareProgram;
}

// The facts of line, already read, as the service at service reads, lowers
// and composes it. Uses the service's own step on the dry-run platform, which
// must be set up for service.
void BuildSheet(const ServiceView& service, LineSheet& line);

// Where a file the service looks for comes from: what is to be copied into
// its folder is looked for where it is copied from first.
std::string SourceOf(const ServiceView& service, const std::string& path);

// The patch argument's file names: the first, the service's, and any more
// joined to it by ";", each a full path.
std::vector<std::string> PatchNames(const std::string& patchName);
