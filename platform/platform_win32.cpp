// The only file of the product that talks to Win32 for the launch-list run.
#include <windows.h>

#include "platform/code_pages.h"
#include "platform/owned_handle_win32.h"
#include "platform/platform.h"

static_assert(kDetachedProcess == DETACHED_PROCESS, "creation flag value");
static_assert(kNormalPriorityClass == NORMAL_PRIORITY_CLASS, "creation flag value");
#ifndef _WIN64
static_assert(sizeof(STARTUPINFOA) == 68, "startup record of a 32-bit process");
#endif

namespace {

struct LeadByteTable {
  bool isLead[256];
  bool any;
  LeadByteTable() noexcept {
    CPINFO info;
    if (GetCPInfo(GetACP(), &info)) {
      any = FillLeadByteTable(isLead, info.LeadByte);
    } else {
      any = FillLeadByteTable(isLead, BuiltInLeadByteRanges(GetACP()));
    }
  }
};

// Filled before WinMain runs and never changed: the ANSI code page is fixed for
// the life of the process.
const LeadByteTable leadBytes;

}  // namespace

bool IsLeadByte(unsigned char c) {
  return leadBytes.isLead[c];
}

bool HasLeadBytes() {
  return leadBytes.any;
}

void GetExecutablePath(char* buffer, std::size_t size) {
  if (size == 0) return;
  buffer[0] = '\0';
  GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(size));
  // Older systems leave a result that fills the buffer unterminated.
  buffer[size - 1] = '\0';
}

void GetSystemDirectoryPath(char* buffer, std::size_t size) {
  if (size == 0) return;
  buffer[0] = '\0';
  GetSystemDirectoryA(buffer, static_cast<UINT>(size));
  buffer[size - 1] = '\0';
}

ListFile* OpenListFile(const char* path) {
  // No security attributes: the handle is not inheritable, so the children
  // started while the list is open cannot hold it open after the run.
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<ListFile*>(file);
}

long ReadListFile(ListFile* file, char* buffer, std::size_t size) {
  DWORD count = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(file), buffer, static_cast<DWORD>(size), &count,
                nullptr)) {
    return -1;
  }
  return static_cast<long>(count);
}

void CloseListFile(ListFile* file) {
  CloseHandle(reinterpret_cast<HANDLE>(file));
}

bool StartProcess(char* commandLine, bool inheritHandles, unsigned creationFlags,
                  const char* directory) {
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started;
  if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, inheritHandles ? TRUE : FALSE,
                      creationFlags, nullptr, directory, &startup, &started)) {
    return false;
  }
  // Destroyed in reverse order: the thread handle is closed first.
  OwnedHandle process(started.hProcess);
  OwnedHandle thread(started.hThread);
  return true;
}
