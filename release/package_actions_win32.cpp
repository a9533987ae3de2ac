// package-actions.dll: the Windows Installer package's custom actions. Each
// calls the installation's lifecycle, as starter-setup.exe does for the
// zip's scripts, and writes what it says, a refusal's reason above all, into
// the installer's log. The package calls it from its Binary table; it is
// never installed.
#include <windows.h>
// clang-format off
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include <sstream>
#include <string>

#include "install/file_steps_win32.h"
#include "install/installation.h"
#include "paths/windows_paths.h"
#include "tool/tool_options.h"

namespace {

std::string Property(MSIHANDLE install, const char* name) {
  char value[2048] = "";
  DWORD size = sizeof value;
  return MsiGetPropertyA(install, name, value, &size) == ERROR_SUCCESS ? value : "";
}

// A line in the installation's log, and so, with /l*v, in the log file.
void Log(MSIHANDLE install, const std::string& text) {
  // A report's [ and ] would read as properties: each is written [\[] and [\]].
  std::string escaped;
  for (char c : text) escaped += c == '[' ? "[\\[]" : c == ']' ? "[\\]]" : std::string(1, c);
  MSIHANDLE record = MsiCreateRecord(0);
  MsiRecordSetStringA(record, 0, ("Corvane Remote Starter: " + escaped).c_str());
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
  MsiCloseHandle(record);
}

// Each line of a report into the log.
void LogLines(MSIHANDLE install, const std::string& text) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) Log(install, line);
}

UINT Refuse(MSIHANDLE install, const std::string& why) {
  Log(install, why);
  return ERROR_INSTALL_FAILURE;
}

// The deferred actions read what the immediate one worked out: the folder,
// and for BringJob the list after a "|".
std::string Data(MSIHANDLE install) {
  return Property(install, "CustomActionData");
}

}  // namespace

// First of all, before the start type an upgrade keeps is filled in: the
// values an administrator or a deployment tool gave.
extern "C" __declspec(dllexport) UINT __stdcall CheckProperties(MSIHANDLE install) {
  const std::string startType = Property(install, "STARTTYPE");
  StartType type;
  if (!startType.empty() && (!ReadStartType(startType, type) || type == StartType::kDisabled)) {
    return Refuse(install, "STARTTYPE=" + startType +
                               " is refused: it takes auto, automatic, demand or manual, in any "
                               "case");
  }
  const std::string start = Property(install, "STARTSERVICE");
  if (!start.empty() && start != "1") {
    return Refuse(install, "STARTSERVICE=" + start + " is refused: it takes 1, or is not given");
  }
  return ERROR_SUCCESS;
}

// Before anything changes, as the user who runs the installation: the
// folder rule, then the list as the service will read it. The deferred
// actions are given what they need.
extern "C" __declspec(dllexport) UINT __stdcall JudgeFolder(MSIHANDLE install) {
  const std::string folder = WithoutTrailingBackslash(Property(install, "ServiceFolder"));
  const bool update = Property(install, "FolderUse") == "--update";
  std::string why = JudgeFolderHere(folder, FolderUse::kInstall, update);
  if (!why.empty()) return Refuse(install, "refusing " + Quoted(folder) + ": " + why);
  const std::string list = Property(install, "ListSource");
  if (!list.empty()) {
    why = JudgeListToInstall(list);
    if (why.empty()) {
      std::ostringstream report;
      int status = CheckListForFolder(list, folder, report);
      LogLines(install, report.str());
      if (status != 0) why = "it has errors, shown above";
    }
    if (!why.empty()) return Refuse(install, "refusing the list " + Quoted(list) + ": " + why);
  }
  for (const char* action : {"PrepareFolder", "UndoJob", "KeepJob", "AuditInstallation"}) {
    MsiSetPropertyA(install, action, folder.c_str());
  }
  MsiSetPropertyA(install, "BringJob", (folder + "|" + list).c_str());
  MsiSetPropertyA(install, "SetStartType", Property(install, "STARTTYPE").c_str());
  Log(install, Quoted(folder) + " may serve as the service's folder");
  return ERROR_SUCCESS;
}

// As SYSTEM: the folder made, if it is not there, and given to
// Administrators and SYSTEM alone with all it holds, then judged again.
extern "C" __declspec(dllexport) UINT __stdcall PrepareFolder(MSIHANDLE install) {
  UseAdministratorRights();
  const std::string folder = Data(install);
  std::string error;
  if (!PrepareFolder(folder, error)) {
    return Refuse(
        install, "cannot give " + Quoted(folder) + " to Administrators and SYSTEM alone: " + error);
  }
  std::string why = JudgeFolderHere(folder, FolderUse::kInstall, true);
  if (!why.empty()) return Refuse(install, "refusing " + Quoted(folder) + ": " + why);
  return RememberInstallation(folder, error) ? ERROR_SUCCESS : Refuse(install, error);
}

// As SYSTEM: the job brought in, with the old one set aside until the
// installation is kept (KeepJob) or rolled back (UndoJob).
extern "C" __declspec(dllexport) UINT __stdcall BringJob(MSIHANDLE install) {
  UseAdministratorRights();
  const std::string data = Data(install);
  const std::string folder = data.substr(0, data.find('|'));
  const std::string list = data.substr(data.find('|') + 1);
  std::string error;
  if (!BringJob(list, folder, error)) return Refuse(install, "cannot bring the job: " + error);
  Log(install, "brought the job of " + Quoted(list));
  return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT __stdcall KeepJob(MSIHANDLE install) {
  UseAdministratorRights();
  std::string error;
  if (!KeepJob(Data(install), error)) Log(install, "the old job's files stay: " + error);
  return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT __stdcall UndoJob(MSIHANDLE install) {
  UseAdministratorRights();
  std::string error;
  if (!UndoJob(Data(install), error)) Log(install, "the old job cannot be put back: " + error);
  return ERROR_SUCCESS;
}

// As SYSTEM, once the service is registered: its table holds one fixed
// start type, and STARTTYPE, or the one an upgrade found, must win.
extern "C" __declspec(dllexport) UINT __stdcall SetStartType(MSIHANDLE install) {
  StartType type = StartType::kDemand;
  ReadStartType(Data(install), type);
  std::string error;
  return SetStartType(type, error) ? ERROR_SUCCESS : Refuse(install, error);
}

// As SYSTEM: the result, as the service will find it.
extern "C" __declspec(dllexport) UINT __stdcall AuditInstallation(MSIHANDLE install) {
  std::ostringstream report;
  if (!AuditHere(report)) {
    LogLines(install, report.str());
    return Refuse(install, "the installation fails its audit, shown above");
  }
  return ERROR_SUCCESS;
}

// On removal, but not an upgrade's: the job no longer runs here.
extern "C" __declspec(dllexport) UINT __stdcall ForgetJob(MSIHANDLE) {
  ForgetJob();
  return ERROR_SUCCESS;
}
