// Every finding, from one table: for each, a line that raises it and one
// that must not, natively and on the target, where a table stands in for the
// machine's files.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "check/check_output.h"
#include "check/installed_audit.h"
#include "check/list_check.h"
#include "check/text_helpers.h"

namespace {

using std::string;

// A list's bytes, NULs included.
template <std::size_t N>
string B(const char (&bytes)[N]) {
  return string(bytes, N - 1);
}
string X(std::size_t count, char c = 'x') {
  return string(count, c);
}

const char kExe[] = "C:\\ProgramData\\CorvaneRemoteStarter\\Starter.exe";
const char kSpacedExe[] = "C:\\Program Files\\Corvane\\Starter.exe";
const char kSystem[] = "C:\\WINDOWS\\system32";

struct Machine {
  string executable = kExe;
  unsigned codePage = 1252;
  string systemDirectory = kSystem;
  // On the target: the files there, "|" between; every folder above one is
  // there too, and so are the system's msiexec.exe and cmd.exe. A name that
  // ends in a backslash is a folder, one that begins with "*" a file that is
  // no image, with "~" a library's image, and one that ends in "!" a file
  // users can change. Null: a dry run, which looks at nothing.
  const char* files = nullptr;
};

Machine Target(const char* files) {
  Machine machine = Machine();
  machine.files = files;
  return machine;
}

struct Row {
  string list;
  int line;          // 0 for the whole list
  const char* code;  // null: no error or warning on any line
  // Null: not raised on that line. Otherwise raised there once, its message
  // holding these words, or ending with them before a "$".
  const char* words;
  Machine machine = Machine();
};

const Row kRows[] = {
    {B("\357\273\277a.exe"), 1, "byte-order-mark", "byte-order mark"},
    {B("a.exe\nb.exe\000 /x"), 2, "nul-byte", "column 6"},
    {B("a\rb.exe /x"), 1, "lone-cr", "column 2, is part of the program's name"},
    {B("a.exe\r\r\n"), 1, "lone-cr", "program's name"},
    {B("a.exe /x\rb.exe /y\rc.exe"), 1, "lone-cr", "never start"},
    {B("a.exe /x\r\r\n"), 1, "trailing-cr", "last argument"},
    {B("msiexec.exe /p fix.msp\r\r\n"), 1, "lone-cr", "the patch's name"},
    {B("a.exe\np ") + X(558) + B("\nb.exe\nc.exe\n") + X(600, 'y') + B("\nd.exe"), 2, "line-too-long", "so 4 more line(s)"},
    {B("a.exe\n\nb.exe"), 2, "empty-line", "a blank line"},
    {B("a.exe\n"), 2, "empty-line", "after the last line end"},
    {B(" a.exe /x"), 1, "no-program", "begins with a space"},
    {B("tool.exe /log msiexec.exe.txt /p x.msp"), 1, "msiexec-not-first", "tool.exe, is not started"},
    {B("msiexec.exe /i pkg.msi /qn"), 1, "no-patch-option", "nothing is ever installed"},
    {B("msiexec.exe /update x.msp"), 1, "no-patch-option", ""},
    {B("Setup.msi /qn"), 1, "not-startable", "cannot install a package"},
    {B("C:\\Tools\\report.ps1"), 1, "not-startable", "a PowerShell script"},
    {B("nul"), 1, "not-startable", "the device nul"},
    {B("con /x"), 1, "not-startable", "the device con"},
    {B("aux.exe"), 1, "not-startable", "the device aux"},
    {B("C:\\Program Files\\X\\Report.ps1 /x"), 1, "not-startable", "report.ps1 is a"},
    {B("del C:\\x.txt"), 1, "cmd-builtin", "looks for C:\\ProgramData\\CorvaneRemoteStarter\\del.exe"},
    {B("start x"), 1, "cmd-builtin", ""},
    {B("setup.exe\240/s"), 1, "tab", "a no-break space at column 10"},
    {B("C:\\Tools\\x.exe\240/s"), 1, "tab", "no-break space"},
    {B("C:\\Tools\\My\240App\\x.exe"), 1, "tab", nullptr},
    {B("setup.exe\240/s"), 1, "tab", nullptr, {kExe, 932}},
    {B("setup.exe\013/s"), 1, "tab", "a vertical tab"},
    {B("C:probe.exe x"), 1, "bare-drive", "starts C:\\ProgramData\\CorvaneRemoteStarter\\c:probe.exe"},
    {B("\"\" probe.exe"), 1, "no-program", "empty pair of quotes"},
    {B("\"\""), 1, "no-program", "empty pair of quotes"},
    {B("C:\\Tools\\ x"), 1, "no-program", "names a folder"},
    {B("C:\\Tools\\probe.exe\" x"), 1, "stray-quote", "c:\\tools\\probe.exe\""},
    {B("probe.exe\203 x"), 1, "lead-byte", "space at column 11", {kExe, 932}},
    {B("probe.exe\203 x"), 1, "lead-byte", nullptr},
    {B("%ProgramFiles%\\Tools\\x.exe"), 1, "variable", "%programfiles% stays"},
    {B("\223C:\\Program Files\\App\\x.exe\224 /s"), 1, "typographic-quote", "byte 93, a typographic quote in code page 1252"},
    {B("cmd /c echo x"), 1, "system-program", "own: C:\\ProgramData\\CorvaneRemoteStarter\\cmd.exe;"},
    {B("Notepad.exe"), 1, "system-program", "C:\\WINDOWS\\system32\\notepad.exe"},
    {B("C:\\Vendor\\msiexec.exe /p fix.msp"), 1, "other-msiexec", "starts the system's C:\\WINDOWS\\system32\\msiexec.exe in its place"},
    {B("msiexec.exe /p fix.msp\240/qn"), 1, "patch-name", "runs on past .msp"},
    {B("msiexec.exe /p fix.msp\t/qn"), 1, "patch-name", "quotes it up to the first space", {kSpacedExe}},
    {B("a-rather-long-program-name.exe /x"), 1, "program-cut", "program's name", {"C:\\" + X(244, 'd') + "\\Starter.exe", 1252}},
    {B("p.exe /x"), 1, "program-cut", nullptr, {"C:\\" + X(244, 'd') + "\\Starter.exe", 1252}},
    {B("msiexec.exe /p fix.msp"), 1, "program-cut", "patch's name", {"C:\\" + X(240, 'd') + "\\Starter.exe", 1252}},
    {B("a.e\000xe /x"), 1, "program-cut", "a NUL byte at column 4"},
    {B("msiexec.exe /p C:\\Patches\\Fix.msp /qn"), 1, "absolute-patch", "C:\\ProgramData\\CorvaneRemoteStarter\\c:\\patches\\fix.msp$"},
    {B("msiexec.exe /p \\\\server\\fix.msp"), 1, "absolute-patch", ""},
    {B("\"C:\\Program Files\\X\\setup.exe\"/s"), 1, "quoted-space", "\"c:\\program"},
    {B("C:\\Program Files\\X\\setup.exe /s"), 1, "unquoted-spaces", "CWE-428"},
    {B("a.exe ") + X(300), 1, "command-cut", "259"},
    {B("c:\\x\\") + X(300, 'w'), 1, "program-cut", "259"},
    {B("a.exe\nb.exe\032c.exe\n"), 2, "ctrl-z", "the 6 byte(s) after it"},
    {B("a.exe\nb.exe\032\r\n\032"), 2, "ctrl-z", nullptr},
    {B("\377\376a\000.\000e\000x\000e\000\r\000\n\000b\000.\000e\000x\000e\000"), 0, "utf-16", "UTF-16"},
    {B("\000a\000.\000e\000x\000e\000\r\000\n\000b\000.\000e\000x\000e"), 0, "utf-16", "UTF-16"},
    {B("a.exe\nc:\\caf\303\251\\x.exe"), 0, "utf-8", "line 2"},
    {B("a.exe\nb\n\360\237\230\200.exe"), 0, "utf-8", "line 3"},
    {B("a\303(.exe"), 0, "utf-8", nullptr},
    {B("a\300\200.exe"), 0, "utf-8", nullptr},
    {B("a.exe \342\202"), 0, "utf-8", nullptr},
    {B("a\365\200\200\200.exe"), 0, "utf-8", nullptr},
    {B("a.exe \303\251"), 0, "utf-8", nullptr, {kExe, 65001}},
    {B("sub\\setup.exe\n"), 1, "relative-path", "current directory"},
    {B("a.exe /Q"), 1, "lowered", "lowers"},
    {B("a.exe\np ") + X(600), 2, "line-too-long", "stops reading$"},
    {B("\"C:\\Program Files\\x.exe /s"), 1, "quoted-space", "\"c:\\program"},
    {B("C:/Tools/x.exe /s"), 1, "forward-slash", "starts C:\\ProgramData\\CorvaneRemoteStarter\\c:/tools/x.exe"},
    {B("setup.exe\t/s"), 1, "tab", "column 10"},
    {B("C:\\Tools\tx\\setup.exe"), 1, "tab", "working directory"},
    {B("C:\\Tools\\setup.exe\t/s"), 1, "tab", nullptr},
    {B("msiexec.exe /p \"fix 1.msp\" /qn"), 1, "patch-name", "/p C:\\ProgramData\\CorvaneRemoteStarter\\\"fix 1.msp\" /qn"},
    {B("msiexec.exe /p \"fix 1.msp\" /qn"), 1, "patch-name", "/p C:\\Program Files\\Corvane\\\"fix 1.msp\" /qn", {kSpacedExe}},
    {B("msiexec.exe /p  fix.msp"), 1, "patch-name", "/p C:\\ProgramData\\CorvaneRemoteStarter\\ fix.msp"},
    {B("msiexec.exe /p sub dir\\fix.msp /qn"), 1, "patch-name", "C:\\ProgramData\\CorvaneRemoteStarter\\sub as"},
    {B("msiexec /p Hotfix.msp /qn"), 1, "msiexec-without-exe", "\"msiexec.exe\""},
    {B("msiexec.exe /qn /p fix.msp"), 1, "dropped-options", "so /qn never"},
    {B("\"msiexec.exe\" /qn /p fix.msp"), 1, "dropped-options", "so /qn never"},
    {B("msiexec.exe  /p fix.msp"), 1, "dropped-options", nullptr},
    {B("msiexec.exe /p fix.msp /qn REBOOT=ReallySuppress"), 1, "lowered", "patch argument"},
    {B("\357\273\277a.exe"), 0, "utf-8", nullptr},
    {B("a.exe"), 0, "wrong-list", nullptr, {"C:\\Svc\\STARTER.exe", 1252}},
    {B("a.exe"), 0, "wrong-list", "reads STARTER.EXE.dat", {"C:\\Svc\\STARTER.EXE", 1252}},
    {B("a.exe"), 0, "wrong-list", "reads Other.dat, not Starter.dat", {"C:\\Svc\\Other.exe", 1252}},
    {B("a.exe"), 0, "wrong-list", "reads Starte.dat", {"C:\\Svc\\Starte.exe", 1252}},

    // What CreateProcessA tries, and where a relative name leads.
    {B("C:\\Program Files\\X\\setup.exe /s"), 1, "unquoted-spaces", "tries c:\\program.exe first"},
    {B("C:\\Program Files\\My App\\setup.exe /s"), 1, "unquoted-spaces", "tries c:\\program.exe, c:\\program files\\my.exe first"},
    {B("sub\\setup.exe"), 1, "relative-path", "C:\\ProgramData\\CorvaneRemoteStarter\\sub\\setup.exe (the service's folder), C:\\WINDOWS\\system32\\sub\\setup.exe (the service's current directory, the system directory), C:\\WINDOWS\\system\\sub\\setup.exe, C:\\WINDOWS\\sub\\setup.exe, then the folders on the service's PATH; its working directory, sub, is C:\\WINDOWS\\system32\\sub, which must exist"},
    {B("\\Tools\\x.exe"), 1, "relative-path", "current drive, to \\\\srv\\share\\tools\\x.exe,", {kExe, 1252, "\\\\srv\\share"}},
    {B("\\Tools\\x.exe"), 1, "relative-path", "current drive, to C:\\tools\\x.exe,"},
    {B("C:Tools\\x.exe"), 1, "relative-path", "to C:\\WINDOWS\\system32\\tools\\x.exe,"},
    {B("D:Tools\\x.exe"), 1, "relative-path", "root of that drive, where the service has no current directory, to d:\\tools\\x.exe,"},
    {B("C:\\Program Files\\Vendor\\Setup /S"), 1, "unquoted-spaces", "tries c:\\program.exe first and starts a different program than c:\\program files\\vendor\\setup.exe"},

    // Lines that work, in a way a looser check would report.
    {B("Setup.exe /S\nC:\\Tools\\Report.exe /Daily\nmsiexec.exe /p Hotfix.msp /qn /norestart\n"), 0, nullptr, nullptr},
    {B("C:\\Windows\\System32\\msiexec.exe /p fix.msp"), 0, nullptr, nullptr},
    {B("msiexec.exe /p fix.msp\t/qn"), 0, nullptr, nullptr},
    {B("\"c:\\tools\\setup.exe\" /s"), 0, nullptr, nullptr},
    {B("\"C:\\Program Files\\X\\setup.exe\" /s\n\"setup.exe\" /s\nsetup /s\nsub/setup.exe"), 0, nullptr, nullptr},
    {B("\\\\server\\share\\a.exe"), 0, nullptr, nullptr},
    {B("a.exe ") + X(200), 0, nullptr, nullptr},
    {B("a.exe\r\nb.exe\032"), 0, nullptr, nullptr},
    {B("setup.exe c:\\program files\\x.exe"), 0, nullptr, nullptr},
    {B("msiexec.exe /p a.msp\r\n\357\273\277\203x"), 0, nullptr, nullptr},
    {B("a.exe \203\\"), 0, nullptr, nullptr},
    {B("C:\\Windows\\System32\\cmd /c C:\\Scripts\\nightly.cmd"), 1, "unquoted-spaces", nullptr},
    {B("C:\\Tools\\robo C:\\Data \\\\nas\\backup /MIR"), 1, "unquoted-spaces", nullptr},
    {B("C:\\Tools\\runner C:\\Scripts\\x.ps1"), 1, "not-startable", nullptr},
    {B("  msiexec.exe /p fix.msp /qn"), 1, "msiexec-not-first", nullptr},
    {B("\tmsiexec.exe /p fix.msp /qn"), 1, "msiexec-not-first", nullptr},
    {B("    "), 1, "no-program", nullptr},
    {B("    "), 1, "empty-line", "a line of spaces only"},
    {B("a.exe"), 1, "empty-line", nullptr},

    // Near misses, each beside the finding it is not.
    {B("a.exe\0 /x\nb.exe"), 0, "utf-16", nullptr},
    {B("a.exe\n\357\273\277b.exe"), 2, "byte-order-mark", nullptr},
    {B("msiexec.exe /p fix.msp"), 1, "no-patch-option", nullptr},
    {B("msiexec.exe /p a.msp;C:\\Patches\\b.msp"), 1, "absolute-patch", nullptr},
    {B("msiexec.exe /p a.msp;C:\\Patches\\b.msp"), 1, "patch-name", nullptr},
    {B("msiexec.exe /p a.msp;b.msp"), 1, "patch-name", "the patch b.msp, after a \";\""},
    {B("\"C:\\Program Files\\X\\setup.exe\" /s"), 1, "quoted-space", nullptr},
    {B("C:\\Tools\\probe.exe x\"y\""), 1, "stray-quote", nullptr},
    {B("\342\200\234C:\\x.exe\342\200\235"), 1, "typographic-quote", "E2 80 9C", {kExe, 65001}},
    {B("\201\147C:\\x.exe\201\150"), 1, "typographic-quote", "full-width quote in code page 932",
     {kExe, 932}},
    {B("a.exe \223x\224"), 1, "typographic-quote", nullptr},
    {B("sub/x.exe"), 1, "forward-slash", nullptr},
    {B("C:\\probe.exe x"), 1, "bare-drive", nullptr},
    {B("C:\\Tools\\setup.exe\201\100/s"), 1, "tab", "a full-width space", {kExe, 932}},
    {B("C:\\Tools\\setup.exe\241\241/s"), 1, "tab", "a full-width space", {kExe, 936}},
    {B("C:\\Tools\\setup.exe\302\240/s"), 1, "tab", "a no-break space", {kExe, 65001}},
    {B("C:\\Tools\\x.exe %TEMP%"), 1, "variable", nullptr},
    {B("C:\\Windows\\System32\\cmd.exe /c del C:\\x.txt"), 1, "cmd-builtin", nullptr},
    {B("a.exe /x\r\r\n"), 1, "lone-cr", nullptr},
    {B("p ") + X(557), 1, "line-too-long", nullptr},
    {B("a.e\0xe /x"), 1, "nul-byte", nullptr},
    {B("a.exe /x\r\n"), 1, "trailing-cr", nullptr},
    {B("a.exe ") + X(200), 1, "command-cut", nullptr},
    {B("\\\\server\\share\\a.exe"), 1, "relative-path", nullptr},
    {B("C:\\WINDOWS\\system32\\msiexec.exe /p fix.msp"), 1, "other-msiexec", nullptr},
    {B("msiexecutor /x"), 1, "msiexec-without-exe", nullptr},
    {B("a.exe /q"), 1, "lowered", nullptr},

    // What only a shell reads, which the program gets instead.
    {B("C:\\Tools\\a.exe && C:\\Tools\\b.exe"), 1, "shell-operator", "so && at column 16"},
    {B("C:\\Tools\\a.exe > C:\\Logs\\a.log 2>&1"), 1, "shell-operator", "so > at column 16"},
    {B("a.exe x |more"), 1, "shell-operator", "so | at column 9"},
    {B("C:\\Windows\\System32\\cmd.exe /c a.exe && b.exe"), 1, "shell-operator", nullptr},
    {B("a.exe x&y \"a > b\""), 1, "shell-operator", nullptr},
    {B("My Tool.exe /S"), 1, "spaced-name", "it starts C:\\ProgramData\\CorvaneRemoteStarter\\my.exe"
                                            " instead; quote it: \"my tool.exe\""},
    {B("run report.txt"), 1, "spaced-name", nullptr},
    {B("# Nightly jobs"), 1, "comment-line", "it starts C:\\ProgramData\\CorvaneRemoteStarter\\#.exe"},
    {B("rem nightly"), 1, "comment-line", ""},
    {B(":: nightly"), 1, "comment-line", ""},
    {B("C:\\Tools\\a.exe #1"), 1, "comment-line", nullptr},

    // What the list does as a whole.
    {B("msiexec.exe /p a.msp /qn /norestart\nmsiexec.exe /p b.msp /qn /norestart"), 2,
     "side-by-side-installers", "one of 2 installer lines"},
    {B("msiexec.exe /p a.msp;C:\\ProgramData\\CorvaneRemoteStarter\\b.msp /qn /norestart\na.exe"), 1,
     "side-by-side-installers", nullptr},
    {B("msiexec.exe /p a.msp /qn\nC:\\Tools\\a.exe"), 1, "patch-restart", "add /norestart"},
    {B("msiexec.exe /p a.msp /qn"), 1, "patch-restart", nullptr},
    {B("msiexec.exe /p a.msp /passive /norestart\nC:\\Tools\\a.exe"), 1, "patch-restart", nullptr},
    {B("C:\\Windows\\System32\\Tool64.exe"), 1, "wow64-system32",
     "name it C:\\WINDOWS\\Sysnative\\tool64.exe"},
    {B("C:\\Windows\\System32\\cmd.exe /c x"), 1, "wow64-system32", nullptr},

    // On the target, what is there.
    {B("C:\\Tools\\a.exe"), 1, "missing-program", "there is no program c:\\tools\\a.exe", Target("")},
    {B("C:\\Tools\\a.exe"), 1, "missing-program", nullptr, Target("C:\\Tools\\a.exe")},
    {B("sub\\a.exe"), 1, "missing-directory", "no folder C:\\WINDOWS\\system32\\sub",
     Target("C:\\ProgramData\\CorvaneRemoteStarter\\sub\\a.exe")},
    {B("sub\\a.exe"), 1, "missing-directory", nullptr, Target("C:\\WINDOWS\\system32\\sub\\a.exe")},
    {B("msiexec.exe /p fix.msp"), 1, "missing-patch", "no patch file", Target("")},
    {B("msiexec.exe /p fix.msp"), 1, "missing-patch", nullptr,
     Target("C:\\ProgramData\\CorvaneRemoteStarter\\fix.msp")},
    {B("C:\\Program Files\\Vendor\\Setup /S"), 1, "starts-other-program",
     "starts c:\\program.exe, though c:\\program files\\vendor\\setup.exe",
     Target("C:\\Program.exe|C:\\Program Files\\Vendor\\Setup.exe")},
    {B("C:\\Windows\\System32\\cmd /c C:\\Scripts\\nightly.cmd"), 1, "starts-other-program", nullptr,
     Target("C:\\Windows\\System32\\cmd.exe|C:\\Scripts\\nightly.cmd")},
    {B("C:\\Tools\\robo C:\\Data \\\\nas\\backup /MIR"), 1, "starts-other-program", nullptr,
     Target("C:\\Tools\\robo.exe|C:\\Data\\")},
    {B("C:\\Tools\\a.exe"), 1, "changeable-by-users", "the program, c:\\tools\\a.exe, runs as SYSTEM",
     Target("C:\\Tools\\a.exe!")},
    {B("msiexec.exe /p fix.msp"), 1, "changeable-by-users", "the patch",
     Target("C:\\ProgramData\\CorvaneRemoteStarter\\fix.msp!")},
    {B("C:\\Tools\\a.exe"), 1, "changeable-by-users", nullptr, Target("C:\\Tools\\a.exe")},
    {B("C:\\Tools\\tool.exe"), 1, "not-startable", "is not a program", Target("*C:\\Tools\\tool.exe")},
    {B("C:\\Tools\\helper.exe"), 1, "not-startable", "is not a program",
     Target("~C:\\Tools\\helper.exe")},
    {B("C:\\Tools\\prog.dll"), 1, "not-startable", nullptr, Target("C:\\Tools\\prog.dll")},
    {B("notepad.exe"), 1, "system-program", nullptr, Target("")},
    {B("C:\\Windows\\System32\\Tool64.exe"), 1, "wow64-system32", nullptr, Target("")},
    {B("# Nightly jobs"), 1, "comment-line", "", Target("")},
    {B("# Nightly jobs"), 1, "missing-program", nullptr, Target("")},
    {B("C:\\Tools\\a.exe && C:\\Tools\\b.exe"), 1, "shell-operator", "",
     Target("C:\\Tools\\a.exe|C:\\Tools\\b.exe")},
};

// The machine a row's files describe, as the tool's lookups see it.
struct FileTable {
  std::vector<std::pair<string, FileKind>> entries;
  std::vector<string> changeable;

  FileKind KindAt(const string& path) const {
    for (const auto& entry : entries) {
      if (SameName(entry.first, path)) return entry.second;
      // Every folder above an entry is there.
      if (entry.first.size() > path.size() + 1 &&
          SameName(entry.first.substr(0, path.size() + 1), path + "\\")) {
        return FileKind::kFolder;
      }
    }
    return FileKind::kNone;
  }
};

std::shared_ptr<FileTable> ReadFiles(const Machine& machine) {
  auto table = std::make_shared<FileTable>();
  string files = machine.files;
  files += "|" + machine.systemDirectory + "\\msiexec.exe|" + machine.systemDirectory + "\\cmd.exe";
  for (string::size_type at = 0; at <= files.size();) {
    string::size_type end = std::min(files.find('|', at), files.size());
    string name = files.substr(at, end - at);
    at = end + 1;
    if (name.empty()) continue;
    FileKind kind = FileKind::kImage;
    if (name[0] == '*' || name[0] == '~') {
      kind = name[0] == '*' ? FileKind::kOtherFile : FileKind::kLibrary;
      name.erase(0, 1);
    }
    if (name.back() == '!') {
      name.pop_back();
      table->changeable.push_back(name);
    }
    if (name.back() == '\\') {
      kind = FileKind::kFolder;
      name.pop_back();
    }
    table->entries.emplace_back(name, kind);
  }
  return table;
}

struct Found {
  int line;
  Finding finding;
};

// The list's findings, and each line's report, as the tool makes them.
std::vector<Found> Judge(const Row& row, std::vector<LineReport>* lines = nullptr) {
  CheckOptions options;
  options.list = "Starter.dat";
  options.bytes = row.list;
  options.executablePath = row.machine.executable;
  options.systemDirectory = row.machine.systemDirectory;
  options.codePage = row.machine.codePage;
  if (row.machine.files != nullptr) {
    std::shared_ptr<FileTable> table = ReadFiles(row.machine);
    options.fileKind = [table](const string& path) { return table->KindAt(path); };
    options.changeable = [table](const string& path) {
      for (const string& name : table->changeable) {
        if (SameName(name, path)) return string("Users can change it");
      }
      return string();
    };
  }
  std::vector<Found> found;
  ListReport report;
  ListCheck check;
  BeginListCheck(options, report, check);
  for (const Finding& finding : report.findings) found.push_back({0, finding});
  LineReport line;
  while (CheckNextLine(check, line)) {
    for (const Finding& finding : line.findings) found.push_back({line.number, finding});
    if (lines) lines->push_back(line);
  }
  EndListCheck(check);
  return found;
}

TEST(Rules, EachFindingOnItsLine) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(ShowBytes(row.list.substr(0, 60)) + " " + (row.code ? row.code : "clean"));
    const std::vector<Found> found = Judge(row);
    if (row.code == nullptr) {
      for (const Found& f : found) {
        EXPECT_EQ(Describe(f.finding.code).level, Level::kNote) << f.finding.message;
      }
      continue;
    }
    Code code;
    ASSERT_TRUE(CodeNamed(row.code, code));
    std::vector<string> messages;
    for (const Found& f : found) {
      if (f.line == row.line && f.finding.code == code) messages.push_back(f.finding.message);
    }
    if (row.words == nullptr) {
      EXPECT_EQ(messages, std::vector<string>());
      continue;
    }
    ASSERT_EQ(messages.size(), 1u);
    string words = row.words;
    if (!words.empty() && words.back() == '$') {
      words.pop_back();
      EXPECT_TRUE(EndsWith(messages[0], words)) << messages[0];
    } else {
      EXPECT_NE(messages[0].find(words), string::npos) << messages[0];
    }
    // A line that can never work says why once: nothing but notes joins it
    // (an overlong line's command is always cut too); on the target, what is
    // missing there joins what may differ between machines.
    if (Describe(code).level != Level::kError || code == Code::kLineTooLong) continue;
    const Level worst = row.machine.files ? Level::kWarning : Level::kNote;
    for (const Found& f : found) {
      if (f.line == row.line && f.finding.code != code) {
        EXPECT_GE(Describe(f.finding.code).level, worst) << Describe(f.finding.code).name;
      }
    }
  }
}

// What starts, on the target: the file CreateProcessA runs for line 1, or
// nothing.
TEST(Rules, WhatStartsOnTheTarget) {
  const struct {
    string list;
    const char* files;
    const char* starts;
  } cases[] = {
      {"C:\\Program Files\\Vendor\\Setup /S", "C:\\Program.exe|C:\\Program Files\\Vendor\\Setup.exe",
       "c:\\program.exe"},
      {"C:\\Program Files\\Vendor\\Setup /S", "C:\\Program Files\\Vendor\\Setup.exe",
       "c:\\program files\\vendor\\setup.exe"},
      {"C:\\Program Files\\Vendor\\Setup /S", "C:\\Program Files\\", ""},
      {"C:\\Windows\\System32\\cmd /c C:\\Scripts\\nightly.cmd", "", "c:\\windows\\system32\\cmd.exe"},
      {"C:\\Tools\\run.bat", "*C:\\Tools\\run.bat", "c:\\tools\\run.bat"},
      {"C:\\Tools\\tool.exe", "*C:\\Tools\\tool.exe", ""},
      {"C:\\Tools\\prog.dll", "C:\\Tools\\prog.dll", "c:\\tools\\prog.dll"},
      {"C:\\Tools\\helper.exe", "~C:\\Tools\\helper.exe", ""},
      {"setup /s", "C:\\ProgramData\\CorvaneRemoteStarter\\setup.exe",
       "C:\\ProgramData\\CorvaneRemoteStarter\\setup.exe"},
      {"notepad.exe", "C:\\WINDOWS\\system32\\notepad.exe", ""},
      {"sub\\x.exe", "C:\\WINDOWS\\system32\\sub\\x.exe", "C:\\WINDOWS\\system32\\sub\\x.exe"},
      {"sub\\x.exe", "C:\\ProgramData\\CorvaneRemoteStarter\\sub\\x.exe", ""},  // no C:\WINDOWS\system32\sub
      {"# Nightly", "C:\\ProgramData\\CorvaneRemoteStarter\\#.exe",
       "C:\\ProgramData\\CorvaneRemoteStarter\\#.exe"},
      {"msiexec.exe /p a.msp", "", "C:\\WINDOWS\\system32\\msiexec.exe"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    std::vector<LineReport> lines;
    Judge({c.list, 1, nullptr, nullptr, Target(c.files)}, &lines);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines[0].looked);
    EXPECT_EQ(lines[0].starts, c.starts);
  }
}

// The installation's own findings, from what the machine says of it.
const string kService =
    "O:SYD:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)(A;;CCLCSWLOCRRC;;;AU)";
const string kKey = "O:BAD:(A;CI;KR;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)";

struct InstalledRow {
  const char* code;
  const char* words;  // null: not raised
  string imagePath;
  string account;
  string service;
  string key;
  string verdict;  // the folder rule's
};

const InstalledRow kInstalledRows[] = {
    {"unquoted-image-path", "tries C:\\Program first", "C:\\Program Files\\Corvane\\starter.exe", "",
     kService, kKey, ""},
    {"unquoted-image-path", "names no program by a full path", "starter.exe", "", kService, kKey, ""},
    {"unquoted-image-path", nullptr, "\"C:\\Program Files\\Corvane\\starter.exe\"", "", kService,
     kKey, ""},
    {"service-account", "runs as NT AUTHORITY\\LocalService", "C:\\Svc\\starter.exe",
     "NT AUTHORITY\\LocalService", kService, kKey, ""},
    {"service-account", nullptr, "C:\\Svc\\starter.exe", "localsystem", kService, kKey, ""},
    {"service-access", "Authenticated Users", "C:\\Svc\\starter.exe", "", kService + "(A;;DC;;;AU)",
     kKey, ""},
    {"service-access", nullptr, "C:\\Svc\\starter.exe", "", kService, kKey, ""},
    {"registry-access", "BUILTIN\\Users", "C:\\Svc\\starter.exe", "", kService,
     kKey + "(A;CI;KW;;;BU)", ""},
    {"registry-access", nullptr, "C:\\Svc\\starter.exe", "", kService, kKey, ""},
    {"folder-rule", "fails the folder rule: it lies in the Users folder", "C:\\Svc\\starter.exe", "",
     kService, kKey, "it lies in the Users folder"},
    {"folder-rule", nullptr, "C:\\Svc\\starter.exe", "", kService, kKey, ""},
};

TEST(Rules, TheInstallationsOwnFindings) {
  for (const InstalledRow& c : kInstalledRows) {
    SCOPED_TRACE(string(c.code) + " " + c.imagePath);
    InstalledFacts facts;
    facts.registered = true;
    facts.imagePath = c.imagePath;
    facts.account = c.account;
    ASSERT_TRUE(ParseSddl(c.service, facts.service));
    ASSERT_TRUE(ParseSddl(c.key, facts.key));
    Code code;
    ASSERT_TRUE(CodeNamed(c.code, code));
    std::vector<string> messages;
    for (const Finding& finding : AuditInstallation(facts, c.verdict)) {
      if (finding.code == code) messages.push_back(finding.message);
    }
    if (c.words == nullptr) {
      EXPECT_EQ(messages, std::vector<string>());
    } else {
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_NE(messages[0].find(c.words), string::npos) << messages[0];
    }
  }
}

// Each finding has a row that raises it and one that must not.
TEST(Rules, EveryFindingHasARowForAndAgainst) {
  std::map<string, std::pair<int, int>> rows;
  for (const Row& row : kRows) {
    if (row.code) ++(row.words ? rows[row.code].first : rows[row.code].second);
  }
  for (const InstalledRow& row : kInstalledRows) {
    ++(row.words ? rows[row.code].first : rows[row.code].second);
  }
  rows["no-list"] = {1, 1};  // the tool's own, for a list that is not there: e2e.installed
  for (int i = 0; i < kCodeCount; ++i) {
    const char* name = Describe(static_cast<Code>(i)).name;
    EXPECT_GT(rows[name].first, 0) << name << " is never raised";
    EXPECT_GT(rows[name].second, 0) << name << " is never held back";
  }
}

}  // namespace
