// starter-check: shows a launch list's author what the service will start.
// Exit status: 0 no errors or warnings, 1 any error or warning, 2 a usage or
// I/O error.
#include <sys/stat.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "check/check_defaults.h"
#include "check/check_output.h"
#include "check/list_check.h"

namespace {

const char kUsage[] =
    "usage: starter-check [options] [--] LIST...\n"
    "  --exe PATH         the service executable's full Windows path, such as\n"
    "                     C:\\Svc\\starter.exe or \\\\server\\share\\starter.exe\n"
    "                     (default: C:\\Svc\\ and LIST's name with .dat made .exe;\n"
    "                     on Windows, LIST's real folder instead of C:\\Svc)\n"
    "  --system-dir DIR   default C:\\WINDOWS\\system32; on Windows, the system directory\n"
    "  --code-page N      1 to 65535 (default 1252; on Windows, the ANSI code page);\n"
    "                     932, 936, 949 and 950 are double-byte, every other page is\n"
    "                     treated as having no lead bytes\n"
    "  --ignore CODE,...  leave out findings with these codes\n"
    "  --json             JSON instead of text: one object per list, each on one line\n"
    "  --fail-on LEVEL    warning (default): exit 1 for any error or warning;\n"
    "                     error: exit 1 for errors only, warnings are still shown\n"
    "  --version, --help\n"
    "LIST may be - for standard input; options may be written --opt=value.\n"
    "Exit status: 0 no errors or warnings (notes allowed), 1 any error or warning\n"
    "(with --fail-on error, any error),\n"
    "2 a usage or I/O error.\n";

int UsageError(const std::string& message) {
  std::cerr << "starter-check: " << message << "\n"
            << "Try 'starter-check --help' for the options.\n";
  return 2;
}

void Help() {
  std::cout << kUsage << "\nFindings:\n";
  // Columns as wide as the longest code, so that a new one cannot run into its level.
  size_t width = 0;
  for (int i = 0; i < kFindingCodeCount; ++i) width = std::max(width, strlen(kFindingCodes[i].code));
  for (int i = 0; i < kFindingCodeCount; ++i) {
    const FindingCode& code = kFindingCodes[i];
    std::string name = code.code;
    name.resize(width + 2, ' ');
    name += LevelName(code.level);
    name.resize(width + 11, ' ');  // "warning" and two spaces
    std::cout << "  " << name << code.when << "\n";
  }
}

// Reads the whole list once, so that a pipe can be read too. A file's bytes
// are held once: the buffer is sized from the file before it is read.
bool ReadList(const std::string& name, std::string& bytes, std::string& error) {
  struct stat status;
  if (name != "-" && stat(name.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    error = "cannot read " + name + ": it is a directory, not a list";
    return false;
  }
#ifdef _WIN32
  // Standard input starts in text mode there, which would drop the CRs and
  // the Ctrl-Z that the service reads, and that the findings are about.
  if (name == "-") static_cast<void>(_setmode(_fileno(stdin), _O_BINARY));
#endif
  std::FILE* file = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
  if (file == nullptr) {
    error = "cannot open " + name + ": " + std::strerror(errno);
    return false;
  }
  // A file, or standard input redirected from one, can say its size; a pipe cannot.
  if (std::fseek(file, 0, SEEK_END) == 0) {
    long size = std::ftell(file);
    if (size > 0) bytes.reserve(static_cast<std::size_t>(size));
    std::rewind(file);
  }
  char chunk[65536];
  std::size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, count);
  bool failed = std::ferror(file) != 0;
  int readError = errno;
  if (file != stdin) static_cast<void>(std::fclose(file));
  if (failed) error = "cannot read " + name + ": " + std::strerror(readError);
  return !failed;
}

int Run(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  CheckOptions options;
  std::vector<std::string> lists;
  bool json = false;
  bool failOnWarnings = true;
  bool haveSystemDir = false;
  bool haveCodePage = false;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (optionsEnded || argument == "-" || argument.empty() || argument[0] != '-') {
      lists.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    std::string value;
    std::string::size_type equals = argument.find('=');
    bool inlineValue = equals != std::string::npos;
    if (inlineValue) {
      value = argument.substr(equals + 1);
      argument.resize(equals);
    }
    bool takesValue = argument == "--exe" || argument == "--system-dir" ||
                      argument == "--code-page" || argument == "--ignore" ||
                      argument == "--fail-on";
    if (takesValue && !inlineValue) {
      if (i + 1 == argc) return UsageError(argument + " needs a value");
      value = argv[++i];
    } else if (!takesValue && inlineValue) {
      return UsageError(argument + " takes no value");
    }
    if (argument == "--json") {
      json = true;
    } else if (argument == "--exe") {
      if (!IsFullWindowsPath(value)) {
        return UsageError(
            "--exe needs a full Windows path with a file name, such as "
            "C:\\Svc\\starter.exe, of at most 259 characters: " +
            ShowBytes(value));
      }
      if (!HeldByCodePage(value)) {
        return UsageError("--exe names a path that this machine's ANSI code page cannot hold, " +
                          ShowBytes(value) + ": the service there could not find its own folder");
      }
      options.executablePath = value;
      options.executableGiven = true;
    } else if (argument == "--system-dir") {
      if (!IsFullWindowsPath(value, true)) {
        return UsageError(
            "--system-dir needs a full Windows path with no trailing backslash, such as "
            "C:\\WINDOWS\\system32: " +
            ShowBytes(value));
      }
      options.systemDirectory = value;
      haveSystemDir = true;
    } else if (argument == "--code-page") {
      unsigned long page = 0;
      if (value.empty() || value.size() > 5 ||
          value.find_first_not_of("0123456789") != std::string::npos ||
          (page = std::stoul(value)) < 1 || page > 65535) {
        return UsageError("unknown code page " + ShowBytes(value));
      }
      options.codePage = static_cast<unsigned>(page);
      haveCodePage = true;
    } else if (argument == "--ignore") {
      std::istringstream codes(value);
      for (std::string code; std::getline(codes, code, ',');) {
        if (!IsFindingCode(code))
          return UsageError("--ignore: no finding has the code " + ShowBytes(code));
        options.ignore.insert(code);
      }
    } else if (argument == "--fail-on") {
      if (value != "warning" && value != "error") {
        return UsageError("--fail-on takes warning or error, not " + ShowBytes(value));
      }
      failOnWarnings = value == "warning";
    } else if (argument == "--help" || argument == "-h") {
      Help();
      return 0;
    } else if (argument == "--version") {
      std::cout << "starter-check " STARTER_VERSION "\n";
      return 0;
    } else {
      return UsageError("unknown option " + ShowBytes(argument));
    }
  }
  if (lists.empty()) return UsageError("no list given");
  if (!haveSystemDir) options.systemDirectory = DefaultSystemDirectory();
  if (!haveCodePage) options.codePage = DefaultCodePage();
  options.pathExists = kTargetPathExists;

  int status = 0;
  for (const std::string& list : lists) {
    options.list = list;
    options.bytes.clear();
    std::string error;
    if (!ReadList(list, options.bytes, error)) {
      std::cerr << "starter-check: " << ShowBytes(error) << "\n";
      status = 2;
      continue;
    }
    if (!options.executableGiven) {
      options.executablePath = list == "-" ? "C:\\Svc\\starter.exe" : DefaultExecutablePath(list);
    }
    ListReport report;
    bool begun = false;
    auto begin = [&]() {
      if (begun) return;
      begun = true;
      if (json) {
        WriteJsonHeader(std::cout, options, report);
      } else {
        if (&list != &lists.front()) std::cout << "\n";
        WriteTextHeader(std::cout, options, report);
      }
    };
    // The whole-list part is known before the first line, and every list has one.
    CheckList(options, report, [&](const LineReport& line) {
      begin();
      if (json) {
        WriteJsonLine(std::cout, line);
      } else {
        WriteTextLine(std::cout, line);
      }
    });
    begin();
    if (json) {
      WriteJsonSummary(std::cout, report);
    } else {
      WriteTextSummary(std::cout, report);
    }
    int failing =
        report.Count(Level::kError) + (failOnWarnings ? report.Count(Level::kWarning) : 0);
    if (status == 0 && failing > 0) status = 1;
  }
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "starter-check: cannot write the report\n";
    return 2;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // Nothing may escape as an abort: a pipeline reads 2 as "could not check".
  try {
    return Run(argc, argv);
  } catch (const std::exception& failure) {
    std::cerr << "starter-check: " << failure.what() << "\n";
  } catch (...) {
    std::cerr << "starter-check: unexpected failure\n";
  }
  return 2;
}
