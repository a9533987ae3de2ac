// Every finding, from one table: for each, a line that raises it and one
// that must not, natively and on the target, where a table stands in for the
// machine's files.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lint/installed_audit.h"
#include "lint/list_check.h"
#include "text/string_helpers.h"

namespace {

// A list's bytes for a trace: control bytes and the high half as hex.
std::string Printable(const std::string& bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F) {
      text += static_cast<char>(c);
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      text += std::string("<") + kHex[c >> 4] + kHex[c & 15] + ">";
    }
  }
  return text;
}

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
  // users can change. Null: a dry run, which looks at nothing. Every
  // device's name is there, as on Windows.
  const char* files = nullptr;
  bool wow64 = false;  // 64-bit Windows, which runs no DOS program
};

Machine Target(const char* files, bool wow64 = false) {
  Machine machine = Machine();
  machine.files = files;
  machine.wow64 = wow64;
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

// NOLINTNEXTLINE(cert-err58-cpp): a test's table; a throw there fails the test binary at once.
const Row kRows[] = {
#include "lint/rules_test_rows.inc"
};

// The machine a row's files describe, as the tool's lookups see it.
struct FileTable {
  std::vector<std::pair<string, FileKind>> entries;
  std::vector<string> changeable;

  FileKind KindAt(const string& path) const {
    if (KindOfPath(path) == PathKind::kDevice) return FileKind::kOtherFile;
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
  options.service.executablePath = row.machine.executable;
  options.service.systemDirectory = row.machine.systemDirectory;
  options.service.codePage = row.machine.codePage;
  options.service.wow64 = row.machine.wow64;
  options.service.runsDos = !row.machine.wow64;
  if (row.machine.files != nullptr) {
    std::shared_ptr<FileTable> table = ReadFiles(row.machine);
    options.service.fileKind = [table](const string& path) { return table->KindAt(path); };
    options.service.changeable = [table](const string& path) {
      bool users = std::any_of(table->changeable.begin(), table->changeable.end(),
                               [&](const string& name) { return SameName(name, path); });
      return users ? string("Users can change it") : string();
    };
  }
  std::vector<Found> found;
  ListReport report;
  ListCheck check;
  BeginListCheck(options, report, check);
  auto keep = [&](int number, const Findings& findings) {
    std::transform(findings.begin(), findings.end(), std::back_inserter(found),
                   [&](const Finding& finding) {
                     return Found{number, finding};
                   });
  };
  keep(0, report.findings);
  LineReport line;
  while (CheckNextLine(check, line)) {
    keep(line.number, line.findings);
    if (lines) lines->push_back(line);
  }
  EndListCheck(check);
  return found;
}

TEST(Rules, EachFindingOnItsLine) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(Printable(row.list.substr(0, 60)) + " " + (row.code ? row.code : "clean"));
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
    // (an overlong line's command is always cut too), nor what the other
    // installer lines beside it say of the list; on the target, what is
    // missing there joins what may differ between machines.
    if (Describe(code).level != Level::kError || code == Code::kLineTooLong) continue;
    const Level worst = row.machine.files ? Level::kWarning : Level::kNote;
    for (const Found& f : found) {
      if (f.line == row.line && f.finding.code != code &&
          f.finding.code != Code::kSideBySideInstallers) {
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
      {"C:\\Program Files\\Vendor\\Setup /S",
       "C:\\Program.exe|C:\\Program Files\\Vendor\\Setup.exe", "c:\\program.exe"},
      {"C:\\Program Files\\Vendor\\Setup /S", "C:\\Program Files\\Vendor\\Setup.exe",
       "c:\\program files\\vendor\\setup.exe"},
      {"C:\\Program Files\\Vendor\\Setup /S", "C:\\Program Files\\", ""},
      {"C:\\Windows\\System32\\cmd /c C:\\Scripts\\nightly.cmd", "",
       "c:\\windows\\system32\\cmd.exe"},
      {"C:\\Tools\\run.bat", "*C:\\Tools\\run.bat", "c:\\tools\\run.bat"},
      {"C:\\Tools\\tool.exe", "*C:\\Tools\\tool.exe", ""},
      {"C:\\Tools\\prog.dll", "C:\\Tools\\prog.dll", "c:\\tools\\prog.dll"},
      {"C:\\Tools\\helper.exe", "~C:\\Tools\\helper.exe", ""},
      {"setup /s", "C:\\ProgramData\\CorvaneRemoteStarter\\setup.exe",
       "C:\\ProgramData\\CorvaneRemoteStarter\\setup.exe"},
      {"notepad.exe", "C:\\WINDOWS\\system32\\notepad.exe", ""},
      {"sub\\x.exe", "C:\\WINDOWS\\system32\\sub\\x.exe", "C:\\WINDOWS\\system32\\sub\\x.exe"},
      {"sub\\x.exe", "C:\\ProgramData\\CorvaneRemoteStarter\\sub\\x.exe",
       ""},  // no C:\WINDOWS\system32\sub
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
// NOLINTNEXTLINE(cert-err58-cpp): a test's table; a throw there fails the test binary at once.
const string kService =
    "O:SYD:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)(A;;CCLCSWLOCRRC;;;AU)";
// NOLINTNEXTLINE(cert-err58-cpp): a test's table; a throw there fails the test binary at once.
const string kKey = "O:BAD:(A;CI;KR;;;BU)(A;CI;KA;;;BA)(A;CI;KA;;;SY)";

struct InstalledRow {
  const char* code;
  const char* words;  // null: not raised
  string imagePath;
  string account;
  string service;
  string key;
  string verdict;        // the folder rule's
  string security = {};  // a key below the service's, where it keeps its own descriptor
  bool noList = false;   // there is no list beside it
};

// NOLINTNEXTLINE(cert-err58-cpp): a test's table; a throw there fails the test binary at once.
const InstalledRow kInstalledRows[] = {
    {"unquoted-image-path", "tries C:\\Program first", "C:\\Program Files\\Corvane\\starter.exe",
     "", kService, kKey, ""},
    {"unquoted-image-path", "names no program by a full path", "starter.exe", "", kService, kKey,
     ""},
    {"unquoted-image-path", nullptr, "\"C:\\Program Files\\Corvane\\starter.exe\"", "", kService,
     kKey, ""},
    // No space before the name ends: Windows starts exactly that program.
    {"unquoted-image-path", nullptr, "C:\\ProgramData\\CorvaneRemoteStarter\\starter.exe -x", "",
     kService, kKey, ""},
    {"unquoted-image-path", "tries C:\\My first", "C:\\My Svc\\starter.EXE\t-x", "", kService, kKey,
     ""},
    {"service-account", "runs as NT AUTHORITY\\LocalService", "C:\\Svc\\starter.exe",
     "NT AUTHORITY\\LocalService", kService, kKey, ""},
    {"service-account", nullptr, "C:\\Svc\\starter.exe", "localsystem", kService, kKey, ""},
    {"service-access", "Authenticated Users", "C:\\Svc\\starter.exe", "", kService + "(A;;DC;;;AU)",
     kKey, ""},
    {"service-access", nullptr, "C:\\Svc\\starter.exe", "", kService, kKey, ""},
    {"registry-access", "BUILTIN\\Users", "C:\\Svc\\starter.exe", "", kService,
     kKey + "(A;CI;KW;;;BU)", ""},
    {"registry-access", nullptr, "C:\\Svc\\starter.exe", "", kService, kKey, ""},
    {"registry-access", "the key Security below", "C:\\Svc\\starter.exe", "", kService, kKey, "",
     kKey + "(A;;KW;;;BU)"},
    {"folder-rule", "fails the folder rule: it lies in the Users folder", "C:\\Svc\\starter.exe",
     "", kService, kKey, "it lies in the Users folder"},
    {"folder-rule", nullptr, "C:\\Svc\\starter.exe", "", kService, kKey, ""},
    {"no-list", "there is no list C:\\Svc\\starter.dat", "C:\\Svc\\starter.exe", "", kService, kKey,
     "", "", true},
    {"no-list", nullptr, "C:\\Svc\\starter.exe", "", kService, kKey, ""},
};

TEST(Rules, TheInstallationsOwnFindings) {
  for (const InstalledRow& c : kInstalledRows) {
    SCOPED_TRACE(string(c.code) + " " + c.imagePath);
    InstalledFacts facts;
    facts.registered = true;
    facts.imagePath = c.imagePath;
    facts.account = c.account;
    ASSERT_TRUE(ParseSddl(c.service, facts.service));
    facts.keys.resize(c.security.empty() ? 1 : 2);
    ASSERT_TRUE(ParseSddl(c.key, facts.keys[0].descriptor));
    if (!c.security.empty()) {
      facts.keys[1].name = "Security";
      ASSERT_TRUE(ParseSddl(c.security, facts.keys[1].descriptor));
    }
    Code code;
    ASSERT_TRUE(CodeNamed(c.code, code));
    std::vector<string> messages;
    const InstalledAudit audit{facts, c.verdict, c.noList ? "C:\\Svc\\starter.dat" : ""};
    for (const Finding& finding : AuditInstallation(audit)) {
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
  for (int i = 0; i < kCodeCount; ++i) {
    const char* name = Describe(static_cast<Code>(i)).name;
    EXPECT_GT(rows[name].first, 0) << name << " is never raised";
    EXPECT_GT(rows[name].second, 0) << name << " is never held back";
  }
}

}  // namespace
