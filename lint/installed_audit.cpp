#include "lint/installed_audit.h"

#include "lint/rules.h"

std::vector<Finding> AuditInstallation(const InstalledAudit& audit) {
  const LineSheet none{};
  const ServiceView service;
  const ListFacts list;
  RuleContext context{none, service, list, &audit};
  return JudgeInstallation(context);
}
