// starter-check --installed: what the machine's registration of the service
// says, judged as the folder rule and the access model judge everything else.
#pragma once

#include <string>
#include <vector>

#include "access/installed_service.h"
#include "lint/list_check.h"

// The installation's own findings. folderVerdict is the folder rule's
// refusal of the image path's folder, judged as an update in place finds it.
std::vector<Finding> AuditInstallation(const InstalledFacts& facts,
                                       const std::string& folderVerdict);
