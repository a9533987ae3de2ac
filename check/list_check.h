// What the service would do with a launch list, line by line: the service's
// own reading, lowering and composition run on the dry-run platform, and each
// line is judged by what Windows then does with it.
#pragma once

#include <string>
#include <vector>

#include "check/windows_paths.h"
#include "launch/compose_command.h"
#include "launch/list_reader.h"

// error: the start fails on every machine, or it starts another program than
// the line names; warning: it may fail, or do something else, depending on
// the machine; note: harmless.
enum class Level { kError, kWarning, kNote };
const char* LevelName(Level level);

// Every finding, in the order --help lists them; indexes kFindingCodes.
enum class Code {
  kUtf16,
  kByteOrderMark,
  kMsiexecNotFirst,
  kNoPatchOption,
  kAbsolutePatch,
  kPatchName,
  kNoProgram,
  kQuotedSpace,
  kStrayQuote,
  kTypographicQuote,
  kForwardSlash,
  kBareDrive,
  kTab,
  kLeadByte,
  kVariable,
  kCmdBuiltin,
  kNotStartable,
  kLoneCr,
  kProgramCut,
  kLineTooLong,
  kCtrlZ,
  kMissingProgram,
  kMissingDirectory,
  kMissingPatch,
  kStartsOtherProgram,
  kChangeableByUsers,
  kUnquotedImagePath,
  kServiceAccess,
  kRegistryAccess,
  kFolderRule,
  kUtf8,
  kWrongList,
  kRelativePath,
  kUnquotedSpaces,
  kSystemProgram,
  kMsiexecWithoutExe,
  kOtherMsiexec,
  kDroppedOptions,
  kCommandCut,
  kTrailingCr,
  kNulByte,
  kEmptyLine,
  kLowered,
  kServiceAccount,
  kNoList,
  kCount
};
constexpr int kCodeCount = static_cast<int>(Code::kCount);

struct FindingCode {
  const char* name;  // short and stable, for scripts
  Level level;
  const char* when;  // for --help
};
const FindingCode& Describe(Code code);
// False when no finding has that name.
bool CodeNamed(const std::string& name, Code& code);

struct Finding {
  Code code;
  std::string message;
};

struct CheckOptions {
  std::string list;            // the list's name as given: a path on this machine, or "-"
  std::string bytes;           // the list's whole content, read once
  std::string executablePath;  // the service's full Windows path
  std::string systemDirectory;
  unsigned codePage = 1252;
  bool ignored[kCodeCount] = {};  // findings a pipeline has judged
  // What is at a Windows path on the machine the tool runs on; null where it
  // cannot see the target machine's files.
  FileKind (*fileKind)(const std::string& path) = nullptr;
  // Why others than administrators can change a file the service starts, or
  // a folder above it; empty when no one can. Null off the target.
  std::string (*changeable)(const std::string& path) = nullptr;
  bool pathKnown = false;  // the service's PATH, where the tool can read it
  std::vector<std::string> pathFolders;
  // Where the files the list names without a path come from, when they are to
  // be copied into the service's folder (install.cmd's own folder, LISTFILE's):
  // looked for there first. Empty when they are in the folder already.
  std::string filesFrom;
  // With --installed: the registration, and the installation's own findings,
  // shown before the list's.
  bool installed = false;
  std::string imagePath;
  std::string account;
  std::vector<Finding> installation;
};

struct LineReport {
  int number = 0;    // 1 for the first read
  std::string read;  // the bytes the reader stored, after text-mode translation
  CommandRule rule = CommandRule::kBareProgram;
  std::string commandLine;
  bool hasDirectory = false;
  std::string directory;
  std::vector<Finding> findings;
};

// A list's report without its lines, which are handed out one at a time: the
// list's bytes are held once, and nothing grows with the number of lines.
struct ListReport {
  std::string serviceListPath;    // the list the service at executablePath reads
  std::vector<Finding> findings;  // about the list as a whole
  int lineCount = 0;
  int linesNeverRead = 0;  // whole lines after an overlong one
  int counts[3] = {0, 0, 0};
  int Count(Level level) const { return counts[static_cast<int>(level)]; }
};

// One list's check between its lines.
struct ListCheck {
  const CheckOptions* options = nullptr;
  ListReport* report = nullptr;
  ListReader input;
  ServiceView service;
  bool judgeLines = true;  // false for UTF-16, whose every line is garbage
};

// Sets up the service's view, fills the whole-list part of report and opens
// the list as the service reads it.
void BeginListCheck(const CheckOptions& options, ListReport& report, ListCheck& check);
// Reads, composes and judges the next line the service reads; false once the
// service reads no more.
bool CheckNextLine(ListCheck& check, LineReport& line);
void EndListCheck(ListCheck& check);

const char* RuleName(CommandRule rule);
bool IsDoubleByteCodePage(unsigned codePage);

// The files a list names without a path, as the service looks for them in its
// folder: each installer line's patch, and each bare program with the .exe
// rule; once each, lowered as the service lowers them, in the order the list
// first names them, and never one of the installation's own.
std::vector<std::string> FilesNamedWithoutPath(const std::string& bytes,
                                               const std::string& executablePath,
                                               unsigned codePage);

// The folder a file's full path names: the text before its last backslash,
// read in that code page.
std::string FolderOf(const std::string& path, unsigned codePage);

// The folder of the service at executablePath, and the list it reads there,
// by the service's own rules in that code page.
void ServicePaths(const std::string& executablePath, unsigned codePage, std::string& folder,
                  std::string& list);

// The service executable's name for a list: ".dat" at the end becomes ".exe".
std::string ExecutableNameFor(const std::string& listName);
