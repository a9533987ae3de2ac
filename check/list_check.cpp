#include "check/list_check.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numeric>

#include "launch/launch_list.h"
#include "launch/list_reader.h"
#include "platform/platform_dry_run.h"

namespace {

void Warn(LineReport& line, const char* code, const std::string& message) {
  line.warnings.push_back({code, message});
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

// Warnings about the bytes as read, before any rule applies.
void CheckRead(LineReport& line, const std::string& read) {
  if (line.number == 1) {
    for (const char* mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
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

int ListReport::WarningCount() const {
  return std::accumulate(lines.begin(), lines.end(), 0, [](int count, const LineReport& line) {
    return count + static_cast<int>(line.warnings.size());
  });
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

bool CheckList(const CheckOptions& options, ListReport& report, std::string& error) {
  std::ifstream file(options.list, std::ios::binary);
  if (!file) {
    error = "cannot open " + options.list + ": " + std::strerror(errno);
    return false;
  }
  const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};

  DryRunPlatform& platform = ResetDryRun(options.codePage);
  platform.executablePath = options.executablePath;
  platform.systemDirectory = options.systemDirectory;
  PathBuffer buffer;
  GetListPath(buffer);
  report = ListReport();
  report.serviceListPath = buffer;
  GetServiceDirectory(buffer);
  const std::string serviceDirectory = buffer;

  // The service's own loop, with each line looked at before it is launched.
  ListReader input;
  OpenList(input, options.list.c_str());
  if (!ReaderGood(input)) {
    error = "cannot open " + options.list;
    return false;
  }
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

    CheckRead(current, current.read);
    if (current.rule == CommandRule::kInstallerPatch) {
      CheckInstallerPatch(current, lowered, serviceDirectory);
    } else {
      CheckProgram(current, lowered, input.eof && input.fail, serviceDirectory);
    }
    if (current.commandLine.size() == kPathSize - 1) {
      Warn(current, "command-cut",
           "the command line reaches 259 characters, the most the service passes: anything "
           "longer was cut there");
    }
    report.lines.push_back(current);
  }
  if (input.bad) {
    error = "cannot read " + options.list;
    return false;
  }
  LineReport& last = report.lines.back();
  if (input.fail && !input.eof) {
    report.linesNeverRead = CountLinesNeverRead(input);
    Warn(last, "line-too-long",
         "the line is over 559 characters: the service starts its first 559 and stops "
         "reading, so " +
             std::to_string(report.linesNeverRead) + " more line(s) are never started");
  } else {
    std::string::size_type ctrlZ = bytes.find('\x1A');
    if (ctrlZ != std::string::npos && ctrlZ + 1 < bytes.size()) {
      Warn(last, "ctrl-z",
           "a Ctrl-Z at byte " + std::to_string(ctrlZ + 1) + " ends the data: the " +
               std::to_string(bytes.size() - ctrlZ - 1) + " byte(s) after it are never read");
    }
  }
  return true;
}
