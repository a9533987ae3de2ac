// What the service would do with a launch list, line by line, found by
// running the service's own reader and composition on the recording platform.
#pragma once

#include <string>
#include <vector>

#include "launch/compose_command.h"

struct CheckOptions {
  std::string list;            // the list file to read, a path on this machine
  std::string executablePath;  // the service's full Windows path
  std::string systemDirectory;
  unsigned codePage = 1252;
};

struct CheckWarning {
  std::string code;  // short and stable, for scripts
  std::string message;
};

struct LineReport {
  int number = 0;    // 1 for the first read
  std::string read;  // the bytes the reader stored, after text-mode translation
  CommandRule rule = CommandRule::kBareProgram;
  std::string commandLine;
  bool hasDirectory = false;
  std::string directory;
  std::vector<CheckWarning> warnings;
};

struct ListReport {
  std::string serviceListPath;  // the list the service at executablePath reads
  std::vector<LineReport> lines;
  int linesNeverRead = 0;  // whole lines after an overlong one
  int WarningCount() const;
};

// The service executable's name for a list: ".dat" at the end becomes ".exe".
std::string ExecutableNameFor(const std::string& listName);

// Fills report; false, with error set, when the list cannot be read.
bool CheckList(const CheckOptions& options, ListReport& report, std::string& error);

const char* RuleName(CommandRule rule);
