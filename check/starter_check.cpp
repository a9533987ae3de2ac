// starter-check: shows a launch list's author what the service will start.
// Exit status: 0 no warnings, 1 warnings, 2 a usage or I/O error.
#include <cstdlib>
#include <iostream>
#include <string>

#include "check/check_defaults.h"
#include "check/check_output.h"
#include "check/list_check.h"

namespace {

const char kUsage[] =
    "usage: starter-check [options] LIST\n"
    "  --exe PATH         the service executable's full Windows path\n"
    "  --system-dir DIR   the system directory\n"
    "  --code-page N      1252, 932, 936, 949 or 950\n"
    "  --json             write JSON instead of text\n";

int UsageError(const std::string& message) {
  std::cerr << "starter-check: " << message << "\n" << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  CheckOptions options;
  bool json = false;
  bool haveExe = false;
  bool haveSystemDir = false;
  bool haveCodePage = false;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    bool takesValue =
        argument == "--exe" || argument == "--system-dir" || argument == "--code-page";
    if (takesValue && i + 1 == argc) return UsageError(argument + " needs a value");
    if (argument == "--json") {
      json = true;
    } else if (argument == "--exe") {
      options.executablePath = argv[++i];
      haveExe = true;
    } else if (argument == "--system-dir") {
      options.systemDirectory = argv[++i];
      haveSystemDir = true;
    } else if (argument == "--code-page") {
      std::string value = argv[++i];
      if (value != "1252" && value != "932" && value != "936" && value != "949" && value != "950") {
        return UsageError("unknown code page " + value);
      }
      options.codePage = static_cast<unsigned>(std::stoul(value));
      haveCodePage = true;
    } else if (argument == "--help" || argument == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (argument.size() > 1 && argument[0] == '-') {
      return UsageError("unknown option " + argument);
    } else if (!options.list.empty()) {
      return UsageError("one list at a time");
    } else {
      options.list = argument;
    }
  }
  if (options.list.empty()) return UsageError("no list given");
  if (!haveExe) options.executablePath = DefaultExecutablePath(options.list);
  if (!haveSystemDir) options.systemDirectory = DefaultSystemDirectory();
  if (!haveCodePage) options.codePage = DefaultCodePage();

  ListReport report;
  std::string error;
  if (!CheckList(options, report, error)) {
    std::cerr << "starter-check: " << error << "\n";
    return 2;
  }
  if (json) {
    WriteJson(std::cout, options, report);
  } else {
    WriteText(std::cout, options, report);
  }
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "starter-check: cannot write the report\n";
    return 2;
  }
  return report.WarningCount() > 0 ? 1 : 0;
}
