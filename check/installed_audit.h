// starter-check --installed: what the machine's registration of the service
// says, judged as the folder rule and the access model judge everything else.
#pragma once

#include <string>
#include <vector>

#include "check/access_model.h"
#include "check/list_check.h"

struct InstalledFacts {
  bool registered = false;
  std::string imagePath;          // as registered
  bool heldByCodePage = true;     // the ANSI code page holds the image path whole
  std::string account;            // ObjectName; empty means LocalSystem
  std::string serviceUnreadable;  // why the service's own descriptor could not be read
  SecurityDescriptor service;
  std::string keyUnreadable;  // the same for its registry key
  SecurityDescriptor key;
  Trusted trusted;
};

// The program an image path starts: what its quotes hold, else all of it.
std::string ImageProgram(const std::string& imagePath);

// The installation's own findings. folderVerdict is the folder rule's
// refusal of the image path's folder, judged as an update in place finds it.
std::vector<Finding> AuditInstallation(const InstalledFacts& facts,
                                       const std::string& folderVerdict);
