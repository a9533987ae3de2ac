// Test double for platform.h. Tests set the answers, run the real code, then
// read what it asked for and what it started.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct FakeStart {
  std::string commandLine;
  bool hasDirectory;
  std::string directory;
  bool inheritHandles;
  unsigned creationFlags;
};

struct FakePlatform {
  std::string executablePath = "C:\\Svc\\Starter.exe";
  std::string systemDirectory = "C:\\WINDOWS\\system32";
  // Returns false to make a start fail; by default every start succeeds.
  std::function<bool(const FakeStart&)> startSucceeds;

  // Every path OpenListFile was asked for. It opens real files, with
  // backslashes read as slashes off Windows, so a test can put the executable in a
  // temp folder.
  std::vector<std::string> openedPaths;
  std::vector<FakeStart> starts;  // every StartProcess call, failed ones too
  int openLists = 0;              // lists open right now
};

// Resets every answer and record, and makes codePage the ANSI code page.
FakePlatform& ResetFake(unsigned codePage = 1252);
FakePlatform& Fake();
