// starter-check's options, and the modes that share them: a list, the
// installed service, a folder.
#pragma once

#include <iostream>
#include <string>
#include <vector>

#include "access/service_folder.h"
#include "lint/list_check.h"

struct ToolOptions {
  CheckOptions check;
  std::ostream* out = &std::cout;  // where the reports go
  std::vector<std::string> lists;
  bool executableGiven = false;
  bool json = false;
  bool failOnWarnings = true;
  bool failOnInstallation = false;  // --fail-on installation: only --installed's own errors
  bool judgeFolder = false;         // --service-folder: the folder rule instead of a list
  std::string folder;
  bool purge = false;
  bool update = false;
  std::string withList;      // a list to be installed into the folder, if not empty
  bool judgeSource = false;  // --source-folder
  std::string source;
  bool installed = false;    // --installed: the installed service, then its list
  bool listFiles = false;    // --listed-files: the files a list names without a path
  bool jobIdentity = false;  // --job-identity: the identity of the job a list makes
  bool dryRun = false;       // --dry-run: as for another machine, which the tool cannot see
  bool haveSystemDir = false;
  bool haveCodePage = false;
};

// Reads a whole list once, so that a pipe can be read too; false, and why,
// when it cannot.
bool ReadList(const std::string& name, std::string& bytes, std::string& error);

// The machine the lists are checked for: this one, where the tool can see
// it, or, in a dry run, another with the defaults of a build that cannot.
void ChooseMachine(ToolOptions& tool);

// Checks one list and writes its report. Returns its exit status.
int CheckOneList(ToolOptions& tool, const std::string& list, bool first);
// --listed-files: what an installation copies into the service's folder.
int ListFiles(const ToolOptions& tool);
// --job-identity: the identity of the job a list and the files beside it
// make, which an installation records for a deployment tool's detection.
int PrintJobIdentity(const ToolOptions& tool);
// --installed: the registration, the folder by the folder rule, then the list.
int AuditInstalled(ToolOptions& tool);
// The folder's facts as this machine shows them; with --update, as the
// folder the service is installed in.
FolderFacts FactsOf(const std::string& folder, bool update);
// --service-folder: the folder rule, and with --with-list the list as well.
int JudgeFolder(ToolOptions& tool);
// Why a list to be installed is refused, or empty: it must be there,
// readable, with no quote, which the package could not pass whole, and on
// Windows out of others' reach, as the folder is.
std::string JudgeListToInstall(const std::string& list);
// The list to be installed into folder, checked as the service there will
// read it on this machine: the files it names without a path are taken from
// the list's own folder, and those of the job recorded there that it does
// not bring again are gone. Returns CheckOneList's status; the report goes
// to tool.out.
int CheckListInto(ToolOptions& tool, const std::string& list, const std::string& folder);
// --source-folder: whether an installation may copy from a folder.
int JudgeSource(const ToolOptions& tool);
