// starter-check must show exactly what the service starts: the same lists go
// through the tool, as a separate program, and through RunLaunchList on the
// dry-run platform, and every command line and directory must agree.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "launch/launch_list.h"
#include "platform/platform_dry_run.h"
#include "tests/support/temp_folder.h"

namespace {

using std::string;
using namespace std::string_literals;

struct Shown {
  string command;
  string directory;  // "(inherited)" for null
};

// Reads the JSON string starting at text[at], a quote, into bytes: the tool
// writes each byte as one character, escaping only quote, backslash and
// \u00XX.
string ReadJsonString(const string& text, size_t& at) {
  string bytes;
  for (++at; text[at] != '"'; ++at) {
    if (text[at] == '\\' && text[++at] == 'u') {
      bytes += static_cast<char>(std::stoi(text.substr(at + 1, 4), nullptr, 16));
      at += 4;
      continue;
    }
    bytes += text[at];
  }
  ++at;
  return bytes;
}

std::vector<Shown> RunTool(const string& arguments) {
  string output;
  // NOLINTNEXTLINE(cert-env33-c): the tool is run as its users run it, from a shell.
  std::FILE* pipe = popen((string(STARTER_CHECK_PATH) + " --json " + arguments).c_str(), "r");
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, n);
  pclose(pipe);
  std::vector<Shown> shown;
  for (size_t at = 0; (at = output.find("\"command\": ", at)) != string::npos;) {
    at += 11;
    Shown line;
    line.command = ReadJsonString(output, at);
    at = output.find("\"directory\": ", at) + 13;
    line.directory = output[at] == 'n' ? "(inherited)" : ReadJsonString(output, at);
    shown.push_back(line);
  }
  return shown;
}

TEST(StarterCheck, ShowsWhatTheServiceStarts) {
  const string x600(600, 'x');
  const struct {
    const char* name;
    string list;
    unsigned codePage;
  } cases[] = {
      {"three rules", "Setup.exe /S\nC:\\Tools\\Report.EXE /Q\nmsiexec.exe /p Fix.msp /qn\n", 1252},
      {"no final LF", "a.exe\nb.exe", 1252},
      {"CR LF, lone CR, blank line", "a.exe\r\nb\rc.exe\n\n d.exe\r\n", 1252},
      {"Ctrl-Z in a line", "a.exe\nb.e\x1Axe\nc.exe\n", 1252},
      {"NUL and byte-order mark",
       "\xEF\xBB\xBF"
       "a.exe\nb.exe\0 /x\n"s,
       1252},
      {"559 characters are a line", string(559, 'x') + "\nb.exe\n", 1252},
      {"overlong line stops the run", "a.exe /x " + x600 + "\nb.exe\n", 1252},
      {"patch options", "tool.exe /log msiexec.exe.txt\nmsiexec.exe /p c:\\p\\f.msp\n", 1252},
      {"double-byte trail 5C", "\x83\x5C\x83\x74.exe /x\nsub\\\x83\x41.EXE\n", 932},
      {"same bytes, single-byte", "\x83\x5C\x83\x74.exe /x\nsub\\\x83\x41.EXE\n", 1252},
      {"empty file", "", 1252},
      {"quoted words, patch in a folder with a space",
       "\"C:\\A B\\x.exe\" /s\n\"y.exe\"\n\"z.exe\"q r\nmsiexec.exe /p f.msp /qn\n", 1252},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    folder.Write("Starter.dat", c.list);
    const string executable = "C:\\Svc Dir\\Starter.exe";
    std::vector<Shown> shown =
        RunTool("--exe '" + executable + "' --system-dir 'C:\\Windows\\System32' --code-page " +
                std::to_string(c.codePage) + " '" + folder.path() + "/Starter.dat'");

    DryRunPlatform& dryRun = ResetDryRun(c.codePage);
    dryRun.executablePath = executable;
    dryRun.listBytes = &c.list;
    dryRun.systemDirectory = "C:\\Windows\\System32";
    RunLaunchList();

    ASSERT_EQ(shown.size(), dryRun.starts.size()) << c.name;
    for (size_t i = 0; i < shown.size(); ++i) {
      const DryRunStart& start = dryRun.starts[i];
      EXPECT_EQ(shown[i].command, start.commandLine) << c.name << ", line " << i + 1;
      EXPECT_EQ(shown[i].directory, start.hasDirectory ? start.directory : "(inherited)")
          << c.name << ", line " << i + 1;
    }
  }
}

}  // namespace
