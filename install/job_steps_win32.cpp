// A job replaced in three moves, each on disk, so that a failure at any
// point, or an installer's rollback, can put the old job back: the new files
// are staged in kIncomingFolder; the old job's files, and those the new one
// replaces, go aside into kOutgoingFolder; the new ones take their places,
// the record last. Keeping the change deletes what went aside.
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "access/machine_access.h"
#include "install/file_steps_win32.h"
#include "install/installation.h"
#include "install/job_record.h"
#include "lint/list_facts.h"
#include "paths/windows_paths.h"

namespace {

std::string ReadText(const std::string& path) {
  FileObject object;
  bool there = false;
  std::string error;
  return OpenToChange(path, GENERIC_READ, object, there, error) ? ReadOpened(object.handle.handle)
                                                                : "";
}

// Moves folder\name to into\name, judged first; nothing to do when it is not there.
bool MoveAside(const std::string& from, const std::string& to, std::string& error) {
  FileObject object;
  bool there = false;
  if (!OpenToChange(from, DELETE, object, there, error)) return !there;
  return RenameOpened(object, to, error);
}

bool ReadRecord(const std::string& path, JobRecord& record) {
  return ParseJobRecord(ReadText(path), record);
}

// The new job, staged: the list as starter.dat and each file it names
// without a path that lies beside it, with the record of them.
bool Stage(const std::string& list, const std::string& folder, JobRecord& record,
           std::string& error) {
  const std::string incoming = folder + "\\" + kIncomingFolder;
  if (!CreateDirectoryA(incoming.c_str(), nullptr)) {
    error = "cannot make " + Quoted(incoming) + ", " + ErrorText(GetLastError());
    return false;
  }
  // The list's folder, and those above it, may be changed by administrators only.
  const std::string changeable = kTargetChangeable(list, TrustedHere());
  if (!changeable.empty()) {
    error = "the list " + Quoted(list) + ": " + changeable;
    return false;
  }
  FileObject source;
  if (!OpenSource(list, source, error)) return false;
  const std::string bytes = ReadOpened(source.handle.handle);
  const std::string from = list.substr(0, list.find_last_of('\\'));
  const std::vector<std::string> names = JobNames(
      bytes, GetACP(), [&](const std::string& name) { return Exists(InFolder(from, name)); });
  for (const std::string& name : names) {
    FileObject file;
    FileObject copy;
    std::string sha256;
    const std::string path = name == names[0] ? list : InFolder(from, name);
    if (!OpenSource(path, file, error) || !CreateNewFile(InFolder(incoming, name), copy, error) ||
        !CopyContent(file.handle.handle, copy.handle.handle, sha256, error)) {
      error.insert(0, "cannot bring " + name + ": ");
      return false;
    }
    record.files.push_back({name, sha256});
  }
  FileObject written;
  const std::string text = FormatJobRecord(record);
  DWORD wrote = 0;
  return CreateNewFile(incoming + "\\" + kJobRecordName, written, error) &&
         WriteFile(written.handle.handle, text.data(), static_cast<DWORD>(text.size()), &wrote,
                   nullptr) &&
         wrote == text.size();
}

}  // namespace

std::vector<std::string> RecordedJobFiles(const std::string& folder) {
  JobRecord record;
  return ReadRecord(folder + "\\" + kJobRecordName, record) ? RecordedNames(record)
                                                            : std::vector<std::string>();
}

bool BringJob(const std::string& list, const std::string& folder, std::string& error) {
  if (!UndoJob(folder, error)) return false;  // what an interrupted run left
  JobRecord incoming;
  if (!Stage(list, folder, incoming, error)) {
    std::string ignored;
    DeleteHere(folder + "\\" + kIncomingFolder, ignored);
    return false;
  }
  // Aside: the old record, the old job's files and whatever the new ones replace.
  const std::string outgoing = folder + "\\" + kOutgoingFolder;
  std::vector<std::string> aside = RecordedJobFiles(folder);
  const std::vector<std::string> replacing = RecordedNames(incoming);
  std::copy_if(replacing.begin(), replacing.end(), std::back_inserter(aside),
               [&](const std::string& name) {
                 return std::none_of(aside.begin(), aside.end(),
                                     [&](const std::string& one) { return SameName(one, name); });
               });
  aside.push_back(kJobRecordName);
  bool moved = CreateDirectoryA(outgoing.c_str(), nullptr);
  if (!moved) error = "cannot make " + Quoted(outgoing) + ", " + ErrorText(GetLastError());
  for (std::size_t i = 0; moved && i < aside.size(); ++i) {
    moved = MoveAside(folder + "\\" + aside[i], outgoing + "\\" + aside[i], error);
  }
  // In place, the record last: while it is missing, the job is not whole.
  std::vector<std::string> names = RecordedNames(incoming);
  names.push_back(kJobRecordName);
  for (std::size_t i = 0; moved && i < names.size(); ++i) {
    moved = MoveAside(folder + "\\" + kIncomingFolder + "\\" + names[i], folder + "\\" + names[i],
                      error);
  }
  if (!moved) {
    std::string undone;
    if (!UndoJob(folder, undone)) error += "; and it cannot be undone: " + undone;
    return false;
  }
  return RememberInstallation(folder, error);
}

bool KeepJob(const std::string& folder, std::string& error) {
  return DeleteHere(folder + "\\" + kOutgoingFolder, error) &&
         DeleteHere(folder + "\\" + kIncomingFolder, error);
}

bool UndoJob(const std::string& folder, std::string& error) {
  const std::string incoming = folder + "\\" + kIncomingFolder;
  const std::string outgoing = folder + "\\" + kOutgoingFolder;
  if (Exists(outgoing)) {
    // What left the incoming folder is the new job's: it goes, and the old
    // job's files come back.
    JobRecord record;
    if (ReadRecord(incoming + "\\" + kJobRecordName, record)) {
      std::vector<std::string> names = RecordedNames(record);
      names.push_back(kJobRecordName);
      if (!std::all_of(names.begin(), names.end(), [&](const std::string& name) {
            return Exists(InFolder(incoming, name)) || DeleteHere(InFolder(folder, name), error);
          })) {
        return false;
      }
    }
    const std::vector<std::string> back = FolderEntries(outgoing);
    if (!std::all_of(back.begin(), back.end(), [&](const std::string& name) {
          return MoveAside(InFolder(outgoing, name), InFolder(folder, name), error);
        })) {
      return false;
    }
  }
  if (!KeepJob(folder, error)) return false;
  return !Exists(folder + "\\" + kJobRecordName) || RememberInstallation(folder, error);
}
