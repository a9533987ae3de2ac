#include "platform/platform_dry_run.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/code_pages.h"
#include "platform/platform.h"

namespace {

// The platform that answers when no check has one in use: the tests'.
// Built on first use, so a throwing constructor cannot escape static start-up.
DryRunPlatform& Fallback() {
  static DryRunPlatform dryRun;
  return dryRun;
}

DryRunPlatform* inUse = nullptr;

DryRunPlatform& Instance() {
  return inUse != nullptr ? *inUse : Fallback();
}

void Answer(const std::string& value, char* buffer, std::size_t size) {
  if (size == 0) return;
  std::size_t length = value.size() < size - 1 ? value.size() : size - 1;
  std::memcpy(buffer, value.data(), length);
  buffer[length] = '\0';
}
}  // namespace

DryRunPlatform::DryRunPlatform(unsigned codePage)
    : leadBytes{}, hasLeadBytes(FillLeadByteTable(leadBytes, BuiltInLeadByteRanges(codePage))) {}

UseDryRun::UseDryRun(DryRunPlatform& platform) : previous_(inUse) {
  inUse = &platform;
}

UseDryRun::~UseDryRun() {
  inUse = previous_;
}

DryRunPlatform& ResetDryRun(unsigned codePage) {
  Fallback() = DryRunPlatform(codePage);
  return Fallback();
}

DryRunPlatform& DryRun() {
  return Instance();
}

bool IsLeadByte(unsigned char c) {
  return Instance().leadBytes[c];
}

bool HasLeadBytes() {
  return Instance().hasLeadBytes;
}

void GetExecutablePath(char* buffer, std::size_t size) {
  Answer(Instance().executablePath, buffer, size);
}

void GetSystemDirectoryPath(char* buffer, std::size_t size) {
  Answer(Instance().systemDirectory, buffer, size);
}

// A real file, or the bytes the caller gave, which it reads to the end
// whatever platform is in use meanwhile.
struct ListFile {
  std::FILE* file;
  std::size_t offset;
  const std::string* bytes;
  int* openLists;
};

ListFile* OpenListFile(const char* path) {
  Instance().openedPaths.push_back(path);
  std::FILE* file = nullptr;
  if (Instance().listBytes == nullptr) {
    std::string local = path;
#ifndef _WIN32
    // Byte by byte: fine for the test paths, which are ASCII. Windows takes the
    // path as it is, double-byte characters ending in 0x5C included.
    std::replace(local.begin(), local.end(), '\\', '/');
#endif
    file = std::fopen(local.c_str(), "rb");
    if (file == nullptr) return nullptr;
  }
  ++Instance().openLists;
  return new ListFile{file, 0, Instance().listBytes, &Instance().openLists};
}

long ReadListFile(ListFile* file, char* buffer, std::size_t size) {
  if (file->file == nullptr) {
    std::size_t count = file->bytes->copy(buffer, size, file->offset);
    file->offset += count;
    return static_cast<long>(count);
  }
  std::size_t count = std::fread(buffer, 1, size, file->file);
  if (count == 0 && std::ferror(file->file)) return -1;
  return static_cast<long>(count);
}

void CloseListFile(ListFile* file) {
  --*file->openLists;
  // Nothing was written, so closing cannot lose anything.
  if (file->file != nullptr) static_cast<void>(std::fclose(file->file));
  delete file;
}

// NOLINTNEXTLINE(readability-non-const-parameter): CreateProcessA may write to it.
bool StartProcess(char* commandLine, bool inheritHandles, unsigned creationFlags,
                  const char* directory) {
  DryRunStart start{commandLine, directory != nullptr, directory ? directory : "", inheritHandles,
                    creationFlags};
  Instance().starts.push_back(start);
  return !Instance().startSucceeds || Instance().startSucceeds(start);
}
