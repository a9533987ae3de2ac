// The Win32 platform layer and the launch-list run on a real Windows API.
//
// Run with --run-launch-list, this program is the runner: it runs the launch
// list beside itself and reports, beside itself, whether it had a console and
// how many handles it held before and after the run. The tests copy it into a
// fresh folder next to a list and the probe, and read what the probes logged.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "launch/launch_list.h"
#include "platform/code_pages.h"
#include "platform/platform.h"
#include "tests/support/console_win32.h"

namespace {

using std::string;

string ExecutablePath() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  return path;
}

string DirectoryOf(const string& path) {
  return path.substr(0, path.rfind('\\'));
}

string Lower(string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return text;
}

string ReadAll(const string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(const string& path, const string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// GetProcessHandleCount answers 0 under Wine; the system handle table does not.
long CountOwnHandles() {
  struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
  };
  struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
  };
  typedef LONG(WINAPI * QueryFunction)(ULONG, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  const ULONG kSystemHandleInformation = 16;
  const LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
  std::vector<char> buffer(1 << 16);
  LONG status;
  while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                         nullptr)) == kInfoLengthMismatch) {
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0) return -1;
  const HandleTable* table = reinterpret_cast<const HandleTable*>(buffer.data());
  long own = 0;
  for (ULONG i = 0; i < table->count; ++i) {
    if (table->entries[i].ownerPid == GetCurrentProcessId()) ++own;
  }
  return own;
}

int RunnerMain() {
  bool console = HasConsole();
  long before = CountOwnHandles();
  RunLaunchList();
  long after = CountOwnHandles();
  char report[128];
  static_cast<void>(std::snprintf(report, sizeof report, "console %s\nbefore %ld\nafter %ld\n",
                                  console ? "yes" : "no", before, after));
  WriteAll(ExecutablePath() + ".report", report);
  return 0;
}

// A new folder in the temporary directory, holding the runner and the probe.
struct RunFolder {
  string path;
  string runner;
  string probe;

  RunFolder() {
    static int serial = 0;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    // Process ids repeat from one run to the next, so take the first free name.
    do {
      path = string(temp) + "launch-" + std::to_string(GetCurrentProcessId()) + "-" +
             std::to_string(++serial);
    } while (!CreateDirectoryA(path.c_str(), nullptr) && serial < 100000);
    runner = path + "\\Runner.exe";
    probe = path + "\\probe.exe";
    CopyFileA(ExecutablePath().c_str(), runner.c_str(), FALSE);
    CopyFileA((DirectoryOf(ExecutablePath()) + "\\probe.exe").c_str(), probe.c_str(), FALSE);
  }

  string ListPath() const { return path + "\\Runner.dat"; }

  // Runs the list in a runner with a console of its own, so that a child which
  // is not detached would share it. Returns the runner's report.
  string Run(const string& list) const {
    WriteAll(ListPath(), list);
    return RunAsIs();
  }

  string RunAsIs() const {
    DeleteFileA((runner + ".report").c_str());
    string commandLine = "\"" + runner + "\" --run-launch-list";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started;
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                        nullptr, path.c_str(), &startup, &started)) {
      return "runner did not start";
    }
    WaitForSingleObject(started.hProcess, 60000);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return ReadAll(runner + ".report");
  }

  // Waits until the probes have logged count lines; each begins with "pid ".
  string WaitForLog(int count) const {
    string log;
    for (int waited = 0; waited < 30000; waited += 100) {
      log = ReadAll(probe + ".log");
      int seen = 0;
      for (size_t at = 0; (at = log.find("pid ", at)) != string::npos; ++at) ++seen;
      if (seen >= count) break;
      Sleep(100);
    }
    return log;
  }
};

TEST(CodePages, BuiltInTablesMatchTheSystem) {
  for (unsigned codePage : {932u, 936u, 949u, 950u, 1252u, 437u}) {
    CPINFO info;
    ASSERT_TRUE(GetCPInfo(codePage, &info)) << codePage;
    bool system[256];
    bool builtIn[256];
    FillLeadByteTable(system, info.LeadByte);
    FillLeadByteTable(builtIn, BuiltInLeadByteRanges(codePage));
    for (int c = 0; c < 256; ++c) {
      EXPECT_EQ(builtIn[c], system[c]) << "code page " << codePage << ", byte " << c;
    }
  }
}

TEST(CodePages, LeadBytesComeFromTheAnsiCodePage) {
  if (const char* expected = std::getenv("STARTER_EXPECT_ACP")) {
    EXPECT_EQ(GetACP(), std::strtoul(expected, nullptr, 10));
  }
  for (int c = 0; c < 256; ++c) {
    EXPECT_EQ(IsLeadByte(static_cast<unsigned char>(c)),
              IsDBCSLeadByte(static_cast<BYTE>(c)) != FALSE)
        << "byte " << c << " in code page " << GetACP();
  }
}

TEST(Win32Platform, QueriesAlwaysTerminateTheBuffer) {
  char path[MAX_PATH];
  GetExecutablePath(path, sizeof path);
  EXPECT_EQ(string(path), ExecutablePath());
  char system[MAX_PATH] = "";
  GetSystemDirectoryA(system, sizeof system);
  GetSystemDirectoryPath(path, sizeof path);
  EXPECT_EQ(string(path), system);

  for (size_t size : {1u, 2u, 8u}) {
    char small[8];
    memset(small, '#', sizeof small);
    GetExecutablePath(small, size);
    EXPECT_NE(memchr(small, '\0', size), nullptr) << "executable path, size " << size;
    memset(small, '#', sizeof small);
    GetSystemDirectoryPath(small, size);
    EXPECT_NE(memchr(small, '\0', size), nullptr) << "system directory, size " << size;
  }
}

TEST(Win32Platform, ListFileIsSharedForReadAndWriteButNotInherited) {
  RunFolder folder;
  const string list = folder.path + "\\shared.dat";
  WriteAll(list, "abc");
  ListFile* file = OpenListFile(list.c_str());
  ASSERT_NE(file, nullptr);
  DWORD flags = 0;
  ASSERT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(file), &flags));
  EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);

  HANDLE writer = CreateFileA(list.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "other readers and writers are let in";
  CloseHandle(writer);
  EXPECT_FALSE(MoveFileA(list.c_str(), (list + ".moved").c_str())) << "renaming is locked out";

  char bytes[8];
  EXPECT_EQ(ReadListFile(file, bytes, sizeof bytes), 3);
  EXPECT_EQ(ReadListFile(file, bytes, sizeof bytes), 0);
  CloseListFile(file);
  EXPECT_TRUE(MoveFileA(list.c_str(), (list + ".moved").c_str()));
  EXPECT_EQ(OpenListFile((folder.path + "\\absent.dat").c_str()), nullptr);
}

TEST(Win32Platform, FailedStartsReportFalse) {
  RunFolder folder;
  char missing[] = "\"c:\\no such folder\\nothing.exe\" /x";
  EXPECT_FALSE(StartProcess(missing, true, kDetachedProcess | kNormalPriorityClass, nullptr));
  string probe = "\"" + folder.probe + "\"";
  EXPECT_FALSE(
      StartProcess(&probe[0], true, kDetachedProcess | kNormalPriorityClass, "c:\\no such folder"));
}

TEST(HandleCount, SeesEveryHandleOfThisProcess) {
  long before = CountOwnHandles();
  ASSERT_GT(before, 0);
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_EQ(CountOwnHandles(), before + 1);
  CloseHandle(event);
  EXPECT_EQ(CountOwnHandles(), before);
}

TEST(RunLaunchListUnderWine, StartsDetachedChildrenWithTheComposedCommand) {
  RunFolder folder;
  const string lowered = Lower(folder.path);
  string report = folder.Run("Probe.exe One  Two\n" + folder.path + "\\PROBE.EXE three\n" +
                             "missing.exe\n" + "probe.exe four");
  EXPECT_NE(report.find("console yes"), string::npos) << report;

  string log = folder.WaitForLog(3);
  const string expected[][2] = {
      {"\"" + folder.path + "\\probe.exe\" one  two", folder.path},
      {lowered + "\\probe.exe three", lowered},
      {"\"" + folder.path + "\\probe.exe\" four", folder.path},
  };
  for (const string(&start)[2] : expected) {
    string record =
        "command line " + start[0] + "\ndirectory " + start[1] + "\npriority 0x20\nconsole no\n";
    EXPECT_NE(log.find(record), string::npos) << "expected:\n" << record << "in:\n" << log;
  }
}

TEST(RunLaunchListUnderWine, ClosesEveryHandleItGets) {
  RunFolder folder;
  string list;
  for (int i = 0; i < 50; ++i) list += "probe.exe line" + std::to_string(i) + "\n";
  string report = folder.Run(list);
  long before = -1;
  long after = -2;
  string word;
  std::istringstream(report) >> word >> word >> word >> before >> word >> after;
  EXPECT_GT(before, 0) << report;
  EXPECT_EQ(after, before) << report;
  string log = folder.WaitForLog(50);
  EXPECT_NE(log.find(" line49\n"), string::npos) << "all 50 lines started";
}

TEST(RunLaunchListUnderWine, ChildrenCannotHoldTheListOpen) {
  RunFolder folder;
  // The probe keeps trying to rename the list. It can only succeed once the
  // runner has closed it, and only if it did not inherit a handle to it.
  folder.Run("probe.exe rename=" + Lower(folder.path) + "\\runner.dat\n");
  string log = folder.WaitForLog(2);
  EXPECT_NE(log.find("renamed yes"), string::npos) << log;
}

TEST(RunLaunchListUnderWine, ListLockedByAnotherProcessStartsNothing) {
  RunFolder folder;
  WriteAll(folder.ListPath(), "probe.exe locked\n");
  HANDLE lock =
      CreateFileA(folder.ListPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  string report = folder.RunAsIs();
  CloseHandle(lock);
  EXPECT_NE(report.find("after"), string::npos) << "the run returned: " << report;
  Sleep(1000);
  EXPECT_EQ(ReadAll(folder.probe + ".log"), "") << "nothing may start while the list is locked";

  folder.RunAsIs();  // unlocked, the same list starts its probe
  EXPECT_NE(folder.WaitForLog(1).find(" locked\n"), string::npos);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && string(argv[1]) == "--run-launch-list") return RunnerMain();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
