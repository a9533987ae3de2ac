#include "launch/compose_command.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/platform_dry_run.h"

namespace {

using std::string;

const char* const kNoDirectory = "(none chosen)";

struct ComposeCase {
  string line;
  string commandLine;
  string directory;
};

// Runs ComposeCommand over a line buffer and checks the line afterwards: the
// installer rule leaves the installer path there, the others every byte as it was.
void Check(const ComposeCase& c) {
  LineBuffer line;
  memset(line, '#', sizeof line);
  BoundedCopy(line, c.line.c_str(), sizeof line);
  LineBuffer before;
  memcpy(before, line, sizeof line);
  PathBuffer commandLine;
  PathBuffer directory;
  memset(directory, '#', sizeof directory);
  PathBuffer untouched;
  memcpy(untouched, directory, sizeof directory);

  Composition composition;
  bool chosen = ComposeCommand(line, commandLine, directory, &composition);

  EXPECT_EQ(commandLine, c.commandLine) << "line: " << c.line;
  EXPECT_EQ(chosen, c.directory != kNoDirectory) << "line: " << c.line;
  EXPECT_EQ(composition.rule == CommandRule::kInstallerPatch, !chosen) << "line: " << c.line;
  // The name the start needs ends where a space, a TAB or the command's end follows.
  const string composed = commandLine;
  EXPECT_TRUE(composition.nameEnd > 0 &&
              (composition.nameEnd >= composed.size() ||
               string(" \t").find(composed[composition.nameEnd]) != string::npos))
      << "line: " << c.line << ", name ends at " << composition.nameEnd;
  if (c.directory != kNoDirectory) {
    EXPECT_EQ(directory, c.directory) << "line: " << c.line;
    EXPECT_EQ(memcmp(line, before, sizeof line), 0) << "line not restored: " << c.line;
  } else {
    EXPECT_EQ(memcmp(directory, untouched, sizeof directory), 0) << "line: " << c.line;
    LineBuffer installer;
    memset(installer, 0, sizeof installer);
    string path = DryRun().systemDirectory + "\\msiexec.exe";
    path.copy(installer, path.size());
    EXPECT_EQ(memcmp(line, installer, sizeof line), 0) << "line: " << c.line;
  }
}

TEST(ComposeCommand, InstallerPatchRule) {
  ResetDryRun();
  const string msiexec = "\"C:\\WINDOWS\\system32\\msiexec.exe\" /p C:\\Svc\\";
  const ComposeCase cases[] = {
      {"msiexec.exe /p fix.msp", msiexec + "fix.msp", kNoDirectory},
      {"msiexec.exe /qn /p fix.msp reinstall=all", msiexec + "fix.msp reinstall=all", kNoDirectory},
      {"c:\\other\\msiexec.exe /p fix.msp", msiexec + "fix.msp", kNoDirectory},
      {"msiexec.exe /i pkg.msi", msiexec, kNoDirectory},
      {"msiexec.exe /p  fix.msp", msiexec + " fix.msp", kNoDirectory},
      {"msiexec.exe /p c:\\patches\\fix.msp", msiexec + "c:\\patches\\fix.msp", kNoDirectory},
      {"msiexec.exe /p", msiexec, kNoDirectory},
      {"x.exe /p y msiexec.exe z", msiexec + "y msiexec.exe z", kNoDirectory},
      {"tool.exe /log msiexec.exe.txt", msiexec, kNoDirectory},
  };
  for (const ComposeCase& c : cases) Check(c);

  // In a folder with a space, the patch path is quoted unless the argument is
  // empty or begins with a space or a quote.
  DryRun().executablePath = "C:\\Program Files\\Corvane\\Starter.exe";
  const string spaced = "\"C:\\WINDOWS\\system32\\msiexec.exe\" /p ";
  const ComposeCase spacedCases[] = {
      {"msiexec.exe /p fix.msp /qn", spaced + "\"C:\\Program Files\\Corvane\\fix.msp\" /qn",
       kNoDirectory},
      {"msiexec.exe /p fix.msp", spaced + "\"C:\\Program Files\\Corvane\\fix.msp\"", kNoDirectory},
      {"msiexec.exe /p  fix.msp", spaced + "C:\\Program Files\\Corvane\\ fix.msp", kNoDirectory},
      {"msiexec.exe /p \"f.msp\"", spaced + "C:\\Program Files\\Corvane\\\"f.msp\"", kNoDirectory},
      {"msiexec.exe /i x.msi", spaced + "C:\\Program Files\\Corvane\\", kNoDirectory},
  };
  for (const ComposeCase& c : spacedCases) Check(c);
}

TEST(ComposeCommand, ProgramWithPathAndBareProgramRules) {
  ResetDryRun();
  const ComposeCase cases[] = {
      {"setup.exe", "\"C:\\Svc\\setup.exe\"", "C:\\Svc"},
      {"setup.exe /s /v", "\"C:\\Svc\\setup.exe\" /s /v", "C:\\Svc"},
      {"c:\\temp\\pkg\\setup.exe /s", "c:\\temp\\pkg\\setup.exe /s", "c:\\temp\\pkg"},
      {"setup.exe c:\\temp\\x", "\"C:\\Svc\\setup.exe\" c:\\temp\\x", "C:\\Svc"},
      {"sub\\setup.exe", "sub\\setup.exe", "sub"},
      {"\\setup.exe", "\\setup.exe", ""},
      {"\"c:\\program files\\x\\setup.exe\" /s", "\"c:\\program files\\x\\setup.exe\" /s",
       "c:\\program files\\x"},
      {"\"c:\\tools\\a.exe\"", "\"c:\\tools\\a.exe\"", "c:\\tools"},
      {"\"setup.exe\" /s", "\"C:\\Svc\\setup.exe\" /s", "C:\\Svc"},
      {"\"a.exe\" c:\\x", "\"C:\\Svc\\a.exe\" c:\\x", "C:\\Svc"},
      {"\"\" x", "\"C:\\Svc\\\" x", "C:\\Svc"},  // an empty quoted word
      // Not a quoted word: no closing quote, or one followed by more than a space.
      {"\"a b.exe /s", "\"C:\\Svc\\\"a\" b.exe /s", "C:\\Svc"},
      {"\"c:\\a\"b c", "\"c:\\a\"b c", "\"c:"},
      {"", "\"C:\\Svc\\\"", "C:\\Svc"},
      {" /s", "\"C:\\Svc\\\" /s", "C:\\Svc"},
      {"tab\tsetup.exe", "\"C:\\Svc\\tab\tsetup.exe\"", "C:\\Svc"},
      {"setup.exe  two spaces", "\"C:\\Svc\\setup.exe\"  two spaces", "C:\\Svc"},
  };
  for (const ComposeCase& c : cases) Check(c);
}

TEST(ComposeCommand, CutsAt259Characters) {
  ResetDryRun();
  const string longWord(300, 'w');
  const string longArguments(300, 'a');
  // With this service directory the quoted program alone is over 259 characters.
  const string dir = "C:\\" + string(252, 'd');
  const ComposeCase cases[] = {
      {"c:\\x\\" + longWord, ("c:\\x\\" + longWord).substr(0, 259), "c:\\x"},
      {"p.exe " + longArguments, ("\"C:\\Svc\\p.exe\" " + longArguments).substr(0, 259), "C:\\Svc"},
      {"msiexec.exe /p " + longWord,
       ("\"C:\\WINDOWS\\system32\\msiexec.exe\" /p C:\\Svc\\" + longWord).substr(0, 259),
       kNoDirectory},
  };
  for (const ComposeCase& c : cases) Check(c);

  DryRun().executablePath = dir + "\\Starter.exe";
  Check({"p.exe /s", ("\"" + dir + "\\p.exe\"").substr(0, 259), dir});
  DryRun().executablePath = "C:\\" + string(200, 'd') + "\\Starter.exe";
  Check({"p.exe /s", "\"C:\\" + string(200, 'd') + "\\p.exe\" /s", "C:\\" + string(200, 'd')});
}

TEST(ComposeCommand, DoubleByteCharactersEndingIn5CAreNotBackslashes) {
  // 83 5C is one character in 932; in 1252 its second byte is a backslash.
  const ComposeCase cp932[] = {
      {"\x83\x5C"
       ".exe /s",
       "\"C:\\Svc\x83\x5C\\\x83\x5C.exe\" /s", "C:\\Svc\x83\x5C"},
  };
  ResetDryRun(932).executablePath = "C:\\Svc\x83\x5C\\\x83\x5C.exe";
  for (const ComposeCase& c : cp932) Check(c);

  const ComposeCase cp1252[] = {
      {"\x83\x5C"
       ".exe /s",
       "\x83\x5C.exe /s", "\x83"},
  };
  ResetDryRun(1252);
  for (const ComposeCase& c : cp1252) Check(c);

  // With the executable's name ending in 83 5C, only 932 finds the right folder.
  ResetDryRun(932).executablePath = "C:\\Svc\\\x83\x5C";
  Check({"a.exe", "\"C:\\Svc\\a.exe\"", "C:\\Svc"});
  ResetDryRun(1252).executablePath = "C:\\Svc\\\x83\x5C";
  Check({"a.exe", "\"C:\\Svc\\\x83\\a.exe\"", "C:\\Svc\\\x83"});
}

TEST(ComposeCommand, ExecutablePathWithoutBackslashIsTheServiceDirectory) {
  ResetDryRun().executablePath = "starter.exe";
  Check({"a.exe /s", "\"starter.exe\\a.exe\" /s", "starter.exe"});
  Check({"msiexec.exe /p f.msp", "\"C:\\WINDOWS\\system32\\msiexec.exe\" /p starter.exe\\f.msp",
         kNoDirectory});
}

}  // namespace
