// The installation's folder: judged by the folder rule on this machine, made
// and given to Administrators and SYSTEM alone, filled and purged.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "access/machine_access.h"
#include "install/file_steps_win32.h"
#include "install/installation.h"
#include "install/job_record.h"
#include "tool/tool_options.h"

namespace {

// Gives everything below an open folder the access it inherits from there,
// listed through its handle, each on its own handle, judged first.
bool RestrictContents(const FileObject& folder, std::string& error) {
  std::vector<FolderEntry> entries;
  if (!ListOpenedFolder(folder.handle.handle, entries)) {
    error = "cannot list " + Quoted(folder.facts.path) + ", " + ErrorText(GetLastError());
    return false;
  }
  for (const FolderEntry& entry : entries) {
    const DWORD list = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FILE_LIST_DIRECTORY : 0;
    FileObject object;
    bool there = false;
    if (!OpenToChange(InFolder(folder.facts.path, entry.name), WRITE_DAC | WRITE_OWNER | list,
                      object, there, error)) {
      if (!there) continue;  // gone meanwhile
      return false;
    }
    if (!ApplyPolicy(object, false, error)) return false;
    if (object.facts.folder && !RestrictContents(object, error)) return false;
  }
  return true;
}

// Makes the folder, which is not there, with the policy from the moment it
// exists; the missing folders above it take their access from theirs.
bool MakeFolder(const std::string& folder, std::string& error) {
  for (std::string::size_type at = folder.find('\\', 3); at != std::string::npos;
       at = folder.find('\\', at + 1)) {
    const std::string above = folder.substr(0, at);
    if (!CreateDirectoryA(above.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      error = "cannot make " + Quoted(above) + ", " + ErrorText(GetLastError());
      return false;
    }
  }
  PSECURITY_DESCRIPTOR policy = DescriptorFromSddl(kFolderPolicy);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, policy, FALSE};
  BOOL made = policy != nullptr && CreateDirectoryA(folder.c_str(), &attributes);
  DWORD status = made ? ERROR_SUCCESS : GetLastError();
  LocalFree(policy);
  // A token that may not name Administrators as owner makes it its own; the
  // policy is set on its handle next, before anything goes in.
  if (!made && status == ERROR_INVALID_OWNER) {
    made = CreateDirectoryA(folder.c_str(), nullptr);
    status = made ? ERROR_SUCCESS : GetLastError();
  }
  if (!made) {
    error = status == ERROR_ALREADY_EXISTS ? "someone made it while it was being judged"
                                           : "cannot make it, " + ErrorText(status);
  }
  return made;
}

}  // namespace

bool Elevated() {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof sid;
  BOOL member = FALSE;
  return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
         CheckTokenMembership(nullptr, sid, &member) && member;
}

std::string DefaultServiceFolder() {
  return DefaultMachineFolders().programData + "\\CorvaneRemoteStarter";
}

std::string JudgeFolderHere(const std::string& folder, FolderUse use, bool update,
                            std::string* leftover) {
  FolderFacts facts = FactsOf(folder, update);
  facts.heldByCodePage = true;  // the caller has seen the name reach it whole
  return JudgeServiceFolder(folder, use, DefaultMachineFolders(), facts, leftover);
}

std::string JudgeSourceHere(const std::string& folder) {
  return JudgeSourceFolder(FactsOf(folder, false));
}

bool PrepareFolder(const std::string& folder, std::string& error) {
  // Held without delete sharing until all in it is done: it cannot be
  // renamed or replaced meanwhile.
  FileObject held;
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const DWORD access = WRITE_DAC | WRITE_OWNER | FILE_LIST_DIRECTORY;
  bool there = OpenFileObject(folder, access, share, held);
  if (!there) {
    if (!MakeFolder(folder, error)) return false;
    there = OpenFileObject(folder, access, share, held);
  }
  if (!there || !held.facts.unreadable.empty() || held.facts.link || !held.facts.folder) {
    error = "it changed while it was being prepared" +
            (held.facts.unreadable.empty() ? "" : ": " + held.facts.unreadable);
    return false;
  }
  return ApplyPolicy(held, true, error) && RestrictContents(held, error);
}

bool CopyIntoFolder(const std::string& from, const std::string& folder, const std::string& name,
                    std::string& error) {
  FileObject source;
  if (!OpenSource(from, source, error)) return false;
  const std::string temporary = InFolder(folder, name) + ".new";
  if (!DeleteHere(temporary, error)) return false;  // what an interrupted run left
  FileObject copy;
  std::string sha256;
  if (!CreateNewFile(temporary, copy, error)) return false;
  if (!CopyContent(source.handle.handle, copy.handle.handle, sha256, error) ||
      !RenameOpened(copy, InFolder(folder, name), error)) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    SetFileInformationByHandle(copy.handle.handle, FileDispositionInfo, &disposition,
                               sizeof disposition);
    error = "cannot copy " + name + " into " + Quoted(folder) + " whole: " + error;
    return false;
  }
  return true;
}

bool PurgeFolder(const std::string& folder, std::string& leftover, std::string& error) {
  FolderFacts facts = FactsOf(folder, false);
  std::vector<std::string> ours = facts.jobFiles;
  for (int i = 0; i < kInstalledNameCount; ++i) {
    std::string name = kInstalledNames[i];
    if (name.back() == '\\') name.pop_back();
    ours.push_back(name);
  }
  // The job's files first, while its record is there to name them.
  if (!std::all_of(ours.begin(), ours.end(), [&](const std::string& name) {
        return DeleteHere(InFolder(folder, name), error);
      })) {
    return false;
  }
  std::vector<std::string> left = FolderEntries(folder);
  std::sort(left.begin(), left.end());
  leftover = Listed(left);
  return left.empty() ? DeleteHere(folder, error) : true;
}
