// The installation's acts on files and folders, each on a handle opened once
// without following a link and judged first: what is judged is what is
// acted on.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "access/file_object_win32.h"
#include "paths/windows_paths.h"
#include "text/string_helpers.h"

// Opens a file or folder in the installation's folder that a step will
// change, replace or delete: false, and why, when it is a link, when it has
// other names than this one, or when it cannot be read; `there` says whether
// it exists at all.
bool OpenToChange(const std::string& path, DWORD access, FileObject& object, bool& there,
                  std::string& error);

// Opens a file an installation copies from: false, and why, when it is not
// there, is a link, or others than administrators can change it.
bool OpenSource(const std::string& path, FileObject& object, std::string& error);

// Makes a new file, failing if anything is at path; it takes its access from
// the folder it is made in.
bool CreateNewFile(const std::string& path, FileObject& object, std::string& error);

// Copies what `from` holds into `to`, both open, and returns its SHA-256 in hex.
bool CopyContent(HANDLE from, HANDLE to, std::string& sha256, std::string& error);

// Renames an open file or folder to path, in place of what is there.
bool RenameOpened(FileObject& object, const std::string& path, std::string& error);

// Deletes what path names, when it is there and may be changed, and a
// folder with all it holds; true when nothing is left there.
bool DeleteHere(const std::string& path, std::string& error);

// Gives an open folder the installation's policy, or an object in it the
// access it inherits from there, and Administrators as owner.
bool ApplyPolicy(FileObject& object, bool top, std::string& error);

// Whether anything is at path, by its name: a step opens what it acts on.
inline bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What a folder holds, by name, read whole before anything in it changes.
std::vector<std::string> FolderEntries(const std::string& folder);

// Turns on the rights an administrator's token holds but does not use by
// default: to take ownership, and to read and restore what its access
// would not let it open.
void UseAdministratorRights();

std::string ErrorText(DWORD error);
