#include "check/list_check.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

#include "launch/launch_list.h"
#include "launch/list_reader.h"
#include "platform/code_pages.h"
#include "platform/platform_dry_run.h"

const FindingCode kFindingCodes[] = {
    {"utf-16", Level::kError, "the list is UTF-16, which the service reads as garbage"},
    {"byte-order-mark", Level::kError,
     "a byte-order mark, which becomes part of the first program"},
    {"msiexec-not-first", Level::kError,
     "the line mentions msiexec.exe, so the system's installer starts instead of its program"},
    {"absolute-patch", Level::kError,
     "an absolute patch path, which gets the service folder in front"},
    {"patch-name", Level::kError,
     "a patch name that is quoted, holds a space or begins with one: its path comes out broken"},
    {"quoted-space", Level::kError,
     "a quote that no closing quote ends before a space or the line's end"},
    {"forward-slash", Level::kError,
     "a program path with forward slashes only: it is taken for a name in the service folder"},
    {"tab", Level::kError, "a TAB in the program's name, which only a space ends"},
    {"no-program", Level::kError, "the line begins with a space, so it names no program"},
    {"line-too-long", Level::kError, "over 559 characters: no later line is ever started"},
    {"missing-program", Level::kError,
     "on Windows: no name that CreateProcessA tries for the line is on this machine"},
    {"missing-directory", Level::kError,
     "on Windows: the working directory is not on this machine"},
    {"missing-patch", Level::kError, "on Windows: the patch file is not in the service's folder"},
    {"utf-8", Level::kWarning, "UTF-8 text, where the service reads the ANSI code page"},
    {"wrong-list", Level::kWarning, "the service at --exe reads a list of another name"},
    {"relative-path", Level::kWarning,
     "a program path that is neither absolute nor UNC: it resolves against the service's "
     "current directory, not its folder"},
    {"unquoted-spaces", Level::kWarning,
     "a program path with spaces and no quotes, where Windows may start another program"},
    {"msiexec-without-exe", Level::kWarning,
     "msiexec named without \"msiexec.exe\", so the installer rule does not apply"},
    {"dropped-options", Level::kWarning, "installer options before \" /p \", which are dropped"},
    {"no-patch-option", Level::kWarning, "an installer line without \" /p \""},
    {"command-cut", Level::kWarning, "the command line reaches 259 characters and may be cut"},
    {"ctrl-z", Level::kWarning, "a Ctrl-Z ends the data with bytes after it"},
    {"nul-byte", Level::kWarning, "a NUL byte in a line: the rest of the line is ignored"},
    {"lone-cr", Level::kWarning, "a CR that no LF follows, kept in the command"},
    {"empty-line", Level::kNote, "a blank line, or the empty read after the last line end"},
    {"lowered", Level::kNote, "upper-case letters in the arguments are lowered"},
};
const int kFindingCodeCount = sizeof kFindingCodes / sizeof kFindingCodes[0];

bool IsFindingCode(const std::string& code) {
  return std::any_of(std::begin(kFindingCodes), std::end(kFindingCodes),
                     [&](const FindingCode& known) { return code == known.code; });
}

namespace {

Finding Make(const char* code, const std::string& message) {
  for (const FindingCode& known : kFindingCodes) {
    if (std::strcmp(known.code, code) == 0) return {code, known.level, message};
  }
  return {code, Level::kError, message};
}

void Warn(LineReport& line, const char* code, const std::string& message) {
  line.findings.push_back(Make(code, message));
}

std::string Column(std::string::size_type at) {
  return std::to_string(at + 1);
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool HasProgramExtension(const std::string& path) {
  const char* const extensions[] = {".exe", ".com", ".bat", ".cmd"};
  return std::any_of(std::begin(extensions), std::end(extensions),
                     [&](const char* extension) { return EndsWith(path, extension); });
}

bool IsDrivePath(const std::string& path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// The first word as the service splits it, by the service's own code: a
// quoted word with its quotes, or else up to the first space.
std::string FirstWord(const char* lowered) {
  if (const char* closing = ClosingQuote(lowered)) return std::string(lowered, closing + 1);
  const char* space = FindChar(lowered, ' ');
  return space ? std::string(lowered, space) : std::string(lowered);
}

std::string Unquoted(const std::string& word) {
  return word.size() >= 2 && word.front() == '"' && word.back() == '"'
             ? word.substr(1, word.size() - 2)
             : word;
}

// Findings about the bytes as read, before any rule applies.
void CheckRead(LineReport& line, const std::string& read) {
  if (line.number == 1 && read.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    Warn(line, "byte-order-mark",
         "the file begins with a byte-order mark, which the service reads as part of the "
         "first program name");
  }
  std::string::size_type zero = read.find('\0');
  if (zero != std::string::npos) {
    Warn(line, "nul-byte",
         "a NUL byte at column " + Column(zero) + ": the service ignores the rest of the line");
  }
  std::string::size_type cr = read.find('\r');
  if (cr != std::string::npos) {
    Warn(line, "lone-cr",
         "a CR that no LF follows stays in the line at column " + Column(cr) +
             " and becomes part of the command");
  }
}

// The patch argument as the composed command passes it: what follows " /p ".
std::string ComposedPatch(const LineReport& line) {
  std::string::size_type at = line.commandLine.find(" /p ");
  return at == std::string::npos ? "" : line.commandLine.substr(at + 4);
}

void CheckPatchName(LineReport& line, const std::string& patch,
                    const std::string& serviceDirectory) {
  std::string name = patch.substr(0, patch.find(' '));
  if (patch.empty()) {
    Warn(line, "patch-name",
         "nothing follows \" /p \", so msiexec.exe is given the service folder as the patch");
  } else if (patch[0] == ' ') {
    Warn(line, "patch-name",
         "the patch argument begins with a space, so msiexec.exe is given the folder, not the "
         "patch: /p " +
             ComposedPatch(line));
  } else if (patch[0] == '"') {
    Warn(line, "patch-name",
         "the patch name is quoted, but the service puts its folder in front of the quote: /p " +
             ComposedPatch(line));
  } else if (!EndsWith(name, ".msp") && patch.find(".msp", name.size()) != std::string::npos) {
    // The service quotes, or the installer takes, only up to the name's first space.
    Warn(line, "patch-name",
         "the patch name holds a space, where the patch path ends: msiexec.exe is given " +
             serviceDirectory + "\\" + name + " as the patch");
  } else if (IsDrivePath(name) || name[0] == '\\') {
    Warn(line, "absolute-patch",
         "the patch path is absolute, but the service puts its own folder in front of it: " +
             serviceDirectory + "\\" + name);
  }
}

void CheckInstallerPatch(LineReport& line, const char* lowered,
                         const std::string& serviceDirectory) {
  const std::string firstWord = FirstWord(lowered);
  std::string word = Unquoted(firstWord);
  bool installerFirst = word == "msiexec.exe" || EndsWith(word, "\\msiexec.exe");
  if (!installerFirst) {
    Warn(line, "msiexec-not-first",
         "the line mentions \"msiexec.exe\", so the service starts the system's msiexec.exe "
         "instead; its first word, " +
             word + ", is not started");
  }
  const char* marker = FindText(lowered, " /p ");
  if (marker == nullptr) {
    Warn(line, "no-patch-option",
         "an installer line without \" /p \": msiexec.exe is given /p and the service folder, "
         "with no patch");
    return;
  }
  auto at = static_cast<std::string::size_type>(marker - lowered);
  if (installerFirst && at > firstWord.size()) {
    std::string dropped = line.read.substr(firstWord.size(), at - firstWord.size());
    dropped.erase(0, dropped.find_first_not_of(' '));
    if (!dropped.empty()) {
      Warn(line, "dropped-options",
           "the service passes only what follows \" /p \", so " + dropped +
               " never reaches msiexec.exe: move it after the patch name");
    }
  }
  CheckPatchName(line, marker + 4, serviceDirectory);
  if (line.read.compare(at + 4, std::strlen(marker + 4), marker + 4) != 0) {
    Warn(line, "lowered", "the service lowers the upper-case letters of the patch argument");
  }
}

// Where a relative program path really leads, for relative-path's message.
std::string RelativePathMessage(const std::string& program, const std::string& systemDirectory) {
  std::string resolved = FromServiceDirectory(program, systemDirectory);
  std::string from =
      program[0] == '\\' ? "the root of the service's current drive"
      : IsDrivePath(program) && std::toupper(static_cast<unsigned char>(program[0])) !=
                                    std::toupper(static_cast<unsigned char>(systemDirectory[0]))
          ? "the root of its drive, where the service has no current directory"
          : "the service's current directory, " + systemDirectory;
  return program + " is neither absolute nor UNC: it resolves against " + from + ", to " +
         resolved + ", not against the service's folder";
}

// The names Windows tries, up to and including the one the line means.
std::string TriedBefore(const std::vector<std::string>& candidates, std::size_t meant) {
  std::string text;
  for (std::size_t i = 0; i < meant; ++i) text += (i > 0 ? ", " : "") + candidates[i];
  return text;
}

void CheckProgram(LineReport& line, const char* lowered, bool finalRead,
                  const std::string& serviceDirectory, const std::string& systemDirectory) {
  if (lowered[0] == '\0') {
    Warn(
        line, "empty-line",
        std::string(finalRead ? "the read after the last line end finds nothing" : "a blank line") +
            ": the service starts \"" + serviceDirectory +
            "\\\", which names no program, so the start always fails");
    return;
  }
  std::string text = lowered;
  std::string word = FirstWord(lowered);
  if (word.empty()) {
    Warn(line, "no-program",
         "the line begins with a space, so it names no program and its start fails");
    return;
  }
  if (word[0] == '"' && ClosingQuote(lowered) == nullptr) {
    Warn(line, "quoted-space",
         "the first word opens a double quote that is not closed before a space or the line's "
         "end, so the service takes the quote for part of the program, which ends at " +
             word);
    return;
  }
  std::string program = Unquoted(word);
  std::string::size_type tab = program.find('\t');
  if (tab != std::string::npos &&
      (line.rule == CommandRule::kBareProgram ||
       (program.rfind('\\') != std::string::npos && program.rfind('\\') > tab))) {
    Warn(line, "tab",
         "a TAB at column " + Column(tab + (word[0] == '"')) +
             ": only a space ends the program's name for the service, so it becomes " +
             (line.rule == CommandRule::kBareProgram
                  ? "part of the program " + ModuleCandidates(line.commandLine)[0]
                  : "part of the working directory"));
  }
  if (line.rule == CommandRule::kBareProgram && program.find('/') != std::string::npos &&
      (IsDrivePath(program) || program[0] == '/')) {
    Warn(line, "forward-slash",
         "the program path has forward slashes and no backslash, so the service takes it for a "
         "name in its folder and starts " +
             ModuleCandidates(line.commandLine)[0] + ": write backslashes");
  }
  std::string::size_type nameAt = program.find_last_of("\\/");
  if (program.compare(nameAt == std::string::npos ? 0 : nameAt + 1, std::string::npos, "msiexec") ==
      0) {
    Warn(line, "msiexec-without-exe",
         "the line names msiexec without \"msiexec.exe\", the text the installer rule looks for, "
         "so the service starts " +
             ModuleCandidates(line.commandLine)[0] +
             " as a program of its own and no patch is applied");
  }
  bool absolute = IsDrivePath(program) && program.size() >= 3 && program[2] == '\\';
  if (line.rule == CommandRule::kProgramWithPath && !absolute &&
      program.compare(0, 2, "\\\\") != 0) {
    Warn(line, "relative-path", RelativePathMessage(program, systemDirectory));
  }
  if (line.read.compare(word.size(), text.size() - word.size(), text, word.size()) != 0) {
    Warn(line, "lowered", "the service lowers the upper-case letters of the arguments");
  }
  if (line.rule == CommandRule::kProgramWithPath && word[0] != '"' && !HasProgramExtension(word)) {
    std::vector<std::string> candidates = ModuleCandidates(line.commandLine);
    for (std::size_t i = 1; i < candidates.size(); ++i) {
      if (HasProgramExtension(line.commandLine.substr(0, candidates[i].size()))) {
        Warn(line, "unquoted-spaces",
             "the program path has spaces and no quotes: Windows tries " +
                 TriedBefore(candidates, i) + " first and starts a different program than " +
                 candidates[i] + " if one exists (CWE-428)");
        break;
      }
    }
  }
}

// What the line needs on the target machine, looked for where the tool runs.
void CheckTargetFiles(const CheckOptions& options, LineReport& line, const char* lowered,
                      const std::string& serviceDirectory) {
  std::vector<std::string> candidates = ModuleCandidates(line.commandLine);
  std::string found;
  for (const std::string& candidate : candidates) {
    std::string path = FromServiceDirectory(candidate, options.systemDirectory);
    if (options.pathExists(path, false)) {
      found = path;
      break;
    }
  }
  if (found.empty()) {
    std::string tried;
    for (const std::string& candidate : candidates) {
      tried +=
          (tried.empty() ? "" : ", ") + FromServiceDirectory(candidate, options.systemDirectory);
    }
    Warn(line, "missing-program",
         (candidates.size() == 1 ? "there is no program " + tried
                                 : "none of the names Windows tries is there: " + tried) +
             " on this machine");
  }
  for (Finding& finding : line.findings) {
    if (finding.code == "unquoted-spaces" && !found.empty()) {
      finding.message += "; on this machine the service starts " + found;
    }
  }
  if (line.hasDirectory && !line.directory.empty()) {
    std::string directory = FromServiceDirectory(line.directory, options.systemDirectory);
    if (!options.pathExists(directory, true)) {
      Warn(line, "missing-directory", "there is no folder " + directory + " on this machine");
    }
  }
  const char* marker =
      line.rule == CommandRule::kInstallerPatch ? FindText(lowered, " /p ") : nullptr;
  bool patchNamed = std::none_of(line.findings.begin(), line.findings.end(),
                                 [](const Finding& f) { return f.code == "patch-name"; });
  if (marker != nullptr && patchNamed) {
    std::string patch = marker + 4;
    std::string path = serviceDirectory + "\\" + patch.substr(0, patch.find(' '));
    if (!options.pathExists(path, false)) {
      Warn(line, "missing-patch", "there is no patch file " + path + " on this machine");
    }
  }
}

// Whole lines left after the service stops at an overlong one. Reads on
// past the failure with the same reader, never starting anything.
int CountLinesNeverRead(ListReader& reader) {
  LineBuffer scratch;
  bool inOverlongLine = true;
  int count = 0;
  for (;;) {
    reader.fail = false;
    ReadLine(reader, scratch, sizeof scratch);
    bool cutShort = reader.fail && !reader.eof;
    if (!inOverlongLine && !(reader.fail && reader.eof)) ++count;
    inOverlongLine = cutShort;
    if (reader.eof || reader.bad) return count;
  }
}

// UTF-16, with a byte-order mark or without: text whose every other byte is zero.
bool LooksLikeUtf16(const std::string& bytes) {
  if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) return true;
  std::size_t pairs = std::min<std::size_t>(bytes.size(), 512) / 2;
  std::size_t zeros[2] = {0, 0};
  for (std::size_t i = 0; i < 2 * pairs; ++i) zeros[i % 2] += bytes[i] == '\0';
  return pairs >= 2 && (zeros[0] == 0) != (zeros[1] == 0) &&
         std::max(zeros[0], zeros[1]) * 4 >= pairs * 3;
}

// The 1-based line of the first multi-byte UTF-8 sequence after a byte-order
// mark (which has a finding of its own), or 0 when the bytes hold none or are
// not valid UTF-8.
int FirstUtf8Line(const std::string& bytes) {
  int line = 1;
  int first = 0;
  for (std::size_t i = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; i < bytes.size(); ++i) {
    auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\n') ++line;
    if (c < 0x80) continue;
    std::size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (length == 0 || i + length > bytes.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return 0;
    }
    if (first == 0) first = line;
    i += length - 1;
  }
  return first;
}

std::string BaseName(const std::string& path, const char* separators) {
  std::string::size_type at = path.find_last_of(separators);
  return at == std::string::npos ? path : path.substr(at + 1);
}

// Two file names as NTFS compares them: letters without regard to case, the
// bytes of double-byte characters as they are.
bool SameFileName(std::string one, std::string other) {
  LowerLine(&one[0]);
  LowerLine(&other[0]);
  return one == other;
}

void CheckWholeList(const CheckOptions& options, ListReport& report) {
  if (LooksLikeUtf16(options.bytes)) {
    report.findings.push_back(
        Make("utf-16",
             "the list is UTF-16; the service reads bytes in the ANSI code page, so "
             "every line is garbage to it: save the list in the ANSI code page"));
    return;
  }
  int utf8Line = options.codePage == 65001 ? 0 : FirstUtf8Line(options.bytes);
  if (utf8Line > 0) {
    report.findings.push_back(
        Make("utf-8", "the list is UTF-8 (first at line " + std::to_string(utf8Line) +
                          "), but the service reads code page " + std::to_string(options.codePage) +
                          ": save it in that code page"));
  }
#ifdef _WIN32
  const char* separators = "\\/";
#else
  const char* separators = "/";
#endif
  std::string name = BaseName(options.list, separators);
  std::string expected = BaseName(report.serviceListPath, "\\");
  if (options.executableGiven && options.list != "-" && !SameFileName(name, expected)) {
    report.findings.push_back(Make("wrong-list", "the service " + options.executablePath +
                                                     " reads " + expected + ", not " + name));
  }
}

}  // namespace

std::vector<std::string> ModuleCandidates(const std::string& commandLine) {
  std::vector<std::string> names;
  if (commandLine[0] == '"') {
    std::string::size_type closing = commandLine.find('"', 1);
    names.push_back(commandLine.substr(1, closing == std::string::npos ? closing : closing - 1));
  } else {
    for (std::string::size_type at = commandLine.find_first_of(" \t");;
         at = commandLine.find_first_of(" \t", at + 1)) {
      // A name that ends in a blank leads to the same file as the one before it.
      if (at == 0 || at == std::string::npos ||
          (commandLine[at - 1] != ' ' && commandLine[at - 1] != '\t')) {
        names.push_back(commandLine.substr(0, at));
      }
      if (at == std::string::npos) break;
    }
  }
  for (std::string& name : names) {
    std::string::size_type last = name.find_last_of("\\/");
    if (name.find('.', last == std::string::npos ? 0 : last) == std::string::npos) name += ".exe";
  }
  return names;
}

std::string FromServiceDirectory(const std::string& path, const std::string& systemDirectory) {
  if (path.compare(0, 2, "\\\\") == 0) return path;
  if (IsDrivePath(path)) {
    if (path.size() > 2 && path[2] == '\\') return path;
    std::string rest = path.substr(2);
    if (std::toupper(static_cast<unsigned char>(path[0])) !=
        std::toupper(static_cast<unsigned char>(systemDirectory[0]))) {
      return path.substr(0, 2) + "\\" + rest;
    }
    return rest.empty() ? systemDirectory : systemDirectory + "\\" + rest;
  }
  if (path[0] == '\\') return systemDirectory.substr(0, 2) + path;
  return systemDirectory + "\\" + path;
}

const char* LevelName(Level level) {
  switch (level) {
    case Level::kError:
      return "error";
    case Level::kWarning:
      return "warning";
    case Level::kNote:
      break;
  }
  return "note";
}

bool IsDoubleByteCodePage(unsigned codePage) {
  return BuiltInLeadByteRanges(codePage)[0] != 0;
}

bool IsFullWindowsPath(const std::string& path, bool directory) {
  if (path.empty() || path.size() > kPathSize - 1 || path.back() == '\\') return false;
  if (std::any_of(path.begin(), path.end(),
                  [](char c) { return (c >= 0 && c < 0x20) || c == '/'; })) {
    return false;
  }
  bool drive = path.size() > 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
               path[1] == ':' && path[2] == '\\';
  // \\server\share\name: a server, a share and a name, or a share's root.
  std::string::difference_type parts = std::count(path.begin(), path.end(), '\\');
  bool unc = path.compare(0, 2, "\\\\") == 0 && (parts >= 4 || (directory && parts == 3)) &&
             path.find("\\\\", 2) == std::string::npos && path[2] != '\\';
  return (drive && path.find("\\\\") == std::string::npos) || unc;
}

std::string ExecutableNameFor(const std::string& listName) {
  if (listName.size() >= 4) {
    std::string extension = listName.substr(listName.size() - 4);
    LowerLine(&extension[0]);
    if (extension == ".dat") return listName.substr(0, listName.size() - 4) + ".exe";
  }
  return listName + ".exe";
}

const char* RuleName(CommandRule rule) {
  switch (rule) {
    case CommandRule::kInstallerPatch:
      return "installer patch";
    case CommandRule::kProgramWithPath:
      return "program with path";
    case CommandRule::kBareProgram:
      break;
  }
  return "bare program";
}

void CheckList(const CheckOptions& options, ListReport& report,
               const std::function<void(const LineReport&)>& onLine) {
  DryRunPlatform& platform = ResetDryRun(options.codePage);
  platform.executablePath = options.executablePath;
  platform.systemDirectory = options.systemDirectory;
  platform.listBytes = &options.bytes;
  PathBuffer buffer;
  GetListPath(buffer);
  report = ListReport();
  report.serviceListPath = buffer;
  GetServiceDirectory(buffer);
  const std::string serviceDirectory = buffer;
  auto ignored = [&](const Finding& finding) { return options.ignore.count(finding.code) > 0; };
  CheckWholeList(options, report);
  report.findings.erase(std::remove_if(report.findings.begin(), report.findings.end(), ignored),
                        report.findings.end());
  for (const Finding& finding : report.findings) ++report.counts[static_cast<int>(finding.level)];
  // Every line of a UTF-16 list is garbage, and one finding says so.
  bool judgeLines = !LooksLikeUtf16(options.bytes);
  const std::string& bytes = options.bytes;
  std::string::size_type ctrlZ = bytes.find('\x1A');

  // The service's own loop, with each line looked at before it is launched.
  ListReader input;
  OpenList(input, options.list.c_str());
  PathBuffer commandLine;
  PathBuffer workingDirectory;
  LineBuffer line;
  LineBuffer lowered;
  LineReport current;
  while (ReaderGood(input)) {
    current.number = ++report.lineCount;
    current.findings.clear();
    std::size_t stored = ReadLine(input, line, sizeof line);
    current.read.assign(line, stored);
    std::memcpy(lowered, line, sizeof line);
    LowerLine(lowered);
    current.rule = ChooseRule(lowered);

    LaunchLine(line, commandLine, workingDirectory);
    const DryRunStart& start = platform.starts.back();
    current.commandLine = start.commandLine;
    current.hasDirectory = start.hasDirectory;
    current.directory = start.directory;
    platform.starts.clear();  // only this line's start is needed

    CheckRead(current, current.read);
    if (current.rule == CommandRule::kInstallerPatch) {
      CheckInstallerPatch(current, lowered, serviceDirectory);
    } else {
      CheckProgram(current, lowered, input.eof && input.fail, serviceDirectory,
                   options.systemDirectory);
    }
    bool namesProgram = lowered[0] != '\0' && lowered[0] != ' ';
    if (options.pathExists != nullptr && namesProgram) {
      CheckTargetFiles(options, current, lowered, serviceDirectory);
    }
    if (current.commandLine.size() == kPathSize - 1) {
      Warn(current, "command-cut",
           "the command line reaches 259 characters, the most the service passes: anything "
           "longer was cut there");
    }
    // The last line carries what ends the run.
    if (input.fail && !input.eof) {
      report.linesNeverRead = CountLinesNeverRead(input);
      Warn(current, "line-too-long",
           "the line is over 559 characters: the service starts its first 559 and stops "
           "reading" +
               (report.linesNeverRead > 0 ? ", so " + std::to_string(report.linesNeverRead) +
                                                " more line(s) are never started"
                                          : std::string()));
    } else if (!ReaderGood(input) && ctrlZ != std::string::npos && ctrlZ + 1 < bytes.size()) {
      Warn(current, "ctrl-z",
           "a Ctrl-Z at byte " + std::to_string(ctrlZ + 1) + " ends the data: the " +
               std::to_string(bytes.size() - ctrlZ - 1) + " byte(s) after it are never read");
    }
    if (!judgeLines) current.findings.clear();
    current.findings.erase(
        std::remove_if(current.findings.begin(), current.findings.end(), ignored),
        current.findings.end());
    for (const Finding& finding : current.findings) {
      ++report.counts[static_cast<int>(finding.level)];
    }
    onLine(current);
  }
  platform.listBytes = nullptr;
}
