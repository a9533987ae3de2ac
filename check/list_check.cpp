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
    {"quoted-space", Level::kError,
     "an unclosed quoted word with a space: it is cut at that space"},
    {"no-program", Level::kError, "the line begins with a space, so it names no program"},
    {"line-too-long", Level::kError, "over 559 characters: no later line is ever started"},
    {"missing-program", Level::kError, "on Windows: the program is not on this machine"},
    {"missing-directory", Level::kError,
     "on Windows: the working directory is not on this machine"},
    {"missing-patch", Level::kError, "on Windows: the patch file is not in the service's folder"},
    {"utf-8", Level::kWarning, "UTF-8 text, where the service reads the ANSI code page"},
    {"wrong-list", Level::kWarning, "the service at --exe reads a list of another name"},
    {"relative-path", Level::kWarning,
     "a program path that is neither absolute nor UNC: it resolves against the service's "
     "current directory, the system directory"},
    {"unquoted-spaces", Level::kWarning,
     "a program path with spaces and no quotes, where Windows may start another program"},
    {"no-patch-option", Level::kWarning, "an installer line without \" /p \""},
    {"command-cut", Level::kWarning, "the command line reaches 259 characters and may be cut"},
    {"ctrl-z", Level::kWarning, "a Ctrl-Z ends the data with bytes after it"},
    {"nul-byte", Level::kWarning, "a NUL byte in a line: the rest of the line is ignored"},
    {"lone-cr", Level::kWarning, "a CR that no LF follows, kept in the command"},
    {"empty-line", Level::kNote, "a blank line, or the empty read after the last line end"},
    {"lowered", Level::kNote, "upper-case letters in the arguments are lowered"},
};
const int kFindingCodeCount = sizeof kFindingCodes / sizeof kFindingCodes[0];

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

// The first word as the service splits it, by the service's own code: a
// quoted word with its quotes, or else up to the first space.
std::string FirstWord(const char* lowered) {
  if (const char* closing = ClosingQuote(lowered)) return std::string(lowered, closing + 1);
  const char* space = FindChar(lowered, ' ');
  return space ? std::string(lowered, space) : std::string(lowered);
}

// Findings about the bytes as read, before any rule applies.
void CheckRead(LineReport& line, const std::string& read) {
  if (line.number == 1) {
    for (const char* mark : {"\xEF\xBB\xBF"}) {
      if (read.compare(0, std::strlen(mark), mark) == 0) {
        Warn(line, "byte-order-mark",
             "the file begins with a byte-order mark, which the service reads as part of the "
             "first program name");
      }
    }
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

void CheckInstallerPatch(LineReport& line, const char* lowered,
                         const std::string& serviceDirectory) {
  std::string word = FirstWord(lowered);
  if (word.size() >= 2 && word.front() == '"' && word.back() == '"') {
    word = word.substr(1, word.size() - 2);
  }
  if (word != "msiexec.exe" && !EndsWith(word, "\\msiexec.exe")) {
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
  std::string patch = marker + 4;
  std::string path = patch.substr(patch[0] == '"' ? 1 : 0);
  if ((path.size() >= 2 && path[1] == ':') || path[0] == '\\') {
    Warn(line, "absolute-patch",
         "the patch path is absolute, but the service puts its own folder in front of it: " +
             serviceDirectory + "\\" + patch);
  }
}

void CheckProgram(LineReport& line, const char* lowered, bool finalRead,
                  const std::string& serviceDirectory) {
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
  if (word[0] == '"' && word.find('"', 1) == std::string::npos &&
      text.find('"', word.size()) != std::string::npos) {
    Warn(line, "quoted-space",
         "the first word is quoted and holds a space, but the service ends it at that space, "
         "at " +
             word);
  }
  std::string program = word[0] == '"' ? word.substr(1, word.size() - 2) : word;
  bool absolute = program.size() >= 3 && std::isalpha(static_cast<unsigned char>(program[0])) &&
                  program[1] == ':' && program[2] == '\\';
  if (line.rule == CommandRule::kProgramWithPath && !absolute &&
      program.compare(0, 2, "\\\\") != 0) {
    Warn(line, "relative-path",
         program +
             " is neither absolute nor UNC: it resolves against the service's current "
             "directory (the system directory under the service control manager), not "
             "its folder");
  }
  if (line.read.compare(word.size(), text.size() - word.size(), text, word.size()) != 0) {
    Warn(line, "lowered", "the service lowers the upper-case letters of the arguments");
  }
  if (line.rule == CommandRule::kProgramWithPath && word[0] != '"' && !HasProgramExtension(word)) {
    for (std::string::size_type space = text.find(' ', word.size() + 1);;
         space = text.find(' ', space + 1)) {
      std::string prefix = text.substr(0, space);
      if (HasProgramExtension(prefix)) {
        std::string message = "the program path has spaces and no quotes: Windows tries ";
        message += word;
        message += " first and may start a different program than ";
        message += prefix;
        message += " (CWE-428)";
        Warn(line, "unquoted-spaces", message);
        break;
      }
      if (space == std::string::npos) break;
    }
  }
}

// A path as the service's children see it: relative paths start from the
// service's current directory, which is the system directory.
std::string FromCurrentDirectory(const std::string& path, const std::string& systemDirectory) {
  if (path.size() >= 2 && path[1] == ':') return path;
  if (path.compare(0, 2, "\\\\") == 0) return path;
  if (path[0] == '\\') return systemDirectory.substr(0, 2) + path;
  return systemDirectory + "\\" + path;
}

// What the line needs on the target machine, looked for where the tool runs.
void CheckTargetFiles(const CheckOptions& options, LineReport& line, const char* lowered,
                      const std::string& serviceDirectory) {
  // The program as CreateProcessA finds it: the quoted path, or the first word
  // with ".exe" added when it has no extension.
  const std::string& command = line.commandLine;
  std::string program;
  if (command[0] == '"') {
    program = command.substr(1, command.find('"', 1) - 1);
  } else {
    program = command.substr(0, command.find(' '));
    std::string::size_type name = program.find_last_of('\\');
    if (program.find('.', name == std::string::npos ? 0 : name) == std::string::npos) {
      program += ".exe";
    }
  }
  program = FromCurrentDirectory(program, options.systemDirectory);
  if (!options.pathExists(program, false)) {
    Warn(line, "missing-program", "there is no program " + program + " on this machine");
  }
  if (line.hasDirectory && !line.directory.empty()) {
    std::string directory = FromCurrentDirectory(line.directory, options.systemDirectory);
    if (!options.pathExists(directory, true)) {
      Warn(line, "missing-directory", "there is no folder " + directory + " on this machine");
    }
  }
  const char* marker =
      line.rule == CommandRule::kInstallerPatch ? FindText(lowered, " /p ") : nullptr;
  if (marker != nullptr && marker[4] != '\0' && marker[4] != ' ') {
    std::string patch = marker + 4;
    patch.resize(std::min(patch.size(), patch.find(' ')));
    patch.erase(std::remove(patch.begin(), patch.end(), '"'), patch.end());
    std::string path = serviceDirectory + "\\" + patch;
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

}  // namespace

namespace {

// UTF-16, with a byte-order mark or without: text whose every other byte is zero.
bool LooksLikeUtf16(const std::string& bytes) {
  if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) return true;
  std::size_t pairs = std::min<std::size_t>(bytes.size(), 512) / 2;
  std::size_t zeros[2] = {0, 0};
  for (std::size_t i = 0; i < 2 * pairs; ++i) zeros[i % 2] += bytes[i] == '\0';
  return pairs >= 2 && (zeros[0] == 0) != (zeros[1] == 0) &&
         std::max(zeros[0], zeros[1]) * 4 >= pairs * 3;
}

// The 1-based line of the first multi-byte UTF-8 sequence, or 0 when the
// bytes hold none or are not valid UTF-8.
int FirstUtf8Line(const std::string& bytes) {
  int line = 1;
  int first = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
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

void CheckWholeList(const CheckOptions& options, ListReport& report) {
  if (LooksLikeUtf16(options.bytes)) {
    report.findings.push_back(
        Make("utf-16",
             "the list is UTF-16; the service reads bytes in the ANSI code page, so "
             "every line is garbage to it: save the list in the ANSI code page"));
    for (LineReport& line : report.lines) line.findings.clear();
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
  if (options.executableGiven && options.list != "-" && name != expected) {
    report.findings.push_back(Make("wrong-list", "the service " + options.executablePath +
                                                     " reads " + expected + ", not " + name));
  }
}

}  // namespace

int ListReport::Count(Level level) const {
  auto atLevel = [level](const std::vector<Finding>& some) {
    return static_cast<int>(std::count_if(some.begin(), some.end(),
                                          [level](const Finding& f) { return f.level == level; }));
  };
  int count = atLevel(findings);
  for (const LineReport& line : lines) count += atLevel(line.findings);
  return count;
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

bool IsFullWindowsPath(const std::string& path) {
  if (path.empty() || path.size() > kPathSize - 1 || path.back() == '\\') return false;
  if (std::any_of(path.begin(), path.end(), [](char c) { return c >= 0 && c < 0x20; })) {
    return false;
  }
  bool drive = path.size() > 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
               path[1] == ':' && path[2] == '\\';
  // \\server\share\file: a server, a share and a file name.
  bool unc = path.compare(0, 2, "\\\\") == 0 && std::count(path.begin(), path.end(), '\\') >= 4 &&
             path.find("\\\\", 2) == std::string::npos;
  return drive || unc;
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

void CheckList(const CheckOptions& options, ListReport& report) {
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

  // The service's own loop, with each line looked at before it is launched.
  ListReader input;
  OpenList(input, options.list.c_str());
  PathBuffer commandLine;
  PathBuffer workingDirectory;
  LineBuffer line;
  LineBuffer lowered;
  while (ReaderGood(input)) {
    LineReport current;
    current.number = static_cast<int>(report.lines.size()) + 1;
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
      CheckProgram(current, lowered, input.eof && input.fail, serviceDirectory);
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
    report.lines.push_back(current);
  }
  LineReport& last = report.lines.back();
  if (input.fail && !input.eof) {
    report.linesNeverRead = CountLinesNeverRead(input);
    Warn(last, "line-too-long",
         "the line is over 559 characters: the service starts its first 559 and stops "
         "reading, so " +
             std::to_string(report.linesNeverRead) + " more line(s) are never started");
  } else {
    const std::string& bytes = options.bytes;
    std::string::size_type ctrlZ = bytes.find('\x1A');
    if (ctrlZ != std::string::npos && ctrlZ + 1 < bytes.size()) {
      Warn(last, "ctrl-z",
           "a Ctrl-Z at byte " + std::to_string(ctrlZ + 1) + " ends the data: the " +
               std::to_string(bytes.size() - ctrlZ - 1) + " byte(s) after it are never read");
    }
  }
  CheckWholeList(options, report);
  auto ignored = [&](const Finding& finding) { return options.ignore.count(finding.code) > 0; };
  report.findings.erase(std::remove_if(report.findings.begin(), report.findings.end(), ignored),
                        report.findings.end());
  for (LineReport& each : report.lines) {
    each.findings.erase(std::remove_if(each.findings.begin(), each.findings.end(), ignored),
                        each.findings.end());
  }
  platform.listBytes = nullptr;
}
