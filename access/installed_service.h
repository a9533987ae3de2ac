// What the machine's registration of the service says, for the audit of an
// installed service: its image path, account and the access to its
// configuration, its registry key and every key below it.
#pragma once

#include <string>
#include <vector>

#include "access/access_model.h"

struct KeyFacts {
  std::string name;        // below the service's key, such as "Security"; empty for the key itself
  std::string unreadable;  // why its descriptor could not be read
  SecurityDescriptor descriptor;
};

struct InstalledFacts {
  bool registered = false;
  std::string imagePath;          // as registered
  bool heldByCodePage = true;     // the ANSI code page holds the image path whole
  std::string account;            // ObjectName; empty means LocalSystem
  std::string serviceUnreadable;  // why the service's own descriptor could not be read
  SecurityDescriptor service;
  std::vector<KeyFacts> keys;  // the service's registry key first, then every key below it
  Trusted trusted;
};

// The program an image path starts: what its quotes hold; unquoted, the
// text up to the first ".exe" that a space or the end follows, else all of it.
std::string ImageProgram(const std::string& imagePath);

// Whether Windows may take an image path apart at a space: unquoted, with a
// space or TAB before the program's name ends.
bool ImagePathSplits(const std::string& imagePath);
