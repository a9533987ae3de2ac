#include "install/job_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/installation.h"

namespace {

using std::string;
using Names = std::vector<string>;

// NOLINTNEXTLINE(cert-err58-cpp): a test's table; a throw there fails the test binary at once.
const string kHash(64, 'a');
// NOLINTNEXTLINE(cert-err58-cpp): a test's table; a throw there fails the test binary at once.
const string kHeader = "Corvane Remote Starter job 1\r\n";

// A record is read back as written, and nothing that could name another
// place than a plain file in the folder is ever read from one.
struct RecordRow {
  string text;
  bool read;
  Names names;
};

// NOLINTNEXTLINE(cert-err58-cpp): a test's table; a throw there fails the test binary at once.
const RecordRow kRecords[] = {
    {kHeader, true, {}},
    {kHeader + kHash + " starter.dat\r\n" + kHash + " Hotfix.msp\r\n",
     true,
     {"starter.dat", "Hotfix.msp"}},
    {"", false, {}},
    {kHeader + kHash + " starter.dat", false, {}},  // a line without its CR LF
    {kHeader + kHash + " ..\r\n", false, {}},
    {kHeader + kHash + " ..\\x.exe\r\n", false, {}},
    {kHeader + kHash + " C:x.exe\r\n", false, {}},
    {kHeader + kHash + " x.msp:stream\r\n", false, {}},
    {kHeader + kHash + " aux.exe\r\n", false, {}},
    {kHeader + kHash + " x.exe.\r\n", false, {}},
    {kHeader + kHash + " a.msp\r\n" + kHash + " A.MSP\r\n", false, {}},
    {kHeader + string(63, 'a') + "  x.msp\r\n", false, {}},
    {kHeader + string(64, 'A') + " x.msp\r\n", false, {}},
    {kHeader + kHash + "\r\n", false, {}},
};

TEST(JobRecord, ReadsOnlyPlainNames) {
  for (const RecordRow& row : kRecords) {
    SCOPED_TRACE(row.text);
    JobRecord record;
    ASSERT_EQ(ParseJobRecord(row.text, record), row.read);
    if (!row.read) continue;
    EXPECT_EQ(RecordedNames(record), row.names);
    EXPECT_EQ(FormatJobRecord(record), row.text);
  }
}

// A folder's job: its record where there is one, a list's files where an
// earlier version left none, and nothing from a record that cannot be read.
struct JobRow {
  const char* record;  // null: none
  const char* list;    // null: none
  Names files;
};

// NOLINTNEXTLINE(cert-err58-cpp): a test's table; a throw there fails the test binary at once.
const JobRow kJobs[] = {
    {nullptr,
     "msiexec.exe /p Hotfix.msp /qn\r\nInventory.exe /q\r\n",
     {"hotfix.msp", "inventory.exe"}},
    // The empty read after a final CR LF names no ".exe".
    {nullptr, "C:\\Tools\\x.exe\r\n", {}},
    {nullptr, "\r\n\r\n", {}},
    {nullptr, nullptr, {}},
    {"broken", "inventory.exe\r\n", {}},
};

TEST(JobRecord, TheFilesOfTheJobAFolderHolds) {
  for (const JobRow& row : kJobs) {
    SCOPED_TRACE(row.list ? row.list : "no list");
    const string record = row.record ? row.record : "";
    const string list = row.list ? row.list : "";
    EXPECT_EQ(
        JobFilesOf(row.record ? &record : nullptr, row.list ? &list : nullptr, "C:\\Svc", 1252),
        row.files);
  }
  const string record = kHeader + kHash + " starter.dat\r\n" + kHash + " old.msp\r\n";
  const string list = "new.exe\r\n";
  EXPECT_EQ(JobFilesOf(&record, &list, "C:\\Svc", 1252), (Names{"starter.dat", "old.msp"}));
}

// The start types in Windows' own words, in any case, and nothing else.
TEST(JobRecord, StartTypesInWindowsWords) {
  const struct {
    const char* text;
    bool read;
    StartType type;
  } rows[] = {{"auto", true, StartType::kAuto},
              {"Automatic", true, StartType::kAuto},
              {"DEMAND", true, StartType::kDemand},
              {"Manual", true, StartType::kDemand},
              {"disabled", true, StartType::kDisabled},
              {"", false, StartType::kKeep},
              {"sometimes", false, StartType::kKeep},
              {"auto ", false, StartType::kKeep},
              {"1", false, StartType::kKeep}};
  for (const auto& row : rows) {
    StartType type = StartType::kKeep;
    EXPECT_EQ(ReadStartType(row.text, type), row.read) << row.text;
    EXPECT_EQ(type, row.type) << row.text;
  }
}

}  // namespace
