// starter-check --installed: what the machine's registration of the service
// says, judged as the folder rule and the access model judge everything else,
// by the installation's stage of rules.
#pragma once

#include <string>
#include <vector>

#include "access/installed_service.h"
#include "lint/list_check.h"

struct InstalledAudit {
  const InstalledFacts& facts;
  std::string folderVerdict;  // the folder rule's refusal of its folder, as an update finds it
  std::string list;           // the list it reads, when there is none there; else empty
};

// The installation's own findings.
std::vector<Finding> AuditInstallation(const InstalledAudit& audit);
