#include "check/service_folder.h"

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

// A folder as Windows shows it: there or not, what it holds, and whether the
// service is registered yet.
FolderFacts Seen(bool exists, Names entries = {}, bool registered = false) {
  FolderFacts facts;
  facts.known = true;
  facts.exists = exists;
  facts.entries = std::move(entries);
  facts.serviceRegistered = registered;
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

TEST(ServiceFolder, OnlyFoldersNoStandardUserCanReachServeTheService) {
  const string longest = "C:\\Program Files\\" + string(237 - 17, 'x');
  const struct {
    string folder;
    FolderFacts facts;
    string refusal;  // words of why it is refused; empty: accepted
  } cases[] = {
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
      {longest, Unknown(), ""},
      {longest + "x", Unknown(), "238 characters long"},
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
      {"C:\\ProgramData\\CorvaneRemoteStarter",
       Seen(true, {"1", "2", "3", "4", "5", "6", "7", "8"}),
       "it holds 1, 2, 3, 4, 5, 6, 7, 8, put"},
      {"C:\\ProgramData\\CorvaneRemoteStarter",
       Seen(true, {"1", "2", "3", "4", "5", "6", "7", "8", "9"}),
       "it holds 1, 2, 3, 4, 5, 6, 7, 8 and 1 more"},
      {"C:\\ProgramData\\CorvaneRemoteStarter", Seen(true, {"starter.dat"}, true), ""},
      {"C:\\ProgramData\\CorvaneRemoteStarter", Seen(true), ""},
      {"C:\\ProgramData\\CorvaneRemoteStarter", Seen(false), ""},
  };
  ResetDryRun(1252);
  for (const auto& c : cases) ExpectVerdict(c.folder, FolderUse::kInstall, c.facts, c.refusal);
}

TEST(ServiceFolder, APurgeRemovesOnlyWhatTheInstallationPutThere) {
  const Names ours = {"starter.exe",     "starter-check.exe", "Starter.DAT",
                      "starter.dat.new", "starter.exe.new",   "starter-check.exe.new"};
  Names mixed = ours;
  mixed.insert(mixed.end(), {"config.ini", "logs\\", "3", "4", "5", "6", "7", "8", "9"});
  const struct {
    string folder;
    FolderFacts facts;
    string refusal;
  } cases[] = {
      {"C:\\ProgramData\\CorvaneRemoteStarter", Seen(true, ours), ""},
      {"C:\\ProgramData\\CorvaneRemoteStarter", Seen(true, mixed),
       "did not put there: config.ini, logs\\, 3, 4, 5, 6, 7, 8, 9"},  // all of it, named
      {"C:\\ProgramData", Seen(true, {"starter.exe", "config.ini"}), "ProgramData folder itself"},
      {"C:\\Windows\\System32", Seen(true, {"starter.exe"}), "Windows folder"},
      {"C:\\Users\\Public", Unknown(), "Users folder"},
      {"D:\\Services\\Starter", Seen(true, ours), "a standard user may rename"},
      {"C:\\Program Files\\" + string(230, 'x'), Seen(true, ours), ""},
  };
  for (const auto& c : cases) ExpectVerdict(c.folder, FolderUse::kPurge, c.facts, c.refusal);
}

}  // namespace
