#include "access/service_folder.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "paths/windows_paths.h"
#include "text/string_helpers.h"

const char* const kInstalledNames[] = {
    "starter.exe",     "starter-check.exe",     "starter.dat",
    "starter.exe.new", "starter-check.exe.new", "starter.dat.new",
    "starter.job",     "starter.job.new\\",     "starter.job.old\\"};
const int kInstalledNameCount = sizeof kInstalledNames / sizeof kInstalledNames[0];

bool IsInstalledName(const std::string& name) {
  return std::any_of(kInstalledNames, kInstalledNames + kInstalledNameCount,
                     [&](const char* one) { return SameName(name, one); });
}

namespace {

const char kDefaultName[] = "CorvaneRemoteStarter";

// Whether a folder's entry is the installation's: one of its own files, or
// one the list it holds names.
bool IsInstallations(const std::string& entry, const FolderFacts& facts) {
  return IsInstalledName(entry) ||
         std::any_of(facts.jobFiles.begin(), facts.jobFiles.end(),
                     [&](const std::string& one) { return SameName(entry, one); });
}

bool Under(const std::string& folder, const std::string& parent) {
  return !parent.empty() && folder.size() > parent.size() + 1 && folder[parent.size()] == '\\' &&
         SameName(folder.substr(0, parent.size()), parent);
}

bool Is(const std::string& folder, const std::string& other) {
  return !other.empty() && SameName(folder, other);
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

// Names that Windows reads otherwise than they are written: wildcards, a
// stream after a colon, devices, and parts whose trailing dots and spaces it drops.
std::string JudgeNames(const std::string& folder) {
  if (folder.compare(0, 4, "\\\\?\\") == 0 || folder.compare(0, 4, "\\\\.\\") == 0) {
    return "it is written with the " + folder.substr(0, 4) +
           " prefix, which turns off how Windows reads a path and is not one the service can "
           "register: give the path without it";
  }
  if (folder.find_first_of("*?") != std::string::npos ||
      folder.find(':', NamesDrive(folder) ? 2 : 0) != std::string::npos) {
    return "it holds a wildcard (* or ?) or a colon after the drive, which Windows reads as a "
           "pattern or as a stream of a file";
  }
  for (std::string::size_type at = NamesDrive(folder) ? 3 : 0; at < folder.size();) {
    std::string::size_type end = std::min(folder.find('\\', at), folder.size());
    std::string part = folder.substr(at, end - at);
    if (part != "." && part != ".." && !part.empty() &&
        (part.back() == '.' || part.back() == ' ')) {
      return "its part " + Quoted(part) +
             " ends in a dot or a space, which Windows drops, so it names another folder";
    }
    if (KindOfPath(part) == PathKind::kDevice) {
      return "its part " + Quoted(part) + " is the name of a device, which Windows opens instead";
    }
    at = end + 1;
  }
  return "";
}

// How a message names chain[i]: "it" for the object judged, the last when
// whole is not 0; the path, with what it is to the object, for the others.
std::string Naming(const std::vector<ObjectFacts>& chain, std::size_t i, std::size_t whole) {
  if (whole > 0 && i + 1 == chain.size()) return "it";
  bool itsFolder = whole >= 2 && i + 2 == chain.size();
  return Quoted(chain[i].path) + (itsFolder ? ", the folder it lies in" : ", a folder above it");
}

// Why others than the trusted can change something an existing folder
// holds, the first such, or empty.
std::string JudgeContents(const FolderFacts& facts) {
  if (facts.chain.empty()) return "";
  for (const ObjectFacts& object : facts.contents) {
    if (object.link) {
      return Quoted(object.path) + ", which it holds, " + LinkWords(object);
    }
    const SecurityDescriptor& parent = object.parent < 0 ? facts.chain.back().descriptor
                                                         : facts.contents[object.parent].descriptor;
    std::string why = object.unreadable.empty()
                          ? OthersCanChange(object, &parent, kAnyChange, facts.trusted)
                          : "who can change it cannot be read: " + object.unreadable;
    if (!why.empty()) {
      return "others than administrators can change " + Quoted(object.path) +
             ", which it holds: " + why;
    }
  }
  return "";
}

}  // namespace

std::string OthersCanChange(const ObjectFacts& object, const SecurityDescriptor* parent,
                            unsigned changes, const Trusted& trusted) {
  ObjectType type = object.folder ? ObjectType::kFolder : ObjectType::kFile;
  std::vector<Changer> changers = WhoCanChange(object.descriptor, type, parent, trusted, changes);
  return changers.empty() ? "" : DescribeChangers(changers, type, trusted.nameOf);
}

std::string LinkWords(const ObjectFacts& object) {
  return "is a link to " + (object.leadsTo.empty() ? "another place" : Quoted(object.leadsTo));
}

std::string CanonicalFolder(const std::string& folder) {
  // "C:" too: a script takes the backslash off "C:\\" before it quotes a folder.
  if (!NamesDrive(folder) || (folder.size() > 2 && folder[2] != '\\')) return "";
  return WithoutDots(folder);
}

std::string JudgeChain(const std::vector<ObjectFacts>& chain, std::size_t whole,
                       const Trusted& trusted) {
  for (std::size_t i = 0; i < chain.size(); ++i) {
    const ObjectFacts& object = chain[i];
    const std::string name = Naming(chain, i, whole);
    const std::string subject = name == "it" ? name : name + ",";
    if (object.link) {
      return subject + " " + LinkWords(object);
    }
    if (!object.unreadable.empty()) {
      return "who can change " + subject + " cannot be read: " + object.unreadable;
    }
    std::string others =
        OthersCanChange(object, i > 0 ? &chain[i - 1].descriptor : nullptr,
                        i + whole >= chain.size() ? kAnyChange : kReplace, trusted);
    if (!others.empty()) {
      std::string why = "others than administrators can change " + name;
      return why.append(": ").append(others);
    }
  }
  return "";
}

std::string JudgeServiceFolder(const std::string& folder, FolderUse use,
                               const MachineFolders& machine, const FolderFacts& facts,
                               std::string* leftover) {
  std::string names = JudgeNames(folder);
  if (!names.empty()) return names;
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
  if (!facts.known) return "";
  if (!facts.unreadable.empty()) return facts.unreadable;
  if (facts.exists && facts.file) return "it is a file, not a folder";
  if (facts.exists && facts.link) {
    return "it is a link to " + (facts.leadsTo.empty() ? "another place" : Quoted(facts.leadsTo));
  }
  std::string chain = JudgeChain(facts.chain, facts.exists ? 1 : 0, facts.trusted);
  if (!chain.empty() || !facts.exists) return chain;
  if (use == FolderUse::kInstall &&
      !(facts.serviceRegistered && SameName(facts.installedIn, canonical))) {
    // A first installation, or a move: what is there came from someone else,
    // and its owner may hold a handle that outlives any reset.
    const std::string owner = facts.chain.empty() ? "" : facts.chain.back().descriptor.owner;
    if (!facts.chain.empty() && !facts.trusted.Has(owner)) {
      return "it belongs to " + facts.trusted.nameOf(owner) +
             ", not to an administrator, who may keep a way in whatever its access becomes: give "
             "a new folder, which the installation makes itself";
    }
    // What the installation's own removal left is taken back, by who can change it.
    bool left =
        std::all_of(facts.entries.begin(), facts.entries.end(),
                    [&](const std::string& entry) { return IsInstallations(entry, facts); });
    if (left) return JudgeContents(facts);
    if (!facts.serviceRegistered) {
      return "no service is registered yet, but it holds " + Listed(facts.entries, 8) +
             ", put there by someone else: give a new or empty folder";
    }
    return "the service is installed in " +
           Quoted(facts.installedIn.empty() ? "another folder" : facts.installedIn) +
           ", and a move takes only a new or empty folder, but this one holds " +
           Listed(facts.entries, 8);
  }
  // What it holds, as an update or a purge finds it.
  std::string contents = JudgeContents(facts);
  if (!contents.empty()) return contents;
  if (use == FolderUse::kPurge && leftover != nullptr) {
    std::vector<std::string> others;
    std::copy_if(facts.entries.begin(), facts.entries.end(), std::back_inserter(others),
                 [&](const std::string& entry) { return !IsInstallations(entry, facts); });
    leftover->clear();
    if (!others.empty())
      *leftover = "it holds what the installation did not put there: " + Listed(others);
  }
  return "";
}

std::string JudgeSourceFolder(const FolderFacts& facts) {
  if (!facts.known) return "";
  if (!facts.unreadable.empty()) return facts.unreadable;
  if (!facts.exists || facts.file) return "it is not a folder";
  std::string chain = JudgeChain(facts.chain, 1, facts.trusted);
  if (!chain.empty()) return chain;
  return JudgeContents(facts);
}
