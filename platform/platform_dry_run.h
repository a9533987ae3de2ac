// The dry-run platform: platform.h answered from values it is given, with
// every start recorded instead of made. starter-check ships on it, and the
// native tests run the real reading and composition code on it.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct DryRunStart {
  std::string commandLine;
  bool hasDirectory;
  std::string directory;
  bool inheritHandles;
  unsigned creationFlags;
};

struct DryRunPlatform {
  std::string executablePath = "C:\\Svc\\Starter.exe";
  std::string systemDirectory = "C:\\WINDOWS\\system32";
  // Returns false to make a start fail; by default every start succeeds.
  std::function<bool(const DryRunStart&)> startSucceeds;

  // When set, OpenListFile serves these bytes whatever the path, so a list is
  // read once, from a pipe too. Otherwise it opens real files, with
  // backslashes read as slashes off Windows, so a test can put the executable
  // in a temp folder.
  const std::string* listBytes = nullptr;
  // Every path OpenListFile was asked for.
  std::vector<std::string> openedPaths;
  std::vector<DryRunStart> starts;  // every StartProcess call, failed ones too
  int openLists = 0;                // lists open right now
};

// Resets every answer and record, and makes codePage the ANSI code page.
DryRunPlatform& ResetDryRun(unsigned codePage = 1252);
DryRunPlatform& DryRun();
