// How Windows reads a path, and how CreateProcessA finds and starts the
// program of a command line that the service passes with no program name.
// Every finding that needs any of this asks here.
#pragma once

#include <string>
#include <vector>

enum class PathKind {
  kFull,           // C:\x
  kUnc,            // \\server\share\x
  kDriveRelative,  // C:x, against the current directory of drive C
  kRooted,         // \x, against the root of the current drive
  kRelative,       // x or sub\x
  kDevice,         // a device name such as nul, con or aux.exe, in any folder
};
PathKind KindOfPath(const std::string& path);
const char* PathKindName(PathKind kind);

// A full path with a name, or a UNC path to a file on a share: no forward
// slash, no control character, no empty part, no trailing backslash, at most
// 259 characters. A directory may be a share's root.
bool IsFullWindowsPath(const std::string& path, bool directory = false);

// Whether the path begins with a drive letter and a colon: full, or drive-relative.
bool NamesDrive(const std::string& path);

// Whether the name ends in the extension of a program CreateProcessA starts:
// .exe, .com, .scr, or .bat and .cmd, which it hands to cmd.exe.
bool HasProgramExtension(const std::string& path);

// "C:" for a drive path, "\\server\share" for a UNC path; empty otherwise.
std::string RootOf(const std::string& path);
// folder\name.
std::string InFolder(const std::string& folder, const std::string& name);
// A folder's path without a trailing backslash, but a drive's root with it: "C:\\".
std::string WithoutTrailingBackslash(std::string path);

// What is at a path on the machine the tool runs on. Windows tells a program
// from a library by its header, not its name.
enum class FileKind { kNone, kFolder, kImage, kLibrary, kOtherFile };
// Whether it is a file of any kind.
inline bool IsFile(FileKind kind) {
  return kind == FileKind::kImage || kind == FileKind::kLibrary || kind == FileKind::kOtherFile;
}

// Where a path leads from the service without a search: a full or UNC path
// as it is; a relative one from the current directory; a drive-relative one
// from the current directory when it is on that drive, else from the drive's
// root, since a service has no current directory there; a rooted one from the
// root of the current directory's drive or share.
std::string Resolve(const std::string& path, const std::string& systemDirectory);
// A full path as Windows reads it: its "." parts and doubled or trailing
// backslashes gone, each ".." taking the part before it, but never the root.
std::string WithoutDots(const std::string& path);

// ".exe" added to a name whose last part has no extension.
std::string WithExeExtension(const std::string& name);

// The names CreateProcessA tries for a command line, in order, as written: a
// quoted name alone; otherwise the text up to each space or TAB, shortest
// first, then the whole line. A name that ends in a blank is left out: it
// leads to the same file as the one before it.
std::vector<std::string> ModuleNames(const std::string& commandLine);
// The same names with the .exe rule applied: the files it looks for.
std::vector<std::string> ModuleCandidates(const std::string& commandLine);

// The places CreateProcessA looks for one candidate, in order, each with what
// it is. A name with a root or a drive is looked for in one place. For a
// name without a folder, Windows documents the order: the folder of the
// program that starts it (here the service's), the current directory, the
// system directory, the 16-bit system directory, the Windows directory, then
// PATH. For a relative name with a folder (sub\x.exe) the documentation is
// silent; the order is the same, as Wine searches it.
struct ServiceView;
struct Place {
  std::string path;
  std::string what;
};
std::vector<Place> SearchOrder(const std::string& candidate, const ServiceView& service);

// What CreateProcessA does with a file, judged by its name alone.
enum class Startable {
  kProgram,     // an executable image, by its extension
  kThroughCmd,  // .bat and .cmd, which it hands to cmd.exe
  kNever,       // a device, document, package, library or script of another kind
  kUnknown,     // an extension that says nothing; only the file's bytes can tell
};
Startable StartableByName(const std::string& path);
// What the file is, for a message: "a Windows Installer package", "the device nul".
std::string FileDescription(const std::string& path);

// Whether CreateProcessA starts a file that is there: an executable image
// that is no library, whatever its name; another file only by its name, .bat
// and .cmd through cmd.exe, and .com, which 32-bit Windows runs as a DOS
// program and 64-bit Windows cannot; a device never.
bool Starts(const std::string& path, FileKind kind, bool runsDos = true);

// Whether a path lies in the system folder, or in a folder below it.
bool InSystemFolder(const std::string& path, const std::string& systemDirectory);

// Compares two names as NTFS does: the single-byte letters A to Z without
// regard to case, every other byte, double-byte characters whole, as it is.
bool SameName(std::string one, std::string other);
