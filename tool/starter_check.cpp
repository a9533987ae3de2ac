// starter-check: shows a launch list's author what the service will start.
// Exit status: 0 no errors or warnings, 1 any error or warning, 2 a usage or
// I/O error.
#include <algorithm>
#include <cstring>
#include <exception>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "tool/check_defaults.h"
#include "tool/check_output.h"
#include "tool/tool_options.h"

namespace {

const char kUsage[] =
    "usage: starter-check [options] [--] LIST...\n"
    "       starter-check --installed [--json] [--fail-on LEVEL] [--ignore CODE,...]\n"
    "       starter-check --service-folder FOLDER [--update]\n"
    "                     [--with-list LIST | --purge]\n"
    "       starter-check --source-folder FOLDER\n"
    "       starter-check --listed-files [--exe PATH] LIST\n"
    "       starter-check --job-identity [--code-page N] LIST\n"
    "  --exe PATH         the service executable's full Windows path, such as\n"
    "                     C:\\Program Files\\Corvane\\starter.exe or\n"
    "                     \\\\server\\share\\starter.exe (default: LIST's name with\n"
    "                     .dat made .exe, in C:\\ProgramData\\CorvaneRemoteStarter;\n"
    "                     on Windows, in LIST's real folder)\n"
    "  --system-dir DIR   default C:\\WINDOWS\\system32; on Windows, the system directory\n"
    "  --code-page N      1 to 65535 (default 1252; on Windows, the ANSI code page);\n"
    "                     932, 936, 949 and 950 are double-byte, every other page is\n"
    "                     treated as having no lead bytes\n"
    "  --dry-run          check for another machine, as a build for another system\n"
    "                     does: look at nothing here, and take the fixed defaults\n"
    "                     above, not this machine's\n"
    "  --ignore CODE,...  leave out findings with these codes\n"
    "  --json             JSON instead of text: one object per list, each on one line\n"
    "  --fail-on LEVEL    warning (default): exit 1 for any error or warning;\n"
    "                     error: exit 1 for errors only, warnings are still shown;\n"
    "                     installation: with --installed, exit 3 for the\n"
    "                     installation's own errors only, the list's still shown\n"
    "  --files-from DIR   the files LIST names without a path are to be copied into\n"
    "                     the service's folder from DIR: look for them there first\n"
    "  --listed-files     print those files, one a line: what an installation copies\n"
    "  --job-identity     print the identity of the job LIST and the files beside it\n"
    "                     make: what an installation of it writes into the\n"
    "                     registry's Job value, for a deployment tool's detection\n"
    "  --installed        on Windows, audit the installed service: its image path,\n"
    "                     account and access, its folder by the folder rule, then\n"
    "                     its list as it is read there\n"
    "  --service-folder FOLDER\n"
    "                     judge FOLDER as the service's folder, by the rule that\n"
    "                     install.cmd, uninstall.cmd and the package ask\n"
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
    options.service.executablePath = value;
    tool.executableGiven = true;
  } else if (option == "--system-dir") {
    if (!IsFullWindowsPath(value, true)) {
      return UsageError(
          "--system-dir needs a full Windows path with no trailing backslash, such as "
          "C:\\WINDOWS\\system32: " +
          ShowBytes(value));
    }
    options.service.systemDirectory = value;
  } else if (option == "--code-page") {
    unsigned long page = 0;
    if (value.empty() || value.size() > 5 ||
        value.find_first_not_of("0123456789") != std::string::npos ||
        (page = std::stoul(value)) < 1 || page > 65535) {
      return UsageError("unknown code page " + ShowBytes(value));
    }
    options.service.codePage = static_cast<unsigned>(page);
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

// The switches that only set a flag.
struct Flag {
  const char* name;
  bool ToolOptions::*set;
};
const Flag kFlags[] = {{"--json", &ToolOptions::json},
                       {"--purge", &ToolOptions::purge},
                       {"--update", &ToolOptions::update},
                       {"--installed", &ToolOptions::installed},
                       {"--listed-files", &ToolOptions::listFiles},
                       {"--job-identity", &ToolOptions::jobIdentity},
                       {"--dry-run", &ToolOptions::dryRun}};

// A switch, one that takes no value. Returns -1 to go on, or the exit status.
int ReadSwitch(const std::string& argument, ToolOptions& tool) {
  const Flag* flag = std::find_if(std::begin(kFlags), std::end(kFlags),
                                  [&](const Flag& f) { return argument == f.name; });
  if (flag != std::end(kFlags)) {
    tool.*flag->set = true;
    return -1;
  }
  if (argument == "--help" || argument == "-h") {
    Help();
    return 0;
  }
  if (argument == "--version") {
    std::cout << "starter-check " STARTER_VERSION "\n";
    return 0;
  }
  return UsageError("unknown option " + ShowBytes(argument));
}

// An option with its value, written "--opt value" or "--opt=value"; i moves
// past a value of its own. Returns -1 to go on, or the exit status.
int ReadArgument(int argc, char** argv, int& i, ToolOptions& tool) {
  std::string argument = argv[i];
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
  if (!takesValue)
    return inlineValue ? UsageError(argument + " takes no value") : ReadSwitch(argument, tool);
  if (!inlineValue) {
    if (i + 1 == argc) return UsageError(argument + " needs a value");
    value = argv[++i];
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
    tool.check.service.filesFrom = CanonicalFolder(value).empty() ? value : CanonicalFolder(value);
  } else {
    tool.haveSystemDir = tool.haveSystemDir || argument == "--system-dir";
    tool.haveCodePage = tool.haveCodePage || argument == "--code-page";
    return ReadOption(argument, value, tool);
  }
  return -1;
}

// Whether the modes given go together. Returns -1 when they do, or the exit status.
int CheckModes(const ToolOptions& tool) {
  int modes = tool.judgeFolder + tool.judgeSource + tool.installed;
  if (modes > 1) {
    return UsageError(
        "--service-folder, --source-folder and --installed each judge one thing: "
        "give one of them");
  }
  if (modes == 1 && !tool.lists.empty()) {
    return UsageError("--service-folder, --source-folder and --installed judge no list you give");
  }
  if ((tool.purge || tool.update || !tool.withList.empty()) && !tool.judgeFolder) {
    return UsageError("--purge, --update and --with-list need --service-folder");
  }
  if (tool.purge && !tool.withList.empty()) {
    return UsageError("--with-list is for an installation, not --purge");
  }
  if ((tool.listFiles || tool.jobIdentity) && (modes > 0 || tool.lists.size() != 1)) {
    return UsageError("--listed-files and --job-identity take one list, and no other mode");
  }
  if (tool.dryRun && modes > 0) {
    return UsageError("--dry-run checks lists for another machine; it judges nothing on this one");
  }
  if (tool.installed && kTargetFileKind == nullptr) {
    return UsageError(
        "--installed reads this machine's registration: only starter-check.exe, "
        "on Windows, can");
  }
  if (modes == 0 && tool.lists.empty()) return UsageError("no list given");
  return -1;
}

// Fills tool from the command line. Returns -1 to go on checking, or the exit
// status when there is nothing to check: help, the version, a usage error.
int ReadOptions(int argc, char** argv, ToolOptions& tool) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (optionsEnded || argument == "-" || argument.empty() || argument[0] != '-') {
      tool.lists.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else {
      int status = ReadArgument(argc, argv, i, tool);
      if (status >= 0) return status;
    }
  }
  int status = CheckModes(tool);
  if (status >= 0) return status;
  ChooseMachine(tool);
  return -1;
}

int Run(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  ToolOptions tool;
  int status = ReadOptions(argc, argv, tool);
  if (status >= 0) return status;
  if (tool.judgeFolder) return JudgeFolder(tool);
  if (tool.judgeSource) return JudgeSource(tool);
  if (tool.listFiles) return ListFiles(tool);
  if (tool.jobIdentity) return PrintJobIdentity(tool);
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
