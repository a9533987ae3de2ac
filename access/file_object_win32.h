// A file or folder opened once, never through a link, with what that handle
// says of it. What is judged from it is what the installation then acts on:
// nothing can change between the verdict and the act.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "access/service_folder.h"
#include "platform/owned_handle_win32.h"

struct FileObject {
  OwnedHandle handle{INVALID_HANDLE_VALUE};
  ObjectFacts facts;
};

// Opens path with `access` (reading its attributes and descriptor too),
// without following a reparse point, and reads its facts from that handle:
// a folder or not, a link (a reparse point, or a path that leads elsewhere,
// as Wine shows a file link), its names, owner and DACL. `share` says what
// others may do meanwhile. False when it is not there; true, with
// facts.unreadable saying why, when it is there but cannot be read.
bool OpenFileObject(const std::string& path, DWORD access, DWORD share, FileObject& object);

// One entry of a folder: its name and attributes.
struct FolderEntry {
  std::string name;
  DWORD attributes;
};
// What an open folder holds, read through its handle, which must allow
// FILE_LIST_DIRECTORY: the folder judged is the one listed. False when it
// cannot be listed whole.
bool ListOpenedFolder(HANDLE folder, std::vector<FolderEntry>& entries);

// What an open file holds, from where it stands to its end.
std::string ReadOpened(HANDLE file);

// The folder a handle really lies in, as the machine names it: the final
// path without its last part. Empty when it cannot be told.
std::string RealFolderOf(HANDLE handle);

// Where each folder of a path ends: every backslash that is a character of
// its own in the ANSI code page, not the second byte of a double-byte one.
std::vector<std::string::size_type> Separators(const std::string& path);

// The owner and DACL of a descriptor the system returned, as the model reads them.
SecurityDescriptor ReadDescriptor(PSECURITY_DESCRIPTOR binary);

// The binary form of an SDDL text, for LocalFree; null when it is malformed.
PSECURITY_DESCRIPTOR DescriptorFromSddl(const char* sddl);
