#include "install/job_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "install/installation.h"
#include "install/sha256.h"

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

// FIPS 180-4's own examples, and a million bytes fed in uneven chunks.
TEST(JobRecord, Sha256AsTheStandardGivesIt) {
  const struct {
    string bytes;
    const char* digest;
  } rows[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
  };
  for (const auto& row : rows) EXPECT_EQ(Sha256Of(row.bytes), row.digest) << row.bytes.size();
  Sha256 million;
  const string chunk(997, 'a');
  for (std::size_t left = 1000000; left > 0; left -= std::min(left, chunk.size())) {
    million.Add(chunk.data(), std::min(left, chunk.size()));
  }
  EXPECT_EQ(million.Hex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// A job's files: the list, then what it names beside it, in the order it
// names them; its identity follows every byte of every one.
TEST(JobRecord, AJobAndItsIdentity) {
  const string list = "msiexec.exe /p Fix.msp /qn\r\nTool.exe /q\r\nGone.exe\r\ntool.exe\r\n";
  EXPECT_EQ(JobNames(list, 1252, [](const string& name) { return name != "gone.exe"; }),
            (Names{"starter.dat", "fix.msp", "tool.exe"}));
  JobRecord one{{{"starter.dat", kHash}, {"fix.msp", kHash}}};
  JobRecord other = one;
  other.files[1].sha256[63] = 'b';
  EXPECT_EQ(JobIdentity(one), Sha256Of(FormatJobRecord(one)));
  EXPECT_NE(JobIdentity(one), JobIdentity(other));
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
