#include "paths/windows_paths.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

#include "launch/launch_list.h"
#include "paths/service_view.h"
#include "text/string_helpers.h"

namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), Lower);
  return text;
}

// The extension of a path's last part, lowered, without its dot.
std::string Extension(const std::string& path) {
  std::string::size_type dot = path.rfind('.');
  if (dot == std::string::npos || dot < NameAt(path)) return "";
  return Lowered(path.substr(dot + 1));
}

// The device a name stands for in any folder: its part before the first dot,
// without trailing spaces, such as "nul" for "C:\Svc\NUL .txt". Empty if none.
// Looked at in place: every path the checker sees is asked.
std::string DeviceName(const std::string& path) {
  const std::string::size_type at = NameAt(path);
  // Every device's name begins with one of these: most names end here.
  if (at >= path.size() || std::strchr("cCpPaAnNlL", path[at]) == nullptr) return "";
  std::size_t length = std::min(path.find('.', at), path.size()) - at;
  while (length > 0 && path[at + length - 1] == ' ') --length;
  if (length < 3 || length > 7) return "";
  char base[8] = {};
  for (std::size_t i = 0; i < length; ++i) base[i] = Lower(path[at + i]);
  bool numbered = length == 4 &&
                  (std::strncmp(base, "com", 3) == 0 || std::strncmp(base, "lpt", 3) == 0) &&
                  base[3] >= '1' && base[3] <= '9';
  for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
    if (numbered || std::strcmp(base, device) == 0) return base;
  }
  return "";
}

// The folder that holds path: the text before its last backslash.
std::string Parent(const std::string& path) {
  std::string::size_type at = path.rfind('\\');
  return at == std::string::npos ? "" : path.substr(0, at);
}

}  // namespace

std::string InFolder(const std::string& folder, const std::string& name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  return path.append(folder).append("\\").append(name);
}

std::string WithoutTrailingBackslash(std::string path) {
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

bool NamesDrive(const std::string& path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

bool HasProgramExtension(const std::string& path) {
  // Looked at in place, as every line asks it several times.
  if (path.size() < 4 || path[path.size() - 4] != '.') return false;
  char extension[4] = {Lower(path[path.size() - 3]), Lower(path[path.size() - 2]),
                       Lower(path[path.size() - 1]), '\0'};
  for (const char* program : {"exe", "com", "scr", "bat", "cmd"}) {
    if (std::strcmp(extension, program) == 0) return true;
  }
  return false;
}

PathKind KindOfPath(const std::string& path) {
  if (path.compare(0, 4, "\\\\.\\") == 0 || !DeviceName(path).empty()) return PathKind::kDevice;
  if (path.compare(0, 2, "\\\\") == 0) return PathKind::kUnc;
  if (NamesDrive(path))
    return path.size() > 2 && path[2] == '\\' ? PathKind::kFull : PathKind::kDriveRelative;
  if (!path.empty() && path[0] == '\\') return PathKind::kRooted;
  return PathKind::kRelative;
}

const char* PathKindName(PathKind kind) {
  switch (kind) {
    case PathKind::kFull:
      return "full";
    case PathKind::kUnc:
      return "UNC";
    case PathKind::kDriveRelative:
      return "drive-relative";
    case PathKind::kRooted:
      return "rooted";
    case PathKind::kDevice:
      return "device";
    case PathKind::kRelative:
      break;
  }
  return "relative";
}

bool IsFullWindowsPath(const std::string& path, bool directory) {
  if (path.empty() || path.size() > 259 || path.back() == '\\') return false;
  if (std::any_of(path.begin(), path.end(),
                  [](char c) { return (c >= 0 && c < 0x20) || c == '/'; })) {
    return false;
  }
  PathKind kind = KindOfPath(path);
  if (kind == PathKind::kFull) return path.size() > 3 && path.find("\\\\") == std::string::npos;
  if (kind != PathKind::kUnc || path[2] == '\\' || path.find("\\\\", 2) != std::string::npos) {
    return false;
  }
  // \\server\share\name, or a share's root for a directory.
  auto parts = std::count(path.begin(), path.end(), '\\');
  return parts >= 4 || (directory && parts == 3);
}

std::string RootOf(const std::string& path) {
  if (NamesDrive(path)) return path.substr(0, 2);
  if (path.compare(0, 2, "\\\\") != 0) return "";
  std::string::size_type share = path.find('\\', 2);
  if (share == std::string::npos) return path;
  std::string::size_type end = path.find('\\', share + 1);
  return end == std::string::npos ? path : path.substr(0, end);
}

std::string Resolve(const std::string& path, const std::string& systemDirectory) {
  switch (KindOfPath(path)) {
    case PathKind::kDriveRelative: {
      std::string rest = path.substr(2);
      if (Lower(path[0]) != Lower(systemDirectory[0]) || !NamesDrive(systemDirectory)) {
        return path.substr(0, 2) + "\\" + rest;
      }
      return rest.empty() ? systemDirectory : systemDirectory + "\\" + rest;
    }
    case PathKind::kRooted:
      return RootOf(systemDirectory) + path;
    case PathKind::kRelative:
      return systemDirectory + "\\" + path;
    default:
      return path;
  }
}

std::string WithExeExtension(const std::string& name) {
  return name.find('.', NameAt(name)) == std::string::npos ? name + ".exe" : name;
}

std::vector<std::string> ModuleNames(const std::string& commandLine) {
  std::vector<std::string> names;
  names.reserve(4);
  if (!commandLine.empty() && commandLine[0] == '"') {
    std::string::size_type closing = commandLine.find('"', 1);
    names.push_back(commandLine.substr(1, closing == std::string::npos ? closing : closing - 1));
  } else {
    for (std::string::size_type at = commandLine.find_first_of(" \t");;
         at = commandLine.find_first_of(" \t", at + 1)) {
      if (at == 0 || at == std::string::npos ||
          (commandLine[at - 1] != ' ' && commandLine[at - 1] != '\t')) {
        names.push_back(commandLine.substr(0, at));
      }
      if (at == std::string::npos) break;
    }
  }
  return names;
}

std::vector<std::string> ModuleCandidates(const std::string& commandLine) {
  std::vector<std::string> names = ModuleNames(commandLine);
  for (std::string& name : names) name = WithExeExtension(name);
  return names;
}

std::string WithoutDots(const std::string& path) {
  std::vector<std::string> parts;
  bool named = false;  // a part with a name seen: empty parts after it are doubled backslashes
  std::string::size_type at = 0;
  for (std::string::size_type end; at <= path.size(); at = end + 1) {
    end = std::min(path.find('\\', at), path.size());
    std::string part = path.substr(at, end - at);
    if (part == "..") {
      if (parts.size() > 1) parts.pop_back();
    } else if (part != "." && !(part.empty() && named)) {
      named = named || !part.empty();
      parts.push_back(part);
    }
  }
  std::string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) joined.append(i > 0 ? "\\" : "").append(parts[i]);
  return joined;
}

std::vector<Place> SearchOrder(const std::string& candidate, const ServiceView& service) {
  const std::string& system = service.systemDirectory;
  switch (KindOfPath(candidate)) {
    case PathKind::kRelative:
      // Below the current directory, or above it, by its own words: no search.
      if (candidate.compare(0, 2, ".\\") == 0 || candidate.compare(0, 3, "..\\") == 0) {
        return {{WithoutDots(Resolve(candidate, system)),
                 "the service's current directory, the system directory, alone"}};
      }
      break;
    case PathKind::kDriveRelative:
      return {{Resolve(candidate, system),
               Lower(candidate[0]) == Lower(system[0])
                   ? "the service's current directory on that drive, the system directory"
                   : "the root of that drive, where the service has no current directory"}};
    case PathKind::kRooted:
      return {{Resolve(candidate, system), "the root of the service's current drive"}};
    default:
      return {{candidate, "the path as written"}};
  }
  const std::string windows = Parent(system);
  std::vector<Place> places = {
      {service.serviceDirectory + "\\" + candidate, "the service's folder"},
      {system + "\\" + candidate, "the service's current directory, the system directory"},
  };
  if (!windows.empty()) {
    places.push_back({windows + "\\system\\" + candidate, "the 16-bit system directory"});
    places.push_back({windows + "\\" + candidate, "the Windows directory"});
  }
  for (const std::string& folder : service.pathFolders) {
    if (folder.empty()) continue;
    std::string path = folder;
    if (folder.back() != '\\') path += '\\';
    path += candidate;
    places.push_back({path, "a folder on PATH"});
  }
  // A place listed twice is looked in once.
  std::vector<Place> unique;
  std::copy_if(places.begin(), places.end(), std::back_inserter(unique), [&](const Place& place) {
    return std::none_of(unique.begin(), unique.end(),
                        [&](const Place& seen) { return SameName(seen.path, place.path); });
  });
  return unique;
}

Startable StartableByName(const std::string& path) {
  if (KindOfPath(path) == PathKind::kDevice) return Startable::kNever;
  std::string extension = Extension(path);
  if (OneOf(extension, {"bat", "cmd"})) return Startable::kThroughCmd;
  if (HasProgramExtension(path)) return Startable::kProgram;
  if (FileDescription(path).empty()) return Startable::kUnknown;
  return Startable::kNever;
}

bool Starts(const std::string& path, FileKind kind, bool runsDos) {
  if (KindOfPath(path) == PathKind::kDevice) return false;
  if (kind == FileKind::kImage) return true;
  return kind == FileKind::kOtherFile &&
         (OneOf(Extension(path), {"bat", "cmd"}) || (runsDos && Extension(path) == "com"));
}

bool InSystemFolder(const std::string& path, const std::string& systemDirectory) {
  return path.size() > systemDirectory.size() + 1 &&
         SameName(path.substr(0, systemDirectory.size() + 1), systemDirectory + "\\");
}

std::string FileDescription(const std::string& path) {
  std::string device = DeviceName(path);
  if (!device.empty()) return "the device " + device;
  std::string extension = Extension(path);
  if (extension == "msi") return "a Windows Installer package";
  if (extension == "msp") return "a Windows Installer patch";
  if (OneOf(extension, {"msu", "cab", "msix", "msixbundle", "appx", "appxbundle"})) {
    return "an update or app package";
  }
  if (OneOf(extension, {"ps1", "psm1", "psd1"})) return "a PowerShell script";
  if (OneOf(extension,
            {"vbs", "vbe", "js", "jse", "wsf", "wsh", "hta", "py", "pyw", "pl", "rb", "sh"})) {
    return "a script";
  }
  if (OneOf(extension, {"dll", "ocx", "cpl", "sys", "drv", "mui"})) return "a library";
  if (OneOf(extension, {"lnk", "url"})) return "a shortcut";
  if (OneOf(extension, {"reg", "inf", "ini", "txt", "log", "xml", "json", "htm", "html", "pdf",
                        "doc", "docx", "rtf", "xls", "xlsx", "csv", "msc"})) {
    return "a document";
  }
  if (OneOf(extension, {"zip", "7z", "rar", "gz", "tar", "iso", "img", "vhd", "vhdx"})) {
    return "an archive or disk image";
  }
  return "";
}

bool SameName(std::string one, std::string other) {
  if (one.size() != other.size()) return false;
  // Letters only, walked by whole characters: NTFS never folds the second
  // byte of a double-byte character.
  LowerLine(&one[0]);
  LowerLine(&other[0]);
  return one == other;
}
