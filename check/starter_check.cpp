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
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "check/check_defaults.h"
#include "check/check_output.h"
#include "check/list_check.h"

namespace {

const char kUsage[] =
    "usage: starter-check [options] [--] LIST...\n"
    "       starter-check --installed [--json] [--fail-on LEVEL] [--ignore CODE,...]\n"
    "       starter-check --service-folder FOLDER [--create] [--update]\n"
    "                     [--with-list LIST | --purge]\n"
    "       starter-check --source-folder FOLDER\n"
    "       starter-check --listed-files [--exe PATH] LIST\n"
    "  --exe PATH         the service executable's full Windows path, such as\n"
    "                     C:\\Program Files\\Corvane\\starter.exe or\n"
    "                     \\\\server\\share\\starter.exe (default: LIST's name with\n"
    "                     .dat made .exe, in C:\\ProgramData\\CorvaneRemoteStarter;\n"
    "                     on Windows, in LIST's real folder)\n"
    "  --system-dir DIR   default C:\\WINDOWS\\system32; on Windows, the system directory\n"
    "  --code-page N      1 to 65535 (default 1252; on Windows, the ANSI code page);\n"
    "                     932, 936, 949 and 950 are double-byte, every other page is\n"
    "                     treated as having no lead bytes\n"
    "  --ignore CODE,...  leave out findings with these codes\n"
    "  --json             JSON instead of text: one object per list, each on one line\n"
    "  --fail-on LEVEL    warning (default): exit 1 for any error or warning;\n"
    "                     error: exit 1 for errors only, warnings are still shown;\n"
    "                     installation: with --installed, exit 3 for the\n"
    "                     installation's own errors only, the list's still shown\n"
    "  --files-from DIR   the files LIST names without a path are to be copied into\n"
    "                     the service's folder from DIR: look for them there first\n"
    "  --listed-files     print those files, one a line: what an installation copies\n"
    "  --installed        on Windows, audit the installed service: its image path,\n"
    "                     account and access, its folder by the folder rule, then\n"
    "                     its list as it is read there\n"
    "  --service-folder FOLDER\n"
    "                     judge FOLDER as the service's folder, by the rule that\n"
    "                     install.cmd, uninstall.cmd and the package ask\n"
    "  --create           and make it, if it is not there, for Administrators and\n"
    "                     SYSTEM alone (on Windows)\n"
    "  --update           judge it as the folder the service is installed in, as\n"
    "                     the package does once it has removed the old version\n"
    "  --with-list LIST   and LIST, to be installed into it, must be readable, and\n"
    "                     on Windows changeable by administrators only\n"
    "  --purge            whether, with the service removed, its files may go\n"
    "  --source-folder FOLDER\n"
    "                     whether an installation may copy from FOLDER: on Windows,\n"
    "                     it, what it holds and the folders above it must be\n"
    "                     changeable by administrators only\n"
    "  --version, --help\n"
    "LIST may be - for standard input; options may be written --opt=value.\n"
    "Exit status: 0 no errors or warnings (notes allowed), 1 any error or warning\n"
    "(with --fail-on error, any error), 2 a usage or I/O error; with --installed,\n"
    "3 when the installation itself has an error. For a folder: 0 accepted, 1\n"
    "refused, and why, 2 a usage error.\n";

int UsageError(const std::string& message) {
  std::cerr << "starter-check: " << message << "\n"
            << "Try 'starter-check --help' for the options.\n";
  return 2;
}

void Help() {
  std::cout << kUsage << "\nFindings:\n";
  // Columns as wide as the longest code, so that a new one cannot run into its level.
  std::size_t width = 0;
  for (int i = 0; i < kCodeCount; ++i) width = std::max(width, strlen(Describe(Code(i)).name));
  for (int i = 0; i < kCodeCount; ++i) {
    const FindingCode& code = Describe(Code(i));
    std::string name = code.name;
    name.resize(width + 2, ' ');
    name += LevelName(code.level);
    name.resize(width + 11, ' ');  // "warning" and two spaces
    std::cout << "  " << name << code.help << "\n";
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
  bool failed = false;
  try {
    // A file, or standard input redirected from one, can say its size; a pipe cannot.
    if (std::fseek(file, 0, SEEK_END) == 0) {
      long size = std::ftell(file);
      if (size > 0) bytes.reserve(static_cast<std::size_t>(size));
      std::rewind(file);
    }
    char chunk[65536];
    std::size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, count);
    failed = std::ferror(file) != 0;
    int readError = errno;
    if (failed) error = "cannot read " + name + ": " + std::strerror(readError);
  } catch (const std::bad_alloc&) {
    failed = true;
    error = "cannot read " + name + ": it is too large to hold in memory";
    std::string().swap(bytes);
  }
  if (file != stdin) static_cast<void>(std::fclose(file));
  return !failed;
}

struct ToolOptions {
  CheckOptions check;
  std::vector<std::string> lists;
  bool executableGiven = false;
  bool json = false;
  bool failOnWarnings = true;
  bool failOnInstallation = false;  // --fail-on installation: only --installed's own errors
  bool judgeFolder = false;         // --service-folder: the folder rule instead of a list
  std::string folder;
  bool purge = false;
  bool create = false;
  bool update = false;
  std::string withList;      // a list to be installed into the folder, if not empty
  bool judgeSource = false;  // --source-folder
  std::string source;
  bool installed = false;  // --installed: the installed service, then its list
  bool listFiles = false;  // --listed-files: the files a list names without a path
};

// The folder's facts as this machine shows them; with --update, as the
// folder the service is installed in.
FolderFacts FactsOf(const std::string& folder, bool update) {
  FolderFacts facts;
  std::string canonical = CanonicalFolder(folder);
  ReadFolderFacts(canonical.empty() ? folder : canonical, facts);
  if (update) {
    facts.serviceRegistered = true;
    facts.installedIn = canonical;
  }
  // The files its list names are the installation's too.
  std::string bytes;
  std::string error;
  if (facts.exists && !canonical.empty() && ReadList(canonical + "\\starter.dat", bytes, error)) {
    facts.listedFiles =
        FilesNamedWithoutPath(bytes, canonical + "\\starter.exe", DefaultCodePage());
  }
  return facts;
}

// Why the list to be installed is refused, or empty: it must be there,
// readable, with no quote, which the package could not pass whole, and on
// Windows out of others' reach, as the folder is.
std::string JudgeListToInstall(const std::string& list) {
  std::string bytes;
  std::string error;
  if (list.find('"') != std::string::npos) return "it holds a double quote";
  if (!ReadList(list, bytes, error)) return error;
  return kTargetChangeable != nullptr ? kTargetChangeable(list) : "";
}

int CheckOneList(ToolOptions& tool, const std::string& list, bool first);

// The list to be installed into folder, checked as the service there will
// read it, with the files it names taken from the list's own folder: false
// when it has errors or cannot be read, which the report shows.
bool ListInstallable(ToolOptions& tool, const std::string& folder) {
  CheckOptions& options = tool.check;
  options.executablePath = CanonicalFolder(folder) + "\\starter.exe";
  options.filesFrom = FolderOf(tool.withList, options.codePage);
  tool.executableGiven = true;
  tool.failOnWarnings = false;
  return CheckOneList(tool, tool.withList, true) == 0;
}

// The folder rule, for install.cmd, uninstall.cmd and the package. What it
// says goes to standard output, where the scripts show it as it is.
int JudgeFolder(ToolOptions& tool) {
  const MachineFolders machine = DefaultMachineFolders();
  const FolderUse use = tool.purge ? FolderUse::kPurge : FolderUse::kInstall;
  FolderFacts facts = FactsOf(tool.folder, tool.update);
  std::string leftover;
  std::string why = JudgeServiceFolder(tool.folder, use, machine, facts, &leftover);
  if (why.empty() && tool.create && !facts.exists) {
    std::string error;
    why = MakeServiceFolder(CanonicalFolder(tool.folder), error)
              ? JudgeServiceFolder(tool.folder, use, machine, FactsOf(tool.folder, tool.update))
              : "it cannot be made: " + error;
  }
  const std::string folder = "\"" + ShowBytes(tool.folder) + "\"";
  if (!why.empty()) {
    std::cout << (tool.purge ? "keeping " : "refusing ") << folder << ": " << ShowBytes(why)
              << "\n";
    return 1;
  }
  std::string list = tool.withList.empty() ? "" : JudgeListToInstall(tool.withList);
  if (list.empty() && !tool.withList.empty() && !ListInstallable(tool, tool.folder)) {
    list = "it has errors, shown above";
  }
  if (!list.empty()) {
    std::cout << "refusing the list " << ShowBytes(tool.withList) << ": " << ShowBytes(list)
              << "\n";
    return 1;
  }
  if (tool.purge) {
    std::cout << folder
              << (leftover.empty() ? " holds only what the installation put there"
                                   : ": the installation's files may go; " + ShowBytes(leftover) +
                                         ", which stays")
              << "\n";
  } else {
    std::cout << folder << " may serve as the service's folder"
              << (facts.known ? ""
                              : "; what it holds was not looked at: only starter-check.exe "
                                "on the target machine can see it")
              << "\n";
  }
  return 0;
}

// Whether an installation may copy from a folder: install.cmd's own.
int JudgeSource(const ToolOptions& tool) {
  FolderFacts facts = FactsOf(tool.source, false);
  std::string why = JudgeSourceFolder(facts);
  const std::string folder = "\"" + ShowBytes(tool.source) + "\"";
  if (!why.empty()) {
    std::cout << "refusing to install from " << folder << ": " << ShowBytes(why) << "\n";
    return 1;
  }
  std::cout << "an installation may copy from " << folder
            << (facts.known ? ""
                            : "; who can change it was not looked at: only "
                              "starter-check.exe on the target machine can see it")
            << "\n";
  return 0;
}

// The value of one option, already known to take one.
int ReadOption(const std::string& option, const std::string& value, ToolOptions& tool) {
  CheckOptions& options = tool.check;
  if (option == "--exe") {
    if (!IsFullWindowsPath(value)) {
      return UsageError(
          "--exe needs a full Windows path with a file name, such as C:\\Program "
          "Files\\Corvane\\starter.exe, of "
          "at most 259 characters: " +
          ShowBytes(value));
    }
    if (!HeldByCodePage(value)) {
      return UsageError("--exe names a path that this machine's ANSI code page cannot hold, " +
                        ShowBytes(value) + ": the service there could not find its own folder");
    }
    options.executablePath = value;
    tool.executableGiven = true;
  } else if (option == "--system-dir") {
    if (!IsFullWindowsPath(value, true)) {
      return UsageError(
          "--system-dir needs a full Windows path with no trailing backslash, such as "
          "C:\\WINDOWS\\system32: " +
          ShowBytes(value));
    }
    options.systemDirectory = value;
  } else if (option == "--code-page") {
    unsigned long page = 0;
    if (value.empty() || value.size() > 5 ||
        value.find_first_not_of("0123456789") != std::string::npos ||
        (page = std::stoul(value)) < 1 || page > 65535) {
      return UsageError("unknown code page " + ShowBytes(value));
    }
    options.codePage = static_cast<unsigned>(page);
  } else if (option == "--ignore") {
    std::istringstream names(value);
    for (std::string name; std::getline(names, name, ',');) {
      Code code;
      if (!CodeNamed(name, code)) {
        return UsageError("--ignore: no finding has the code " + ShowBytes(name));
      }
      options.ignored[static_cast<int>(code)] = true;
    }
  } else if (option == "--fail-on") {
    if (value != "warning" && value != "error" && value != "installation") {
      return UsageError("--fail-on takes warning, error or installation, not " + ShowBytes(value));
    }
    tool.failOnWarnings = value == "warning";
    tool.failOnInstallation = value == "installation";
  }
  return -1;
}

// Fills tool from the command line. Returns -1 to go on checking, or the exit
// status when there is nothing to check: help, the version, a usage error.
int ReadOptions(int argc, char** argv, ToolOptions& tool) {
  bool haveSystemDir = false;
  bool haveCodePage = false;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (optionsEnded || argument == "-" || argument.empty() || argument[0] != '-') {
      tool.lists.push_back(argument);
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
    bool takesValue =
        argument == "--exe" || argument == "--system-dir" || argument == "--code-page" ||
        argument == "--ignore" || argument == "--fail-on" || argument == "--service-folder" ||
        argument == "--with-list" || argument == "--source-folder" || argument == "--files-from";
    if (takesValue && !inlineValue) {
      if (i + 1 == argc) return UsageError(argument + " needs a value");
      value = argv[++i];
    } else if (!takesValue && inlineValue) {
      return UsageError(argument + " takes no value");
    }
    if (argument == "--service-folder") {
      tool.judgeFolder = true;
      tool.folder = value;
    } else if (argument == "--with-list") {
      tool.withList = value;
    } else if (argument == "--source-folder") {
      tool.judgeSource = true;
      tool.source = value;
    } else if (argument == "--files-from") {
      tool.check.filesFrom = CanonicalFolder(value).empty() ? value : CanonicalFolder(value);
    } else if (takesValue) {
      int status = ReadOption(argument, value, tool);
      if (status >= 0) return status;
      haveSystemDir = haveSystemDir || argument == "--system-dir";
      haveCodePage = haveCodePage || argument == "--code-page";
    } else if (argument == "--json") {
      tool.json = true;
    } else if (argument == "--purge") {
      tool.purge = true;
    } else if (argument == "--create") {
      tool.create = true;
    } else if (argument == "--update") {
      tool.update = true;
    } else if (argument == "--installed") {
      tool.installed = true;
    } else if (argument == "--listed-files") {
      tool.listFiles = true;
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
  int modes = tool.judgeFolder + tool.judgeSource + tool.installed;
  if (modes > 1) {
    return UsageError(
        "--service-folder, --source-folder and --installed each judge one thing: "
        "give one of them");
  }
  if (modes == 1 && !tool.lists.empty()) {
    return UsageError("--service-folder, --source-folder and --installed judge no list you give");
  }
  if ((tool.purge || tool.create || tool.update || !tool.withList.empty()) && !tool.judgeFolder) {
    return UsageError("--purge, --create, --update and --with-list need --service-folder");
  }
  if (tool.purge && (tool.create || !tool.withList.empty())) {
    return UsageError("--create and --with-list are for an installation, not --purge");
  }
  if (tool.listFiles && (modes > 0 || tool.lists.size() != 1)) {
    return UsageError("--listed-files takes one list, and no other mode");
  }
  if (!haveSystemDir) tool.check.systemDirectory = DefaultSystemDirectory();
  if (!haveCodePage) tool.check.codePage = DefaultCodePage();
  tool.check.fileKind = kTargetFileKind;
  tool.check.changeable = kTargetChangeable;
  tool.check.pathKnown = ServicePathFolders(tool.check.pathFolders);
  if (tool.judgeFolder || tool.judgeSource) return -1;
  if (tool.installed && kTargetFileKind == nullptr) {
    return UsageError(
        "--installed reads this machine's registration: only starter-check.exe, "
        "on Windows, can");
  }
  if (!tool.installed && tool.lists.empty()) return UsageError("no list given");
  return -1;
}

// Checks one list and writes its report. Returns its exit status.
int CheckOneList(ToolOptions& tool, const std::string& list, bool first) {
  CheckOptions& options = tool.check;
  options.list = list;
  std::string().swap(options.bytes);
  std::string error;
  // An installed service without a list starts nothing: a finding, not an error.
  struct stat status;
  bool missing = tool.installed && stat(list.c_str(), &status) != 0 && errno == ENOENT;
  if (missing) {
    options.installation.push_back({Code::kNoList, "there is no list " + list});
  } else if (!ReadList(list, options.bytes, error)) {
    std::cerr << "starter-check: " << ShowBytes(error) << "\n";
    return 2;
  }
  if (!tool.executableGiven) {
    options.executablePath =
        list == "-" ? kDefaultFolder + std::string("\\starter.exe") : DefaultExecutablePath(list);
  }
  ListReport report;
  ListCheck check;
  BeginListCheck(options, report, check);
  // The whole-list part is known before the first line, and every list has one.
  if (tool.json) {
    WriteJsonHeader(std::cout, options, report);
  } else {
    if (!first) std::cout << "\n";
    WriteTextHeader(std::cout, options, report);
  }
  LineReport line;
  while (!missing && CheckNextLine(check, line)) {
    if (tool.json) {
      WriteJsonLine(std::cout, line);
    } else {
      WriteTextLine(std::cout, line);
    }
  }
  EndListCheck(check);
  if (tool.json) {
    WriteJsonSummary(std::cout, report);
  } else {
    WriteTextSummary(std::cout, report);
  }
  int failing =
      report.Count(Level::kError) + (tool.failOnWarnings ? report.Count(Level::kWarning) : 0);
  bool installationFails =
      std::any_of(report.findings.begin(), report.findings.end(), [&](const Finding& finding) {
        return Describe(finding.code).level == Level::kError &&
               std::any_of(options.installation.begin(), options.installation.end(),
                           [&](const Finding& own) { return own.code == finding.code; });
      });
  return installationFails ? 3 : failing > 0 && !tool.failOnInstallation ? 1 : 0;
}

// --listed-files: what an installation copies into the service's folder
// with the list, one name a line.
int ListFiles(const ToolOptions& tool) {
  std::string bytes;
  std::string error;
  const std::string& list = tool.lists.front();
  if (!ReadList(list, bytes, error)) {
    std::cerr << "starter-check: " << ShowBytes(error) << "\n";
    return 2;
  }
  std::string executable =
      tool.executableGiven ? tool.check.executablePath : DefaultExecutablePath(list);
  for (const std::string& name : FilesNamedWithoutPath(bytes, executable, tool.check.codePage)) {
    std::cout << name << "\n";
  }
  return 0;
}

// --installed: the registration as this machine has it, the folder by the
// folder rule as an update finds it, then the list the service reads there.
int AuditInstalled(ToolOptions& tool) {
  InstalledFacts facts;
  ReadInstalledFacts(facts);
  if (!facts.registered) {
    std::cerr << "starter-check: the service is not installed on this machine\n";
    return 2;
  }
  const std::string program = ImageProgram(facts.imagePath);
  std::string folder;
  std::string list;
  ServicePaths(program, tool.check.codePage, folder, list);
  FolderFacts folderFacts = FactsOf(folder, true);
  folderFacts.heldByCodePage =
      facts.heldByCodePage;  // it came from the registry, not the command line
  const std::string verdict =
      JudgeServiceFolder(folder, FolderUse::kInstall, DefaultMachineFolders(), folderFacts);
  CheckOptions& options = tool.check;
  options.installed = true;
  options.imagePath = facts.imagePath;
  options.account = facts.account.empty() ? "LocalSystem" : facts.account;
  options.installation = AuditInstallation(facts, verdict);
  options.executablePath = program;
  tool.executableGiven = true;
  return CheckOneList(tool, list, true);
}

int Run(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  ToolOptions tool;
  int status = ReadOptions(argc, argv, tool);
  if (status >= 0) return status;
  if (tool.judgeFolder) return JudgeFolder(tool);
  if (tool.judgeSource) return JudgeSource(tool);
  if (tool.listFiles) return ListFiles(tool);
  status = tool.installed ? AuditInstalled(tool) : 0;
  for (const std::string& list : tool.lists) {
    // A list it could not read outweighs one with findings.
    status = std::max(status, CheckOneList(tool, list, &list == &tool.lists.front()));
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
