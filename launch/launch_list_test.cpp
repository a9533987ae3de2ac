#include "launch/launch_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform_dry_run.h"
#include "tests/support/temp_folder.h"

namespace {

using std::string;

// What a start was asked for, with "$D" standing for the service directory.
struct Started {
  string commandLine;
  string directory;  // "(none)" when none was chosen
};

const char* const kNone = "(none)";

// Fills in the service directory; a command line never holds more than 259 characters.
string Expand(string text, const string& serviceDirectory) {
  for (size_t at; (at = text.find("$D")) != string::npos;) {
    text.replace(at, 2, serviceDirectory);
  }
  return text.substr(0, 259);
}

// Runs the list with the executable at <folder>\Starter.exe and checks every start.
void ExpectStarts(const string& name, const string& list, const std::vector<Started>& expected,
                  unsigned codePage = 1252) {
  TempFolder folder;
  folder.Write("Starter.dat", list);
  DryRunPlatform& dryRun = ResetDryRun(codePage);
  dryRun.executablePath = folder.path() + "\\Starter.exe";
  dryRun.startSucceeds = [](const DryRunStart& start) {
    return start.commandLine.find("fails") == string::npos;
  };

  RunLaunchList();

  ASSERT_EQ(dryRun.starts.size(), expected.size()) << name;
  for (size_t i = 0; i < expected.size(); ++i) {
    const DryRunStart& start = dryRun.starts[i];
    EXPECT_EQ(start.commandLine, Expand(expected[i].commandLine, folder.path()))
        << name << ", start " << i;
    EXPECT_EQ(start.hasDirectory ? start.directory : kNone,
              Expand(expected[i].directory, folder.path()))
        << name << ", start " << i;
    EXPECT_TRUE(start.inheritHandles) << name;
    EXPECT_EQ(start.creationFlags, 0x28u) << name;
  }
  EXPECT_EQ(dryRun.openLists, 0) << name << ": list left open";
}

Started EmptyLine() {
  return {"\"$D\\\"", "$D"};
}

TEST(RunLaunchList, StartsEveryLineInOrder) {
  ExpectStarts("three rules, lowered",
               "Setup.exe /S\nC:\\Tools\\Setup.EXE /Q\nMsiExec.exe /P Fix.msp",
               {{"\"$D\\setup.exe\" /s", "$D"},
                {"c:\\tools\\setup.exe /q", "c:\\tools"},
                {"\"C:\\WINDOWS\\system32\\msiexec.exe\" /p $D\\fix.msp", kNone}});
  ExpectStarts("a failing start does not stop the run", "a.exe\nfails.exe\nb.exe",
               {{"\"$D\\a.exe\"", "$D"}, {"\"$D\\fails.exe\"", "$D"}, {"\"$D\\b.exe\"", "$D"}});
  ExpectStarts("blank line in the middle", "a.exe\n\nb.exe",
               {{"\"$D\\a.exe\"", "$D"}, EmptyLine(), {"\"$D\\b.exe\"", "$D"}});
}

TEST(RunLaunchList, ReadsTheListInTextMode) {
  ExpectStarts("final LF yields exactly one empty line", "a.exe\nb.exe\n",
               {{"\"$D\\a.exe\"", "$D"}, {"\"$D\\b.exe\"", "$D"}, EmptyLine()});
  ExpectStarts("CR LF", "a.exe /x\r\nb.exe\r\n",
               {{"\"$D\\a.exe\" /x", "$D"}, {"\"$D\\b.exe\"", "$D"}, EmptyLine()});
  ExpectStarts("lone CR stays in the line", "a.exe\rb /x", {{"\"$D\\a.exe\rb\" /x", "$D"}});
  ExpectStarts("Ctrl-Z mid-line ends the list", "a.exe\nb.e\x1Axe\nc.exe\n",
               {{"\"$D\\a.exe\"", "$D"}, {"\"$D\\b.e\"", "$D"}});
  ExpectStarts("Ctrl-Z after LF",
               "a.exe\n\x1A"
               "b.exe\n",
               {{"\"$D\\a.exe\"", "$D"}, EmptyLine()});
  ExpectStarts("empty file", "", {EmptyLine()});
  ExpectStarts("NUL ends the line for composition", string("a.exe\0 /x\nb.exe", 15),
               {{"\"$D\\a.exe\"", "$D"}, {"\"$D\\b.exe\"", "$D"}});
  ExpectStarts("byte-order mark is part of the first line",
               "\xEF\xBB\xBF"
               "a.exe",
               {{"\"$D\\\xEF\xBB\xBF"
                 "a.exe\"",
                 "$D"}});
  ExpectStarts("lowering leaves double-byte characters alone", "\x83\x41.EXE X\x83",
               {{"\"$D\\\x83\x41.exe\" x\x83", "$D"}}, 932);
  ExpectStarts("lowering takes single bytes alone", "\x83\x41@Z[.EXE",
               {{"\"$D\\\x83\x61@z[.exe\"", "$D"}});
  ExpectStarts("A and Z themselves are lowered in a double-byte code page", "@AZ[\x83\x41.EXE",
               {{"\"$D\\@az[\x83\x41.exe\"", "$D"}}, 932);
}

TEST(RunLaunchList, LongLines) {
  const string x559(559, 'x');
  const Started longStart = {"\"$D\\" + x559 + "\"", "$D"};
  ExpectStarts("559 characters are a line", x559 + "\nb.exe", {longStart, {"\"$D\\b.exe\"", "$D"}});
  ExpectStarts("560 characters end the run", x559 + "y\nb.exe\n", {longStart});
  ExpectStarts("600 characters end the run", string(600, 'x') + "\nb.exe\n", {longStart});
  // The cut falls inside a double-byte character: its lead byte ends the line
  // and the trail byte 0x5C is never read, so it cannot count as a backslash.
  const string split = string(200, 'x') + "\\" + string(357, 'x') + "\x83";
  ExpectStarts("double-byte character split by the cut", split + "\x5C\nb.exe\n",
               {{split, string(200, 'x')}}, 932);
}

TEST(RunLaunchList, FindsTheListBesideTheExecutable) {
  struct LocationCase {
    string executable;
    string list;
  };
  const LocationCase cases[] = {
      {"C:\\Svc\\Starter.exe", "C:\\Svc\\Starter.dat"},
      {"C:\\Svc\\STARTER.EXE", "C:\\Svc\\STARTER.EXE.dat"},
      {"C:\\Svc\\a.exe.b.exe", "C:\\Svc\\a.dat"},
      {"C:\\S.exe\\run.exe", "C:\\S.exe\\run.dat"},
      {"starter.exe", "starter.exestarter.exe.dat"},
      {"", ".dat"},
  };
  for (const LocationCase& c : cases) {
    DryRunPlatform& dryRun = ResetDryRun();
    dryRun.executablePath = c.executable;
    RunLaunchList();
    ASSERT_EQ(dryRun.openedPaths.size(), 1u) << c.executable;
    EXPECT_EQ(dryRun.openedPaths[0], c.list);
    EXPECT_TRUE(dryRun.starts.empty()) << "no list, nothing started";
  }

  // 83 5C ends the folder's name: only 932 reads it as one character.
  ResetDryRun(932).executablePath = "C:\\\x83\x5C\\\x83\x5C.exe";
  RunLaunchList();
  EXPECT_EQ(DryRun().openedPaths.at(0), "C:\\\x83\x5C\\\x83\x5C.dat");
}

TEST(RunLaunchList, ListPathIsCutAt259Characters) {
  // Upper-case .EXE is not cut, so the list path is the executable's path and
  // ".dat": 261 characters for a 257-character executable path, cut to ".d".
  TempFolder folder;
  const string directory = folder.path() + "/" + string(200, 'd');
  std::filesystem::create_directory(directory);
  const string name = string(257 - directory.size() - 1 - 4, 'n') + ".EXE";
  std::ofstream(directory + "/" + name + ".d") << "a.exe\n";

  DryRunPlatform& dryRun = ResetDryRun();
  dryRun.executablePath = directory + "\\" + name;
  RunLaunchList();
  EXPECT_EQ(dryRun.openedPaths.at(0), directory + "\\" + name + ".d");
  ASSERT_EQ(dryRun.starts.size(), 2u);
  EXPECT_EQ(dryRun.starts[0].commandLine, "\"" + directory + "\\a.exe\"");
}

}  // namespace
