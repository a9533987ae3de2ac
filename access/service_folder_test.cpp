#include "access/service_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/platform_dry_run.h"

namespace {

using std::string;
using Names = std::vector<string>;

MachineFolders Machine() {
  return {"C:\\WINDOWS", "C:\\Program Files", "C:\\Program Files (x86)", "C:\\ProgramData",
          "C:\\Users"};
}

FolderFacts Unknown() {
  return FolderFacts();
}

// A folder as Windows shows it: there or not, what it holds, and where the
// service is installed, if it is.
FolderFacts Seen(bool exists, Names entries = {}, const string& installedIn = "") {
  FolderFacts facts;
  facts.known = true;
  facts.exists = exists;
  facts.entries = std::move(entries);
  facts.serviceRegistered = !installedIn.empty();
  facts.installedIn = installedIn == "elsewhere" ? "C:\\Program Files\\Old" : installedIn;
  return facts;
}

// Descriptors as Windows and Wine show them.
const char kRoot[] =
    "O:BAD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;OICIIO;SDGXGWGR;;;AU)"
    "(A;;LC;;;AU)";
const char kAdminsOnly[] = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
const char kUnderRoot[] = "O:BAD:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;ID;0x1301bf;;;AU)";
const char kOpen[] = "O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301ff;;;WD)";  // chmod o+w
const char kUsers[] = "O:S-1-5-21-1-2-3-1001D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

ObjectFacts Object(const string& path, const char* sddl, bool folder = true) {
  ObjectFacts object;
  object.path = path;
  object.folder = folder;
  EXPECT_TRUE(ParseSddl(sddl, object.descriptor)) << sddl;
  return object;
}

// facts with a chain from C:\ down: (path, descriptor) pairs, the folder last
// when it exists; and what it holds, each in the folder itself.
FolderFacts Chain(FolderFacts facts, const std::vector<std::pair<string, const char*>>& folders,
                  const std::vector<std::pair<string, const char*>>& files = {}) {
  facts.chain.push_back(Object("C:", kRoot));
  for (const auto& folder : folders) facts.chain.push_back(Object(folder.first, folder.second));
  for (const auto& file : files) facts.contents.push_back(Object(file.first, file.second, false));
  return facts;
}

FolderFacts With(FolderFacts facts, void (*change)(FolderFacts&)) {
  change(facts);
  return facts;
}

// refusal: words of why the folder is refused; empty: it is accepted.
void ExpectVerdict(const string& folder, FolderUse use, const FolderFacts& facts,
                   const string& refusal) {
  string why = JudgeServiceFolder(folder, use, Machine(), facts);
  if (refusal.empty()) {
    EXPECT_EQ(why, "") << folder;
  } else {
    EXPECT_NE(why.find(refusal), string::npos) << folder << ": " << why;
  }
}

// The longest folder the service's paths leave room for.
// NOLINTNEXTLINE(cert-err58-cpp): a test's table; a throw there fails the test binary at once.
const string kLongest = "C:\\Program Files\\" + string(237 - 17, 'x');

struct FolderCase {
  string folder;
  FolderFacts facts;
  string refusal;  // words of why it is refused; empty: accepted
};

// NOLINTNEXTLINE(cert-err58-cpp): a test's table; a throw there fails the test binary at once.
const FolderCase kFolderCases[] = {
    {"C:\\ProgramData\\CorvaneRemoteStarter", Unknown(), ""},
    {"C:\\ProgramData\\CorvaneRemoteStarter\\", Unknown(), ""},
    {"C:\\ProgramData\\CorvaneRemoteStarter\\.", Unknown(), ""},
    {"c:\\programdata\\corvane", Unknown(), ""},
    {"C:\\Program Files\\Corvane\\Starter", Unknown(), ""},
    {"C:\\Program Files (x86)\\Corvane", Unknown(), ""},
    {"C:\\", Unknown(), "it is a drive root"},
    {"D:\\", Unknown(), "it is a drive root"},
    {"C:", Unknown(), "it is a drive root"},
    {"C:x", Unknown(), "not a full path"},
    {"relsvc", Unknown(), "not a full path"},
    {"\\\\srv\\share\\Svc", Unknown(), "network share"},
    {"C:\\Windows", Unknown(), "in the Windows folder, \"C:\\WINDOWS\""},
    {"C:\\windows\\Temp\\Svc", Unknown(), "in the Windows folder"},
    {"C:\\ProgramData", Unknown(),
     "the ProgramData folder itself: give a folder of its own, such as "
     "\"C:\\ProgramData\\CorvaneRemoteStarter\""},
    {"C:\\Program Files", Unknown(), "the Program Files folder itself"},
    {"C:\\Program Files (x86)\\", Unknown(), "the Program Files (x86) folder itself"},
    {"C:\\Users", Unknown(),
     "the Users folder itself: give a folder of its own, such as "
     "\"C:\\ProgramData\\CorvaneRemoteStarter\""},
    {"C:\\Users\\Public", Unknown(), "in the Users folder"},
    {"C:\\Users\\Public\\Svc", Unknown(), "in the Users folder"},
    {"C:\\ProgramData\\Vendor\\Starter", Unknown(), "a standard user may rename or replace"},
    {"D:\\Services\\Starter", Unknown(), "a standard user may rename or replace"},
    {"C:\\Svc Test", Unknown(), "such as the default, \"C:\\ProgramData\\CorvaneRemoteStarter\""},
    {"C:\\ProgramDataX\\Svc", Unknown(), "a standard user may rename"},
    {"C:\\A&B", Unknown(), "cannot pass safely"},
    {"C:\\Program Files\\100%", Unknown(), "cannot pass safely"},
    {"C:\\Program Files\\A\"B", Unknown(), "cannot pass safely"},
    {"C:\\Program Files\\A\tB", Unknown(), "cannot pass safely"},
    {"C:\\ProgramData\\..\\ProgramData\\X", Unknown(), "give \"C:\\ProgramData\\X\""},
    {kLongest, Unknown(), ""},
    {kLongest + "x", Unknown(), "238 characters long"},
    {"C:\\PROGRA~1\\Corvane",
     With(Seen(false), [](FolderFacts& f) { f.longName = "C:\\Program Files\\Corvane"; }),
     "8.3 short names: give its long name, \"C:\\Program Files\\Corvane\""},
    {"C:\\PROGRA~3", With(Seen(false), [](FolderFacts& f) { f.longName = "C:\\ProgramData"; }),
     "short names"},
    {"C:\\ProgramData\\Svc-\xA6",
     With(Seen(false), [](FolderFacts& f) { f.heldByCodePage = false; }),
     "ANSI code page cannot hold"},
    {"C:\\ProgramData\\Svc", With(Seen(true), [](FolderFacts& f) { f.link = true; }),
     "a link to another place"},
    {"C:\\ProgramData\\Svc", With(Seen(true), [](FolderFacts& f) { f.file = true; }),
     "a file, not a folder"},
    {"C:\\ProgramData\\CorvaneRemoteStarter", Seen(true, {"starter.dat", "evil.dll"}),
     "no service is registered yet, but it holds starter.dat, evil.dll, put there by someone"},
    {"C:\\ProgramData\\CorvaneRemoteStarter", Seen(true, {"1", "2", "3", "4", "5", "6", "7", "8"}),
     "it holds 1, 2, 3, 4, 5, 6, 7, 8, put"},
    {"C:\\ProgramData\\CorvaneRemoteStarter",
     Seen(true, {"1", "2", "3", "4", "5", "6", "7", "8", "9"}),
     "it holds 1, 2, 3, 4, 5, 6, 7, 8 and 1 more"},
    {"C:\\ProgramData\\CorvaneRemoteStarter",
     Seen(true, {"starter.dat"}, "C:\\ProgramData\\CorvaneRemoteStarter"), ""},
    // Names that Windows reads otherwise.
    {"C:\\Program Files\\a*b", Unknown(), "wildcard"},
    {"C:\\Program Files\\a?b", Unknown(), "wildcard"},
    {"C:\\Program Files\\Foo:bar", Unknown(), "colon after the drive"},
    {"C:\\Program Files\\Foo::$INDEX_ALLOCATION", Unknown(), "colon after the drive"},
    {"C:\\Program Files\\CON", Unknown(), "\"CON\" is the name of a device"},
    {"C:\\Program Files\\aux.x\\Svc", Unknown(), "\"aux.x\" is the name of a device"},
    {"C:\\Program Files\\Svc.", Unknown(), "\"Svc.\" ends in a dot or a space"},
    {"C:\\Program Files\\Svc \\x", Unknown(), "\"Svc \" ends in a dot or a space"},
    {"\\\\?\\C:\\Program Files\\Svc", Unknown(), "the \\\\?\\ prefix"},
    {"\\\\.\\C:\\Program Files\\Svc", Unknown(), "the \\\\.\\ prefix"},
    {"C::\\Program Files\\Svc", Unknown(), "colon after the drive"},
    // Who can change it, from the real descriptors.
    {"C:\\ProgramData\\New", Chain(Seen(false), {{"C:\\ProgramData", kAdminsOnly}}), ""},
    {"C:\\Program Files\\Corvane\\Starter",
     With(Chain(Seen(false),
                {{"C:\\Program Files", kAdminsOnly}, {"C:\\Program Files\\Corvane", kAdminsOnly}}),
          [](FolderFacts& f) { f.chain.back().link = true; }),
     "\"C:\\Program Files\\Corvane\", a folder above it, is a link to another place"},
    {"C:\\Program Files\\Corvane\\Starter",
     Chain(Seen(false),
           {{"C:\\Program Files", kAdminsOnly}, {"C:\\Program Files\\Corvane", kUnderRoot}}),
     "can change \"C:\\Program Files\\Corvane\", a folder above it: NT AUTHORITY\\"
     "Authenticated Users may delete or rename it"},
    {"C:\\Program Files\\Open",
     Chain(Seen(true), {{"C:\\Program Files", kAdminsOnly}, {"C:\\Program Files\\Open", kOpen}}),
     "can change it: Everyone may add files, add folders, delete what it holds and delete"},
    {"C:\\ProgramData\\Made",
     Chain(Seen(true), {{"C:\\ProgramData", kAdminsOnly}, {"C:\\ProgramData\\Made", kUsers}}),
     "can change it: S-1-5-21-1-2-3-1001 may change its access"},
    {"C:\\ProgramData\\Made",
     Chain(Seen(true), {{"C:\\ProgramData", kAdminsOnly},
                        {"C:\\ProgramData\\Made", "O:BUD:(A;;FA;;;BA)(A;;0x1200a9;;;OW)"}}),
     "it belongs to BUILTIN\\Users, not to an administrator"},
    {"C:\\ProgramData\\Made",
     Chain(Seen(true), {{"C:\\ProgramData", kAdminsOnly}, {"C:\\ProgramData\\Made", kAdminsOnly}}),
     ""},
    {"C:\\ProgramData\\CorvaneRemoteStarter",
     Chain(Seen(true, {"starter.dat", "config.ini"}, "elsewhere"),
           {{"C:\\ProgramData", kAdminsOnly},
            {"C:\\ProgramData\\CorvaneRemoteStarter", kAdminsOnly}}),
     "the service is installed in \"C:\\Program Files\\Old\", and a move takes only a new "
     "or empty folder, but this one holds starter.dat, config.ini"},
    // What the installation's own removal left, its list's patch too, is taken back.
    {"C:\\ProgramData\\CorvaneRemoteStarter",
     With(Chain(Seen(true, {"starter.dat", "hotfix.msp"}),
                {{"C:\\ProgramData", kAdminsOnly},
                 {"C:\\ProgramData\\CorvaneRemoteStarter", kAdminsOnly}}),
          [](FolderFacts& f) { f.jobFiles = {"hotfix.msp"}; }),
     ""},
    {"C:\\ProgramData\\CorvaneRemoteStarter",
     Chain(
         Seen(true, {"starter.dat"}, "C:\\ProgramData\\CorvaneRemoteStarter"),
         {{"C:\\ProgramData", kAdminsOnly}, {"C:\\ProgramData\\CorvaneRemoteStarter", kAdminsOnly}},
         {{"C:\\ProgramData\\CorvaneRemoteStarter\\starter.dat", kOpen}}),
     "can change \"C:\\ProgramData\\CorvaneRemoteStarter\\starter.dat\", which it holds: "
     "Everyone may write"},
    {"C:\\ProgramData\\Svc",
     With(Seen(true),
          [](FolderFacts& f) {
            f.unreadable = "what C:\\ProgramData\\Svc holds cannot be listed, error 5";
          }),
     "cannot be listed, error 5"},
    {"C:\\ProgramData\\Svc",
     With(Chain(Seen(false), {{"C:\\ProgramData", kAdminsOnly}}),
          [](FolderFacts& f) { f.chain.back().unreadable = "error 5"; }),
     "who can change \"C:\\ProgramData\", a folder above it, cannot be read: error 5"},
    {"C:\\ProgramData\\CorvaneRemoteStarter", Seen(true), ""},
    {"C:\\ProgramData\\CorvaneRemoteStarter", Seen(false), ""},
};

TEST(ServiceFolder, OnlyFoldersNoStandardUserCanReachServeTheService) {
  ResetDryRun(1252);
  for (const FolderCase& c : kFolderCases) {
    ExpectVerdict(c.folder, FolderUse::kInstall, c.facts, c.refusal);
  }
}

TEST(ServiceFolder, APurgeRemovesOnlyWhatTheInstallationPutThere) {
  const Names ours = {"starter.exe",     "starter-check.exe", "Starter.DAT",
                      "starter.dat.new", "starter.exe.new",   "starter-check.exe.new"};
  Names mixed = ours;
  mixed.insert(mixed.end(), {"config.ini", "logs\\", "3", "4", "5", "6", "7", "8", "9"});
  const string folder = "C:\\ProgramData\\CorvaneRemoteStarter";
  const struct {
    string folder;
    FolderFacts facts;
    string refusal;
    string leftover;
  } cases[] = {
      {folder, Seen(true, ours), "", ""},
      {folder, Seen(true, mixed), "",
       "did not put there: config.ini, logs\\, 3, 4, 5, 6, 7, 8, 9"},  // all of it, named
      {"C:\\ProgramData", Seen(true, {"starter.exe", "config.ini"}), "ProgramData folder itself",
       ""},
      {"C:\\Windows\\System32", Seen(true, {"starter.exe"}), "Windows folder", ""},
      {"C:\\Users\\Public\\OtherTool", Seen(true, ours), "Users folder", ""},
      {"D:\\Services\\Starter", Seen(true, ours), "a standard user may rename", ""},
      {"C:\\Program Files\\" + string(230, 'x'), Seen(true, ours), "", ""},
      {folder, Chain(Seen(true, ours), {{"C:\\ProgramData", kAdminsOnly}, {folder, kOpen}}),
       "others than administrators can change it", ""},
  };
  for (const auto& c : cases) {
    string leftover;
    string why = JudgeServiceFolder(c.folder, FolderUse::kPurge, Machine(), c.facts, &leftover);
    EXPECT_TRUE(c.refusal.empty() ? why.empty() : why.find(c.refusal) != string::npos)
        << c.folder << ": " << why;
    EXPECT_TRUE(c.leftover.empty() ? leftover.empty() : leftover.find(c.leftover) != string::npos)
        << c.folder << ": " << leftover;
  }
}

// install.cmd's own folder, and a program the list starts: a link, or anyone
// else who can change them, could swap what runs elevated.
TEST(ServiceFolder, WhatAnInstallationCopiesAndStartsIsAdministratorsAlone) {
  const string release = "C:\\Users\\Admin\\Downloads\\corvane";
  const struct {
    const char* what;
    FolderFacts facts;
    string refusal;
  } cases[] = {
      {"a release folder not looked at", Unknown(), ""},
      {"a release folder only administrators can change",
       Chain(Seen(true), {{release, kAdminsOnly}}, {{release + "\\install.cmd", kAdminsOnly}}), ""},
      {"one under the drive root", Chain(Seen(true), {{"C:\\Temp", kUnderRoot}}),
       "can change it: NT AUTHORITY\\Authenticated Users may add files"},
      {"a file in it anyone can change",
       Chain(Seen(true), {{release, kAdminsOnly}}, {{release + "\\starter.exe", kOpen}}),
       "can change \"" + release + "\\starter.exe\", which it holds: Everyone may write"},
  };
  for (const auto& c : cases) {
    string why = JudgeSourceFolder(c.facts);
    EXPECT_TRUE(c.refusal.empty() ? why.empty() : why.find(c.refusal) != string::npos)
        << c.what << ": " << why;
  }
  // A program: its own folder may not even take new files, which it could load.
  FolderFacts tools = Chain(Seen(true), {{"C:\\Tools", kUnderRoot}});
  tools.chain.push_back(Object("C:\\Tools\\tool.exe", kAdminsOnly, false));
  EXPECT_EQ(JudgeChain(tools.chain, 2, Trusted()),
            "others than administrators can change \"C:\\Tools\", the folder it lies in: "
            "NT AUTHORITY\\Authenticated Users may add files, add folders and delete or rename it");
  tools.chain[1] = Object("C:\\Tools", kAdminsOnly);
  EXPECT_EQ(JudgeChain(tools.chain, 2, Trusted()), "");
}

}  // namespace
