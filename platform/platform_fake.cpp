#include "platform/platform_fake.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/code_pages.h"
#include "platform/platform.h"

namespace {
bool leadBytes[256];
bool hasLeadBytes = false;

// Built on first use, so a throwing constructor cannot escape static start-up.
FakePlatform& Instance() {
  static FakePlatform fake;
  return fake;
}

void Answer(const std::string& value, char* buffer, std::size_t size) {
  if (size == 0) return;
  std::size_t length = value.size() < size - 1 ? value.size() : size - 1;
  std::memcpy(buffer, value.data(), length);
  buffer[length] = '\0';
}
}  // namespace

FakePlatform& ResetFake(unsigned codePage) {
  Instance() = FakePlatform();
  hasLeadBytes = FillLeadByteTable(leadBytes, BuiltInLeadByteRanges(codePage));
  return Instance();
}

FakePlatform& Fake() {
  return Instance();
}

bool IsLeadByte(unsigned char c) {
  return leadBytes[c];
}

bool HasLeadBytes() {
  return hasLeadBytes;
}

void GetExecutablePath(char* buffer, std::size_t size) {
  Answer(Instance().executablePath, buffer, size);
}

void GetSystemDirectoryPath(char* buffer, std::size_t size) {
  Answer(Instance().systemDirectory, buffer, size);
}

ListFile* OpenListFile(const char* path) {
  Instance().openedPaths.push_back(path);
  std::string local = path;
#ifndef _WIN32
  // Byte by byte: fine for the test paths, which are ASCII. Windows takes the
  // path as it is, double-byte characters ending in 0x5C included.
  std::replace(local.begin(), local.end(), '\\', '/');
#endif
  std::FILE* file = std::fopen(local.c_str(), "rb");
  if (file != nullptr) ++Instance().openLists;
  return reinterpret_cast<ListFile*>(file);
}

long ReadListFile(ListFile* file, char* buffer, std::size_t size) {
  std::FILE* stream = reinterpret_cast<std::FILE*>(file);
  std::size_t count = std::fread(buffer, 1, size, stream);
  if (count == 0 && std::ferror(stream)) return -1;
  return static_cast<long>(count);
}

void CloseListFile(ListFile* file) {
  --Instance().openLists;
  // Nothing was written, so closing cannot lose anything.
  static_cast<void>(std::fclose(reinterpret_cast<std::FILE*>(file)));
}

// NOLINTNEXTLINE(readability-non-const-parameter): CreateProcessA may write to it.
bool StartProcess(char* commandLine, bool inheritHandles, unsigned creationFlags,
                  const char* directory) {
  FakeStart start{commandLine, directory != nullptr, directory ? directory : "", inheritHandles,
                  creationFlags};
  Instance().starts.push_back(start);
  return !Instance().startSucceeds || Instance().startSucceeds(start);
}
