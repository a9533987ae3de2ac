// The installation's lifecycle, the one owner of every file, registry and
// access step: it makes the folder, judges it, sets its access, brings the
// list and the files the list names, replaces a job, stops, registers and
// removes the service, purges, and takes a folder back. install.cmd,
// uninstall.cmd (through starter-setup.exe) and the Windows Installer
// package (through package-actions.dll) call it and do none of their own.
// Each step opens what it works on once, never through a link, judges that
// handle and acts on it.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "access/service_folder.h"

// Where a step's words go: the console, or the installer's log.
using Say = std::function<void(const std::string& line)>;

// The installation's policy, written once: Administrators own the folder,
// and they and SYSTEM alone may use it and all that it holds, which inherits.
constexpr char kFolderPolicy[] = "O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
// The installation's own registry key, in the 32-bit program's view (on
// 64-bit Windows below WOW6432Node, with the package's uninstall entry): the
// folder it installed into, which a purge after a plain removal still finds,
// and the identity of the job installed there, for a deployment tool's
// detection.
constexpr char kSettingsKey[] = "SOFTWARE\\Corvane\\Remote Starter";
constexpr char kFolderValue[] = "Folder";
constexpr char kJobValue[] = "Job";

enum class StartType { kKeep, kAuto, kDemand, kDisabled };
// "auto", "automatic", "demand", "manual" and "disabled", as Windows names
// them, in any case; false for any other.
bool ReadStartType(const std::string& text, StartType& type);

// Whether this process runs with the Administrators group enabled.
bool Elevated();

// The folder the installation goes into by default: CorvaneRemoteStarter in
// this machine's ProgramData.
std::string DefaultServiceFolder();

// The folder rule, on this machine, as `use` finds the folder; update: the
// service is installed there. Returns why it is refused, or empty;
// leftover, for a purge, names what stays.
std::string JudgeFolderHere(const std::string& folder, FolderUse use, bool update,
                            std::string* leftover = nullptr);
// Whether an installation may copy from a folder: why not, or empty.
std::string JudgeSourceHere(const std::string& folder);

// The list to be installed into folder, checked as the service there will
// read it on this machine: the files it names without a path are taken from
// the list's own folder, and the files of the job there that it does not
// bring again are gone. 0: no error; 1: errors; 2: it cannot be read. Its
// report goes to out.
int CheckListForFolder(const std::string& list, const std::string& folder, std::ostream& out);

// The installation audited as the service will find it: its registration,
// account and access, its folder by the folder rule. False when it fails;
// the report then goes to out.
bool AuditHere(std::ostream& out);

// Makes the folder, with the policy from the moment it exists, if it is not
// there; then gives it and everything in it the policy, on handles opened
// without following a link. False, and why, when it cannot.
bool PrepareFolder(const std::string& folder, std::string& error);

// Copies a file into the folder under a temporary name, then puts it in the
// place of name: a failure leaves the old file.
bool CopyIntoFolder(const std::string& from, const std::string& folder, const std::string& name,
                    std::string& error);

// A job: the list at `list` and the files it names without a path that lie
// beside it. Bringing it stages the new files, sets the old job's files
// aside and puts the new ones in place with the job's record; keeping it
// removes what was set aside, the files of the old job that the new one
// does not bring again among them; undoing it puts the old job back. A job
// left half done by an earlier run is undone first.
bool BringJob(const std::string& list, const std::string& folder, std::string& error);
bool KeepJob(const std::string& folder, std::string& error);
bool UndoJob(const std::string& folder, std::string& error);
// The names of the files the job in the folder brought, from its record.
std::vector<std::string> RecordedJobFiles(const std::string& folder);

// Removes the installation's files from the folder, the job's with them, and
// the folder too when nothing else is left in it. False, and why, when a
// file cannot go; what stays besides is in leftover.
bool PurgeFolder(const std::string& folder, std::string& leftover, std::string& error);

// The service: whether it is registered, and in which folder.
bool Registered(std::string& folder);
// Asks it to stop, and waits up to two minutes for it to finish its list.
bool StopService(const Say& say, std::string& error);
// Registers the service in folder, or changes its registration to it:
// own process and interactive, LocalSystem, with its description.
bool RegisterService(const std::string& folder, StartType type, bool& created, std::string& error);
bool SetStartType(StartType type, std::string& error);
bool DeleteService(std::string& error);
// Starts it once; afterInstaller first waits for a running Windows Installer
// transaction to end, so that the list's patches do not fail with 1618.
bool StartServiceOnce(bool afterInstaller, std::string& error);
// "on demand", "at every boot (auto)", "never: it is disabled".
std::string StartTypeWords();

// The installation's settings: the folder, and the identity of the job its
// record names, or none. False, and why, when they cannot be written.
bool RememberInstallation(const std::string& folder, std::string& error);
void ForgetJob();
void ForgetInstallation();
// The folder a plain removal left, if the settings, which only
// administrators may change, name one.
std::string RememberedFolder();
std::string JobIdentityHere();
