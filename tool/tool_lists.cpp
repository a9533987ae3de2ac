#include <sys/stat.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>

#include "install/job_record.h"
#include "install/sha256.h"
#include "paths/windows_paths.h"
#include "tool/check_defaults.h"
#include "tool/check_output.h"
#include "tool/tool_options.h"

// A file's bytes are held once: the buffer is sized from the file before it is read.
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

namespace {

// The service that reads list, when --exe does not say: beside the list on
// this machine, or in the default folder for standard input and a dry run.
std::string ExecutableFor(const ToolOptions& tool, const std::string& list) {
  if (list == "-") return kDefaultFolder + std::string("\\starter.exe");
  return tool.dryRun ? ExecutableBeside(kDefaultFolder, list) : DefaultExecutablePath(list);
}

}  // namespace

// The machine the lists are checked for: this one, where the tool can see
// it, or, in a dry run, another with the defaults of a build that cannot.
void ChooseMachine(ToolOptions& tool) {
  CheckOptions& options = tool.check;
  if (tool.dryRun) {
    if (!tool.haveSystemDir) options.service.systemDirectory = kDefaultSystemDirectory;
    if (!tool.haveCodePage) options.service.codePage = kDefaultCodePage;
    return;
  }
  if (!tool.haveSystemDir) options.service.systemDirectory = DefaultSystemDirectory();
  if (!tool.haveCodePage) options.service.codePage = DefaultCodePage();
  options.service.fileKind = kTargetFileKind;
  if (kTargetChangeable != nullptr) {
    // One view of who is trusted for the whole check: the machine is asked once an account.
    auto trusted = std::make_shared<const Trusted>(TrustedHere());
    options.service.changeable = [trusted](const std::string& path) {
      return kTargetChangeable(path, *trusted);
    };
  }
  TargetBitness(options.service.wow64, options.service.runsDos);
  options.service.pathKnown = ServicePathFolders(options.service.pathFolders);
}

int CheckOneList(ToolOptions& tool, const std::string& list, bool first) {
  CheckOptions& options = tool.check;
  options.list = list;
  std::string().swap(options.bytes);
  std::string error;
  // An installed service without a list starts nothing: its audit says so.
  struct stat status;
  bool missing = tool.installed && stat(list.c_str(), &status) != 0 && errno == ENOENT;
  if (!missing && !ReadList(list, options.bytes, error)) {
    std::cerr << "starter-check: " << ShowBytes(error) << "\n";
    return 2;
  }
  if (!tool.executableGiven) options.service.executablePath = ExecutableFor(tool, list);
  ListReport report;
  ListCheck check;
  BeginListCheck(options, report, check);
  // The whole-list part is known before the first line, and every list has one.
  if (tool.json) {
    WriteJsonHeader(*tool.out, options, report);
  } else {
    if (!first) *tool.out << "\n";
    WriteTextHeader(*tool.out, options, report);
  }
  LineReport line;
  while (!missing && CheckNextLine(check, line)) {
    if (tool.json) {
      WriteJsonLine(*tool.out, line);
    } else {
      WriteTextLine(*tool.out, line);
    }
  }
  EndListCheck(check);
  if (tool.json) {
    WriteJsonSummary(*tool.out, report);
  } else {
    WriteTextSummary(*tool.out, report);
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
      tool.executableGiven ? tool.check.service.executablePath : ExecutableFor(tool, list);
  for (const std::string& name :
       FilesNamedWithoutPath(bytes, executable, tool.check.service.codePage)) {
    std::cout << name << "\n";
  }
  return 0;
}

int PrintJobIdentity(const ToolOptions& tool) {
  const std::string& list = tool.lists.front();
  std::string bytes;
  std::string error;
  if (!ReadList(list, bytes, error)) {
    std::cerr << "starter-check: " << ShowBytes(error) << "\n";
    return 2;
  }
  // Beside the list, by name as Windows compares names, on any system.
  const std::filesystem::path folder = std::filesystem::path(list).parent_path();
  std::vector<std::filesystem::path> beside;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(
           folder.empty() ? std::filesystem::path(".") : folder, ignored)) {
    if (entry.is_regular_file(ignored)) beside.push_back(entry.path());
  }
  auto find = [&](const std::string& name) {
    return std::find_if(beside.begin(), beside.end(), [&](const std::filesystem::path& one) {
      return SameName(one.filename().string(), name);
    });
  };
  JobRecord record;
  for (const std::string& name :
       JobNames(bytes, tool.check.service.codePage,
                [&](const std::string& one) { return find(one) != beside.end(); })) {
    std::string file;
    if (name == "starter.dat") {
      file = bytes;
    } else if (!ReadList(find(name)->string(), file, error)) {
      std::cerr << "starter-check: " << ShowBytes(error) << "\n";
      return 2;
    }
    record.files.push_back({name, Sha256Of(file)});
  }
  std::cout << JobIdentity(record) << "\n";
  return 0;
}
