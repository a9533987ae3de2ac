// The service a list is checked for, as its children see it, and, on the
// target, the machine it runs on.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "paths/windows_paths.h"

// The service as its children see it, and, on the target, the machine it
// runs on. Its current directory is the system directory, on Windows as for
// every service. The rules are given this, never the platform's state.
struct ServiceView {
  std::string executablePath;
  std::string serviceDirectory;
  std::string systemDirectory;
  unsigned codePage = 1252;
  bool pathKnown = false;                // whether pathFolders is the service's PATH
  std::vector<std::string> pathFolders;  // its PATH, in order
  // What is at a path, and why others than administrators can change it, or
  // empty: on the target only, null in a dry run.
  std::function<FileKind(const std::string& path)> fileKind;
  std::function<std::string(const std::string& path)> changeable;
  // Where the files the list names without a path are copied from, if they
  // are to be: looked for there first.
  std::string filesFrom;
  // On the target: whether it is 64-bit Windows, where the 32-bit service
  // runs under WoW64, its System32 is SysWOW64, and no DOS program runs.
  bool wow64 = false;
  bool runsDos = true;
};
