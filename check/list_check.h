// What the service would do with a launch list, line by line, found by
// running the service's own reader and composition on the dry-run platform.
#pragma once

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

struct ListReport {
  std::string serviceListPath;    // the list the service at executablePath reads
  std::vector<Finding> findings;  // about the list as a whole
  std::vector<LineReport> lines;
  int linesNeverRead = 0;  // whole lines after an overlong one
  int Count(Level level) const;
};

// Every finding code, its level and when it is given, for --help.
struct FindingCode {
  const char* code;
  Level level;
  const char* when;
};
extern const FindingCode kFindingCodes[];
extern const int kFindingCodeCount;

const char* LevelName(Level level);
bool IsDoubleByteCodePage(unsigned codePage);

// The service executable's name for a list: ".dat" at the end becomes ".exe".
std::string ExecutableNameFor(const std::string& listName);

// A drive letter, a colon and a backslash, or \\server\, then a file name.
bool IsFullWindowsPath(const std::string& path);

void CheckList(const CheckOptions& options, ListReport& report);

const char* RuleName(CommandRule rule);
