// starter-setup.exe: the installation's lifecycle for install.cmd and
// uninstall.cmd, which parse their arguments and call it. It installs what
// lies beside itself.
//   starter-setup install [FOLDER] [--start-type auto|demand] [--start] [--force]
//   starter-setup uninstall [--purge]
//   starter-setup start [--after-installer]
//   starter-setup status
// Exit status 0 when done, 1 when refused or failed, 2 for a usage error.
#include <windows.h>

#include <algorithm>
#include <iostream>
#include <iterator>
#include <string>

#include "install/file_steps_win32.h"
#include "install/installation.h"
#include "install/job_record.h"
#include "service/service_name.h"
#include "tool/check_defaults.h"

namespace {

const char kUsage[] =
    "usage: starter-setup install [FOLDER] [--start-type auto|demand] [--start] [--force]\n"
    "       starter-setup uninstall [--purge]\n"
    "       starter-setup start [--after-installer]\n"
    "       starter-setup status\n";

struct Request {
  std::string verb;
  std::string folder;
  StartType type = StartType::kKeep;
  bool start = false;
  bool force = false;
  bool purge = false;
  bool afterInstaller = false;
};

Say Saying(const char* who) {
  // Flushed at once: a script, or a test, waits on each line as it comes.
  return [who](const std::string& line) { std::cout << who << ": " << line << std::endl; };
}

// The folder this program lies in: the release's, whose files it installs.
std::string OwnFolder() {
  char path[MAX_PATH] = "";
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string text(path, length < sizeof path ? length : 0);
  return text.substr(0, text.find_last_of('\\'));
}

// The folder made absolute, as the current directory reads it, without a trailing backslash.
std::string FullFolder(const std::string& folder) {
  char full[MAX_PATH] = "";
  DWORD length = GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
  std::string text = length > 0 && length < sizeof full ? full : folder;
  const std::string canonical = CanonicalFolder(text);
  return canonical.empty() ? text : canonical;
}

int Install(const Request& request) {
  const Say say = Saying("install");
  std::string error;
  if (request.folder.find('"') != std::string::npos) {
    say("the folder holds a double quote, which cmd.exe and sc.exe cannot pass; nothing was "
        "changed");
    return 1;
  }
  const std::string here = OwnFolder();
  const std::string folder =
      request.folder.empty() ? DefaultServiceFolder() : FullFolder(request.folder);
  std::string why = JudgeSourceHere(here);
  if (!why.empty()) {
    std::cout << "refusing to install from " << Quoted(here) << ": " << why << "\n";
    say("copy the release into a folder that only administrators can change, and run it from "
        "there; nothing was changed");
    return 1;
  }
  std::string installedIn;
  const bool registered = Registered(installedIn);
  const bool inPlace = registered && SameName(installedIn, folder);
  why = !request.folder.empty() && !HeldByCodePage(request.folder)
            ? "this machine's ANSI code page cannot hold its name, so the service could not name "
              "its own folder"
            : JudgeFolderHere(folder, FolderUse::kInstall, inPlace);
  if (!why.empty()) {
    std::cout << "refusing " << Quoted(folder) << ": " << why << "\n";
    say("nothing was changed");
    return 1;
  }
  const std::string list = here + "\\starter.dat";
  const bool haveList = Exists(list);
  if (haveList) {
    say("checking starter.dat as " + Quoted(folder + "\\starter.exe") +
        " will read it, with the files it names from here");
    int status = CheckListForFolder(list, folder, std::cout);
    if (status >= 2) {
      say("cannot read " + Quoted(list));
      return 1;
    }
    if (status == 1 && !request.force) {
      say("starter.dat has errors, so nothing was changed; mend it, or give /force");
      return 1;
    }
    if (status == 1) say("/force: installing the list in spite of its errors");
  }
  if (registered) {
    say("updating the installed service");
    if (!StopService(say, error)) {
      say(error + "; nothing was changed, try again later");
      return 1;
    }
  }
  // Closed to all but Administrators and SYSTEM before anything goes in,
  // then judged again: what got in before would still be there.
  if (!PrepareFolder(folder, error)) {
    say("cannot give " + Quoted(folder) + " to Administrators and SYSTEM alone: " + error +
        "; nothing was copied");
    return 1;
  }
  why = JudgeFolderHere(folder, FolderUse::kInstall, true);
  if (!why.empty()) {
    std::cout << "refusing " << Quoted(folder) << ": " << why << "\n";
    say(Quoted(folder) + " changed while it was being restricted; nothing was copied");
    return 1;
  }
  const char* const programs[] = {"starter.exe", "starter-check.exe"};
  if (!std::all_of(std::begin(programs), std::end(programs), [&](const char* name) {
        return CopyIntoFolder(InFolder(here, name), folder, name, error);
      })) {
    say(error + "; the file there is unchanged");
    return 1;
  }
  if (haveList && !(BringJob(list, folder, error) && KeepJob(folder, error))) {
    say("cannot bring the job: " + error + "; the job there is unchanged");
    return 1;
  }
  if (registered && !inPlace) {
    say("moving the service from " + Quoted(installedIn) + "; its files there, its list too, stay");
  }
  bool created = false;
  if (!RegisterService(folder, request.type, created, error)) {
    say(error);
    return 1;
  }
  if (!RememberInstallation(folder, error)) {
    say(error);
    return 1;
  }
  if (!AuditHere(std::cout)) {
    if (created && DeleteService(error)) {
      say("the new installation fails its audit (see above), so the service was removed again; "
          "its files stay in " +
          Quoted(folder));
    } else {
      say("the updated installation fails its audit (see above): mend what it names");
    }
    return 1;
  }
  say(Quoted(kServiceName) + " is installed in " + Quoted(folder) + ", and starts " +
      StartTypeWords());
  if (!Exists(folder + "\\starter.dat")) {
    say("it has no list yet: put starter.dat, and the files it names, beside this script and run "
        "it again");
  }
  say("keep this folder: uninstall.cmd, here, removes the service");
  if (request.start) {
    if (!StartServiceOnce(false, error)) {
      say(error);
      return 1;
    }
    say("started; sc query \"" + std::string(kServiceName) +
        "\" shows STOPPED, exit code 0, once every line is started");
    return 0;
  }
  say("start it with: sc start \"" + std::string(kServiceName) + "\"");
  say("sc start returns while the service works through its list (START_PENDING on Windows; "
      "Wine answers 1053); sc query then shows STOPPED, exit code 0, once it is done");
  return 0;
}

int Uninstall(const Request& request) {
  const Say say = Saying("uninstall");
  std::string error;
  std::string folder;
  if (Registered(folder)) {
    if (!StopService(say, error)) {
      say(error + "; nothing was removed, try again later");
      return 1;
    }
    if (!DeleteService(error)) {
      say(error);
      return 1;
    }
    ForgetJob();
    say("removed the service " + Quoted(kServiceName));
  } else {
    // What a plain removal left is still the installation's to purge.
    folder = request.purge ? RememberedFolder() : "";
    if (folder.empty()) {
      say(Quoted(kServiceName) + " is not installed; nothing to remove");
      return 0;
    }
  }
  if (folder.empty()) {
    say("the service had no image path, so no folder to name");
    return 0;
  }
  if (!Exists(folder + "\\")) {
    say("its folder " + Quoted(folder) + " no longer exists");
    ForgetInstallation();
    return 0;
  }
  if (!request.purge) {
    say(Quoted(folder) + " was left in place" +
        (Exists(folder + "\\starter.dat") ? ", with its list" : "") +
        ". install.cmd takes it back as it is;");
    std::cout << "  to remove it, run uninstall.cmd /purge\n";
    return 0;
  }
  std::string leftover;
  std::string why = JudgeFolderHere(folder, FolderUse::kPurge, false, &leftover);
  if (!why.empty()) {
    std::cout << "keeping " << Quoted(folder) << ": " << why << "\n";
    say("the service is removed, but nothing was removed from " + Quoted(folder) +
        " (see the line above)");
    return 1;
  }
  if (!PurgeFolder(folder, leftover, error)) {
    say("the service is removed, but " + Quoted(folder) +
        " could not be removed entirely: " + error);
    return 1;
  }
  ForgetInstallation();
  if (!leftover.empty()) {
    std::cout << Quoted(folder)
              << ": it holds what the installation did not put there: " << leftover
              << ", which stays\n";
    say("removed the installation's files from " + Quoted(folder) +
        "; the folder and all else in it were left (see the line above)");
    return 1;
  }
  say("removed " + Quoted(folder));
  return 0;
}

int Status() {
  std::string folder;
  if (!Registered(folder)) {
    std::cout << Quoted(kServiceName) << " is not installed\n";
    folder = RememberedFolder();
    if (!folder.empty()) std::cout << "a removal left " << Quoted(folder) << "\n";
    return 0;
  }
  std::cout << Quoted(kServiceName) << " is installed in " << Quoted(folder) << ", and starts "
            << StartTypeWords() << "\n";
  const std::string identity = JobIdentityHere();
  std::cout << "job: " << (identity.empty() ? "none" : identity) << "\n";
  for (const std::string& name : RecordedJobFiles(folder)) std::cout << "  " << name << "\n";
  return 0;
}

// Fills request from the command line; false, with the usage shown, when it is wrong.
bool ReadRequest(int argc, char** argv, Request& request) {
  if (argc < 2) return false;
  request.verb = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool installing = request.verb == "install";
    if (installing && argument == "--start-type" && i + 1 < argc) {
      if (!ReadStartType(argv[++i], request.type) || request.type == StartType::kDisabled) {
        return false;
      }
    } else if (installing && argument == "--start") {
      request.start = true;
    } else if (installing && argument == "--force") {
      request.force = true;
    } else if (installing && !argument.empty() && argument[0] != '-' && request.folder.empty()) {
      request.folder = argument;
    } else if (request.verb == "uninstall" && argument == "--purge") {
      request.purge = true;
    } else if (request.verb == "start" && argument == "--after-installer") {
      request.afterInstaller = true;
    } else {
      return false;
    }
  }
  return request.verb == "install" || request.verb == "uninstall" || request.verb == "start" ||
         request.verb == "status";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "/?")) {
    std::cout << kUsage;
    return 0;
  }
  Request request;
  if (!ReadRequest(argc, argv, request)) {
    std::cerr << kUsage;
    return 2;
  }
  if (request.verb == "status") return Status();
  if (!Elevated()) {
    Saying(request.verb.c_str())("run this from an elevated command prompt (Run as administrator)");
    return 1;
  }
  UseAdministratorRights();
  if (request.verb == "install") return Install(request);
  if (request.verb == "uninstall") return Uninstall(request);
  std::string error;
  if (!StartServiceOnce(request.afterInstaller, error)) {
    std::cerr << "starter-setup: " << error << "\n";
    return 1;
  }
  return 0;
}
