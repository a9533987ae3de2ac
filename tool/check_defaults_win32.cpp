#include <windows.h>

#include <cstring>
#include <cwchar>

#include "lint/list_check.h"
#include "platform/owned_handle_win32.h"
#include "service/service_name.h"
#include "tool/check_defaults.h"

std::string DefaultExecutablePath(const std::string& list) {
  char full[MAX_PATH] = "";
  char* name = nullptr;
  DWORD length = GetFullPathNameA(list.c_str(), sizeof full, full, &name);
  if (length == 0 || length >= sizeof full || name == nullptr) {
    return ExecutableBeside(kDefaultFolder, list);
  }
  std::string folder(full, name);
  return folder + ExecutableNameFor(name);
}

std::string DefaultSystemDirectory() {
  char directory[MAX_PATH] = "";
  UINT length = GetSystemDirectoryA(directory, sizeof directory);
  return length > 0 && length < sizeof directory ? directory : "C:\\WINDOWS\\system32";
}

unsigned DefaultCodePage() {
  return GetACP();
}

bool HeldByCodePage(const std::string& argument) {
  // A character the code page lacks reaches the program as '?' or a
  // look-alike, so the argument, turned back, is not in the real command line.
  int length = MultiByteToWideChar(CP_ACP, 0, argument.c_str(), -1, nullptr, 0);
  if (length <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, argument.c_str(), -1, &wide[0], length);
  wide.resize(static_cast<std::size_t>(length) - 1);
  return std::wcsstr(GetCommandLineW(), wide.c_str()) != nullptr;
}

namespace {

FileKind KindOfFile(const std::string& path) {
  // A device answers to its name in any folder, and reading one, AUX or
  // COM1, can wait for ever: it is judged by its name, never opened.
  if (KindOfPath(path) == PathKind::kDevice) return FileKind::kOtherFile;
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::kNone;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileKind::kFolder;
  // An executable image begins with "MZ", whatever its name, and its PE
  // header says whether it is a library.
  OwnedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  unsigned char header[1024] = {};
  DWORD read = 0;
  if (file.handle == INVALID_HANDLE_VALUE ||
      !ReadFile(file.handle, header, sizeof header, &read, nullptr)) {
    return FileKind::kImage;  // there, but unreadable to us: no verdict on its content
  }
  if (read < 2 || header[0] != 'M' || header[1] != 'Z') return FileKind::kOtherFile;
  if (read < 0x40) return FileKind::kImage;
  DWORD pe = header[0x3C] | header[0x3D] << 8 | header[0x3E] << 16 |
             static_cast<DWORD>(header[0x3F]) << 24;
  // Characteristics, in the file header after the "PE\0\0" signature.
  if (pe > read - 24 || std::memcmp(header + pe, "PE\0\0", 4) != 0) return FileKind::kImage;
  WORD characteristics = static_cast<WORD>(header[pe + 22] | header[pe + 23] << 8);
  return (characteristics & IMAGE_FILE_DLL) != 0 ? FileKind::kLibrary : FileKind::kImage;
}

}  // namespace

FileKind (*const kTargetFileKind)(const std::string&) = KindOfFile;

void TargetBitness(bool& wow64, bool& runsDos) {
  BOOL underWow64 = FALSE;
  wow64 = IsWow64Process(GetCurrentProcess(), &underWow64) && underWow64;
  runsDos = !wow64 && sizeof(void*) == 4;  // 64-bit Windows runs no DOS program
}

bool ServicePathFolders(std::vector<std::string>& folders) {
  // Services get the machine's environment, not a user's; an expandable value is
  // expanded, as RRF_RT_REG_SZ alone asks.
  std::vector<char> value(32767);
  DWORD size = static_cast<DWORD>(value.size());
  if (RegGetValueA(HKEY_LOCAL_MACHINE,
                   "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", "Path",
                   RRF_RT_REG_SZ, nullptr, value.data(), &size) != ERROR_SUCCESS) {
    return false;
  }
  std::string path = value.data();
  for (std::string::size_type at = 0; at <= path.size();) {
    std::string::size_type end = path.find(';', at);
    if (end == std::string::npos) end = path.size();
    if (end > at) folders.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  return true;
}
