// The facts about a whole list that its lines' rules need, each worked out
// once, before the first line: so that a line's check costs the same however
// long the list, and a finding about other lines is known on the first.
#pragma once

#include <string>
#include <vector>

#include "lint/findings.h"
#include "paths/service_view.h"

struct ListFacts {
  bool utf16 = false;  // every line is garbage to the service
  int utf8Line = 0;    // the first line with a multi-byte UTF-8 sequence, or 0
  std::string::size_type ctrlZ = std::string::npos;  // the first Ctrl-Z
  bool textAfterCtrlZ = false;                       // more than padding after it
  int installerLines = 0;                            // lines the installer rule takes
  int otherLines = 0;  // lines that start anything else, but for blank ones
  std::string::size_type size = 0;
  std::string name;             // the list's own file name, or "-"
  std::string serviceListPath;  // the list the service reads
};

// The facts of bytes, read as the service at service reads them.
ListFacts ReadListFacts(const std::string& bytes, const ServiceView& service);

// The files a list names without a path, as the service looks for them in its
// folder: each installer line's patch, and each bare program with the .exe
// rule; once each, lowered as the service lowers them, in the order the list
// first names them, and never one of the installation's own.
std::vector<std::string> FilesNamedWithoutPath(const std::string& bytes,
                                               const std::string& executablePath,
                                               unsigned codePage);

// Whether a line is a comment of another language, which the service has
// none of: #, ;, //, :: or rem first, after any spaces.
bool IsComment(const std::string& lowered);
