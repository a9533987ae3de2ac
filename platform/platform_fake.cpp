#include "platform/platform_fake.h"

#include <cstdio>
#include <cstring>

#include "platform/code_pages.h"
#include "platform/platform.h"

namespace {
FakePlatform fake;
bool leadBytes[256];

void Answer(const std::string& value, char* buffer, std::size_t size) {
  if (size == 0) return;
  std::size_t length = value.size() < size - 1 ? value.size() : size - 1;
  std::memcpy(buffer, value.data(), length);
  buffer[length] = '\0';
}
}  // namespace

FakePlatform& ResetFake(unsigned codePage) {
  fake = FakePlatform();
  FillLeadByteTable(leadBytes, BuiltInLeadByteRanges(codePage));
  return fake;
}

FakePlatform& Fake() {
  return fake;
}

bool IsLeadByte(unsigned char c) {
  return leadBytes[c];
}

void GetExecutablePath(char* buffer, std::size_t size) {
  Answer(fake.executablePath, buffer, size);
}

void GetSystemDirectoryPath(char* buffer, std::size_t size) {
  Answer(fake.systemDirectory, buffer, size);
}

ListFile* OpenListFile(const char* path) {
  fake.openedPaths.push_back(path);
  std::string local = path;
  for (char& c : local) {
    if (c == '\\') c = '/';
  }
  std::FILE* file = std::fopen(local.c_str(), "rb");
  if (file != nullptr) ++fake.openLists;
  return reinterpret_cast<ListFile*>(file);
}

long ReadListFile(ListFile* file, char* buffer, std::size_t size) {
  std::FILE* stream = reinterpret_cast<std::FILE*>(file);
  std::size_t count = std::fread(buffer, 1, size, stream);
  if (count == 0 && std::ferror(stream)) return -1;
  return static_cast<long>(count);
}

void CloseListFile(ListFile* file) {
  --fake.openLists;
  std::fclose(reinterpret_cast<std::FILE*>(file));
}

bool StartProcess(char* commandLine, bool inheritHandles, unsigned creationFlags,
                  const char* directory) {
  FakeStart start{commandLine, directory != nullptr, directory ? directory : "", inheritHandles,
                  creationFlags};
  fake.starts.push_back(start);
  return !fake.startSucceeds || fake.startSucceeds(start);
}
