// What the service would do with a launch list, line by line, found by
// running the service's own reader and composition on the dry-run platform.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "launch/compose_command.h"

struct CheckOptions {
  std::string list;            // the list's name as given: a path on this machine, or "-"
  std::string bytes;           // the list's whole content, read once
  std::string executablePath;  // the service's full Windows path
  bool executableGiven = false;
  std::string systemDirectory;
  unsigned codePage = 1252;
  std::set<std::string> ignore;  // finding codes a pipeline has judged
  // Looks for a file or folder on the machine the tool runs on; null when it
  // cannot see the target machine's files.
  bool (*pathExists)(const std::string& path, bool directory) = nullptr;
};

// error: the start fails, or starts another program than the line names;
// warning: it starts, but may not do what its author meant; note: harmless.
enum class Level { kError, kWarning, kNote };

struct Finding {
  std::string code;  // short and stable, for scripts
  Level level;
  std::string message;
};

struct LineReport {
  int number = 0;    // 1 for the first read
  std::string read;  // the bytes the reader stored, after text-mode translation
  CommandRule rule = CommandRule::kBareProgram;
  std::string commandLine;
  bool hasDirectory = false;
  std::string directory;
  std::vector<Finding> findings;
};

// A list's report without its lines, which are handed out one at a time so
// that memory does not grow with the list.
struct ListReport {
  std::string serviceListPath;    // the list the service at executablePath reads
  std::vector<Finding> findings;  // about the list as a whole
  int lineCount = 0;
  int linesNeverRead = 0;  // whole lines after an overlong one
  int counts[3] = {0, 0, 0};
  int Count(Level level) const { return counts[static_cast<int>(level)]; }
};

// Every finding code, its level and when it is given, for --help.
struct FindingCode {
  const char* code;
  Level level;
  const char* when;
};
extern const FindingCode kFindingCodes[];
extern const int kFindingCodeCount;
bool IsFindingCode(const std::string& code);

const char* LevelName(Level level);
bool IsDoubleByteCodePage(unsigned codePage);

// The service executable's name for a list: ".dat" at the end becomes ".exe".
std::string ExecutableNameFor(const std::string& listName);

// A drive letter, a colon and a backslash, or \\server\share\, then a name;
// no forward slash, no trailing backslash. A directory may be a share's root.
bool IsFullWindowsPath(const std::string& path, bool directory = false);

// How CreateProcessA finds the program of a command line with no application
// name: a quoted name alone; otherwise each prefix that ends before a space
// or a TAB, shortest first, then the whole line. ".exe" is added to a name
// whose last part has no extension. The names are as written: see
// FromServiceDirectory for where each leads.
std::vector<std::string> ModuleCandidates(const std::string& commandLine);

// A path as the service's children see it. Their current directory is the
// system directory: a relative path starts there, and so does a drive-relative
// one on its drive ("C:x"), while another drive's is its root; a rooted path
// ("\x") starts at the root of the system directory's drive.
std::string FromServiceDirectory(const std::string& path, const std::string& systemDirectory);

// Fills the whole-list part of report, then checks each line in the order the
// service reads it, handing its report to onLine before the next is read.
void CheckList(const CheckOptions& options, ListReport& report,
               const std::function<void(const LineReport&)>& onLine);

const char* RuleName(CommandRule rule);
