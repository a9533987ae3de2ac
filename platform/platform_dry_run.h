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
  explicit DryRunPlatform(unsigned codePage = 1252);
  // The ANSI code page's lead bytes.
  bool leadBytes[256];
  bool hasLeadBytes;
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

// Makes a platform the one that platform.h answers from while it lives, and
// the one before it again after: a check owns its platform, and nothing
// depends on what ran before it.
class UseDryRun {
 public:
  explicit UseDryRun(DryRunPlatform& platform);
  UseDryRun(const UseDryRun&) = delete;
  UseDryRun& operator=(const UseDryRun&) = delete;
  ~UseDryRun();

 private:
  DryRunPlatform* previous_;
};

// For the tests: resets the platform that answers when no other is in use,
// and makes codePage the ANSI code page.
DryRunPlatform& ResetDryRun(unsigned codePage = 1252);
DryRunPlatform& DryRun();
