#include "check/service_folder.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "check/text_helpers.h"
#include "check/windows_paths.h"

const char* const kInstalledNames[] = {"starter.exe",           "starter-check.exe",
                                       "starter.dat",           "starter.exe.new",
                                       "starter-check.exe.new", "starter.dat.new"};
const int kInstalledNameCount = sizeof kInstalledNames / sizeof kInstalledNames[0];

namespace {

const char kDefaultName[] = "CorvaneRemoteStarter";

bool Under(const std::string& folder, const std::string& parent) {
  return !parent.empty() && folder.size() > parent.size() + 1 && folder[parent.size()] == '\\' &&
         SameName(folder.substr(0, parent.size()), parent);
}

bool Is(const std::string& folder, const std::string& other) {
  return !other.empty() && SameName(folder, other);
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// Where a folder may lie: nothing above it can be renamed or replaced by
// anyone but an administrator. Program Files and its folders are theirs
// alone; in ProgramData anyone may make a folder, so only a folder directly
// in it, made by the installation, is safe.
std::string JudgeLocation(const std::string& folder, const MachineFolders& machine, bool advise) {
  const std::string fallback = machine.programData + "\\" + kDefaultName;
  if (Is(folder, machine.windows) || Under(folder, machine.windows)) {
    return "it lies in the Windows folder, " + Quoted(machine.windows);
  }
  const std::string* const own[] = {&machine.programFiles, &machine.programFilesX86,
                                    &machine.programData, &machine.users};
  const char* const names[] = {"Program Files", "Program Files (x86)", "ProgramData", "Users"};
  auto system = std::find_if(std::begin(own), std::end(own),
                             [&](const std::string* one) { return Is(folder, *one); });
  if (system != std::end(own)) {
    // Nothing in Users will do, so the default is the example there.
    const std::string example =
        *system == &machine.users ? fallback : **system + "\\" + kDefaultName;
    return std::string("it is the ") + names[system - std::begin(own)] + " folder itself" +
           (advise ? ": give a folder of its own, such as " + Quoted(example) : "");
  }
  if (Under(folder, machine.users)) {
    return "it lies in the Users folder, " + Quoted(machine.users) +
           ", whose folders belong to their users";
  }
  bool inProgramFiles =
      Under(folder, machine.programFiles) || Under(folder, machine.programFilesX86);
  bool inProgramData = Under(folder, machine.programData) &&
                       folder.find('\\', machine.programData.size() + 1) == std::string::npos;
  if (!inProgramFiles && !inProgramData) {
    return "a standard user may rename or replace a folder above it, and with it the service's "
           "program and list" +
           (advise ? ": give a folder in Program Files, or one directly in ProgramData, such as "
                     "the default, " +
                         Quoted(fallback)
                   : "");
  }
  return "";
}

}  // namespace

std::string CanonicalFolder(const std::string& folder) {
  // "C:" too: a script takes the backslash off "C:\\" before it quotes a folder.
  if (!NamesDrive(folder) || (folder.size() > 2 && folder[2] != '\\')) return "";
  std::vector<std::string> parts;
  for (std::string::size_type at = 3; at <= folder.size();) {
    std::string::size_type end = folder.find('\\', at);
    if (end == std::string::npos) end = folder.size();
    std::string part = folder.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string canonical = folder.substr(0, 2);
  for (const std::string& part : parts) canonical += "\\" + part;
  return canonical;
}

std::string JudgeServiceFolder(const std::string& folder, FolderUse use,
                               const MachineFolders& machine, const FolderFacts& facts) {
  if (KindOfPath(folder) == PathKind::kUnc) {
    return "it is on a network share: the service's folder must be on a local drive";
  }
  auto unsafe = std::find_if(folder.begin(), folder.end(), [](char c) {
    return (c >= 0 && c < 0x20) || std::string("\"&|<>^%!/").find(c) != std::string::npos;
  });
  if (unsafe != folder.end()) {
    return "it holds a character that cmd.exe or sc.exe cannot pass safely: one of \" & | < > ^ "
           "% ! /, or a control character";
  }
  const std::string canonical = CanonicalFolder(folder);
  if (canonical.empty())
    return "it is not a full path on a drive, such as C:\\Program Files\\Corvane\\Starter";
  if (canonical.size() == 2) return "it is a drive root";
  // A trailing backslash, or one and a dot, as a quoted argument needs it.
  std::string written = folder;
  if (written.size() > 3 && written.compare(written.size() - 2, 2, "\\.") == 0) written.pop_back();
  if (written.size() > 3 && written.back() == '\\') written.pop_back();
  if (!SameName(canonical, written)) {
    return "it is not written as Windows reads it: give " + Quoted(canonical);
  }
  if (facts.known && !facts.longName.empty() && !SameName(facts.longName, canonical)) {
    return "it is written with 8.3 short names: give its long name, " + Quoted(facts.longName);
  }
  std::string where = JudgeLocation(canonical, machine, use == FolderUse::kInstall);
  if (!where.empty()) return where;
  if (use == FolderUse::kInstall) {
    if (canonical.size() + 1 + kLongestInstalledName > 259) {
      return "it is " + std::to_string(canonical.size()) +
             " characters long: the longest path an installation writes, " + canonical +
             "\\starter-check.exe.new, would pass 259 characters; give one of at most " +
             std::to_string(259 - 1 - kLongestInstalledName);
    }
    if (!facts.heldByCodePage) {
      return "this machine's ANSI code page cannot hold its name, so the service could not name "
             "its own folder";
    }
  }
  if (!facts.known || !facts.exists) return "";
  if (facts.file) return "it is a file, not a folder";
  if (facts.link) return "it is a link to another place";
  if (use == FolderUse::kInstall) {
    // Before the first installation nothing of ours is there: what is there
    // came from someone else, and the service would run it.
    if (!facts.serviceRegistered && !facts.entries.empty()) {
      return "no service is registered yet, but it holds " + Listed(facts.entries, 8) +
             ", put there by someone else: give a new or empty folder";
    }
    return "";
  }
  // A purge names all it leaves.
  std::vector<std::string> others;
  std::copy_if(facts.entries.begin(), facts.entries.end(), std::back_inserter(others),
               [](const std::string& entry) {
                 return std::none_of(kInstalledNames, kInstalledNames + kInstalledNameCount,
                                     [&](const char* name) { return SameName(entry, name); });
               });
  if (!others.empty()) {
    return "it holds what the installation did not put there: " + Listed(others);
  }
  return "";
}
