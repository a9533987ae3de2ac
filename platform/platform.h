// The operating system as the launch-list run sees it: a handful of calls,
// answered by Win32 in the service (platform_win32.cpp) and by the recording
// dry-run platform (platform_dry_run.cpp) in starter-check and the native tests.
// CMake links one or the other.
#pragma once

#include <cstddef>

// True for a byte that begins a double-byte character in the ANSI code page
// the process started with.
bool IsLeadByte(unsigned char c);
// True when the ANSI code page has any lead byte at all.
bool HasLeadBytes();

// The running executable's full path and the system directory. Results are not
// checked, but the buffer always ends up terminated.
void GetExecutablePath(char* buffer, std::size_t size);
void GetSystemDirectoryPath(char* buffer, std::size_t size);

// An open launch list. Opened read-only, shared for reading and writing (so it
// cannot be renamed or deleted while open), and never inherited by children.
struct ListFile;
ListFile* OpenListFile(const char* path);  // null when it cannot be opened
// Bytes read, 0 at the end of the file, -1 on a read error.
long ReadListFile(ListFile* file, char* buffer, std::size_t size);
void CloseListFile(ListFile* file);

// Creation flags, with the values Win32 gives them.
constexpr unsigned kDetachedProcess = 0x00000008;
constexpr unsigned kNormalPriorityClass = 0x00000020;

// Starts commandLine, which the system may write to, in directory (null: the
// caller's current directory) and closes both of its handles at once. False
// when the process could not be started.
bool StartProcess(char* commandLine, bool inheritHandles, unsigned creationFlags,
                  const char* directory);
