#include "paths/windows_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "paths/service_view.h"
#include "platform/platform_dry_run.h"

namespace {

using std::string;
using Names = std::vector<string>;

TEST(WindowsPaths, KindRootAndWhereAPathLeads) {
  const string system = "C:\\WINDOWS\\system32";
  const string share = "\\\\srv\\share";
  const struct {
    string path;
    PathKind kind;
    string root;
    string resolved;         // from the system directory
    string resolvedOnShare;  // from \\srv\share as the system directory
  } cases[] = {
      {"C:\\x.exe", PathKind::kFull, "C:", "C:\\x.exe", "C:\\x.exe"},
      {"\\\\srv\\share\\x.exe", PathKind::kUnc, share, "\\\\srv\\share\\x.exe",
       "\\\\srv\\share\\x.exe"},
      {"\\\\srv\\share", PathKind::kUnc, share, share, share},
      {"\\\\srv", PathKind::kUnc, "\\\\srv", "\\\\srv", "\\\\srv"},
      {"c:tools\\x.exe", PathKind::kDriveRelative, "c:", system + "\\tools\\x.exe",
       "c:\\tools\\x.exe"},
      {"C:", PathKind::kDriveRelative, "C:", system, "C:\\"},
      {"d:tools\\x.exe", PathKind::kDriveRelative, "d:", "d:\\tools\\x.exe", "d:\\tools\\x.exe"},
      {"\\tools\\x.exe", PathKind::kRooted, "", "C:\\tools\\x.exe", share + "\\tools\\x.exe"},
      {"sub\\x.exe", PathKind::kRelative, "", system + "\\sub\\x.exe", share + "\\sub\\x.exe"},
      {"x", PathKind::kRelative, "", system + "\\x", share + "\\x"},
      {"1:\\x", PathKind::kRelative, "", system + "\\1:\\x", share + "\\1:\\x"},
      {"nul", PathKind::kDevice, "", "nul", "nul"},
      {"C:\\Svc\\CON.txt", PathKind::kDevice, "C:", "C:\\Svc\\CON.txt", "C:\\Svc\\CON.txt"},
      {"nul .txt", PathKind::kDevice, "", "nul .txt", "nul .txt"},
      {"lpt9.exe", PathKind::kDevice, "", "lpt9.exe", "lpt9.exe"},
      {"COM1", PathKind::kDevice, "", "COM1", "COM1"},
      {"com0", PathKind::kRelative, "", system + "\\com0", share + "\\com0"},
      {"nulx", PathKind::kRelative, "", system + "\\nulx", share + "\\nulx"},
      {"\\\\.\\pipe\\x", PathKind::kDevice, "\\\\.\\pipe", "\\\\.\\pipe\\x", "\\\\.\\pipe\\x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(KindOfPath(c.path), c.kind) << c.path;
    EXPECT_EQ(RootOf(c.path), c.root) << c.path;
    EXPECT_EQ(Resolve(c.path, system), c.resolved) << c.path;
    EXPECT_EQ(Resolve(c.path, share), c.resolvedOnShare) << c.path;
  }
}

TEST(WindowsPaths, FullPathsForTheOptions) {
  const struct {
    string path;
    bool asFile;
    bool asDirectory;
  } cases[] = {
      {"C:\\x", true, true},
      {"C:\\", false, false},
      {"C:x", false, false},
      {"C:\\a\\\\b", false, false},
      {"C:\\" + string(256, 'x'), true, true},
      {"C:\\" + string(257, 'x'), false, false},
      {"\\\\s\\sh\\x", true, true},
      {"\\\\s\\sh", false, true},
      {"\\\\s", false, false},
      {"\\\\\\s\\sh\\x", false, false},
      {"\\\\s\\\\x\\y", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsFullWindowsPath(c.path), c.asFile) << c.path;
    EXPECT_EQ(IsFullWindowsPath(c.path, true), c.asDirectory) << c.path;
  }
}

TEST(WindowsPaths, ModuleNamesInTheOrderCreateProcessTriesThem) {
  const struct {
    string commandLine;
    Names names;
  } cases[] = {
      {"\"c:\\a b\\x\" /s", {"c:\\a b\\x.exe"}},
      {"\"c:\\a b\\x.msi\" /s", {"c:\\a b\\x.msi"}},
      {"\"c:\\unclosed x", {"c:\\unclosed x.exe"}},
      {"c:\\a b\\x.exe /s", {"c:\\a.exe", "c:\\a b\\x.exe", "c:\\a b\\x.exe /s.exe"}},
      {"a  b", {"a.exe", "a  b.exe"}},
      {"a\tb", {"a.exe", "a\tb.exe"}},
      {"c:\\x.y\\setup", {"c:\\x.y\\setup.exe"}},
      {"setup.", {"setup."}},
      {"", {".exe"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ModuleCandidates(c.commandLine), c.names) << c.commandLine;
}

TEST(WindowsPaths, SearchOrderForEachKindOfName) {
  ServiceView service;
  service.serviceDirectory = "C:\\Svc";
  service.systemDirectory = "C:\\WINDOWS\\system32";
  service.pathFolders = {"c:\\windows\\SYSTEM32", "D:\\Tools\\", ""};
  const struct {
    string candidate;
    Names places;
  } cases[] = {
      {"sub\\x.exe",
       {"C:\\Svc\\sub\\x.exe", "C:\\WINDOWS\\system32\\sub\\x.exe",
        "C:\\WINDOWS\\system\\sub\\x.exe", "C:\\WINDOWS\\sub\\x.exe", "D:\\Tools\\sub\\x.exe"}},
      {"c:\\x.exe", {"c:\\x.exe"}},
      {"\\x.exe", {"C:\\x.exe"}},
      {"d:x.exe", {"d:\\x.exe"}},
      {"c:x.exe", {"C:\\WINDOWS\\system32\\x.exe"}},
      {"\\\\s\\sh\\x.exe", {"\\\\s\\sh\\x.exe"}},
  };
  ResetDryRun(1252);
  for (const auto& c : cases) {
    Names places;
    std::vector<Place> order = SearchOrder(c.candidate, service);
    std::transform(order.begin(), order.end(), std::back_inserter(places),
                   [](const Place& place) { return place.path; });
    EXPECT_EQ(places, c.places) << c.candidate;
  }
}

TEST(WindowsPaths, WhatCreateProcessCanStart) {
  const struct {
    string path;
    Startable startable;
    string description;
  } cases[] = {
      {"c:\\x\\setup.exe", Startable::kProgram, ""},
      {"run.bat", Startable::kThroughCmd, ""},
      {"pkg.msi", Startable::kNever, "a Windows Installer package"},
      {"c:\\tools\\report.ps1", Startable::kNever, "a PowerShell script"},
      {"x.dll", Startable::kNever, "a library"},
      {"aux.exe", Startable::kNever, "the device aux"},
      {"C:\\Svc\\NUL", Startable::kNever, "the device nul"},
      {"tool.bin", Startable::kUnknown, ""},
      {"c:\\x.y\\tool", Startable::kUnknown, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StartableByName(c.path), c.startable) << c.path;
    EXPECT_EQ(FileDescription(c.path), c.description) << c.path;
  }
  // A file that is there: a program's image starts whatever its name, as
  // Windows reads the header; a library's does not.
  EXPECT_TRUE(Starts("report.txt", FileKind::kImage));
  EXPECT_TRUE(Starts("helper.dll", FileKind::kImage));
  EXPECT_FALSE(Starts("helper.exe", FileKind::kLibrary));
  EXPECT_TRUE(Starts("run.cmd", FileKind::kOtherFile));
  EXPECT_FALSE(Starts("fake.exe", FileKind::kOtherFile));
}

TEST(WindowsPaths, NamesCompareAsNtfsDoes) {
  const struct {
    string one;
    string other;
    unsigned codePage;
    bool same;
  } cases[] = {
      {"Starter.DAT", "starter.dat", 1252, true},   {"starter.dat", "starter.da", 1252, false},
      {"a\xC4.dat", "a\xE4.dat", 1252, false},  // only A to Z
      {"\x83\x41.dat", "\x83\x61.dat", 932, false}, {"\x83\x41.dat", "\x83\x61.dat", 1252, true},
  };
  for (const auto& c : cases) {
    ResetDryRun(c.codePage);
    EXPECT_EQ(SameName(c.one, c.other), c.same) << c.codePage << " " << c.one;
  }
}

}  // namespace
