// package-actions.dll: what the Windows Installer package must know of a
// list that its tables cannot say. The package calls it from its Binary
// table; it is never installed.
#include <windows.h>
// clang-format off
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include <cstdio>
#include <string>
#include <vector>

#include "check/list_check.h"

namespace {

std::string Property(MSIHANDLE install, const char* name) {
  char value[1024] = "";
  DWORD size = sizeof value;
  return MsiGetPropertyA(install, name, value, &size) == ERROR_SUCCESS ? value : "";
}

// A line in the installation's log.
void Log(MSIHANDLE install, const std::string& text) {
  MSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringA(record, 0, ("TakeListFiles: " + text).c_str());
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
  MsiCloseHandle(record);
}

bool ReadWhole(const std::string& path, std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char chunk[65536];
  std::size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, count);
  bool read = std::ferror(file) == 0;
  static_cast<void>(std::fclose(file));
  return read;
}

bool IsFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// One MoveFile row that copies name from ListFolder into the service's folder.
UINT AddCopy(MSIHANDLE view, int number, const std::string& name) {
  MSIHANDLE record = MsiCreateRecord(7);
  MsiRecordSetStringA(record, 1, ("ListFile" + std::to_string(number)).c_str());
  MsiRecordSetStringA(record, 2, "Service");
  MsiRecordSetStringA(record, 3, name.c_str());
  MsiRecordSetStringA(record, 4, name.c_str());
  MsiRecordSetStringA(record, 5, "ListFolder");
  MsiRecordSetStringA(record, 6, "ServiceFolder");
  MsiRecordSetInteger(record, 7, 0);  // copy, never move
  UINT status = MsiViewModify(view, MSIMODIFY_INSERT_TEMPORARY, record);
  MsiCloseHandle(record);
  return status;
}

}  // namespace

// The files the list in ListSource names without a path, its patches and bare
// programs, go into the service's folder with it: each that lies beside the
// list gets a temporary MoveFile row, which Windows Installer carries out,
// and undoes on a rollback, as it does the list's own. The folder rule, run
// next, judges them where they lie.
extern "C" __declspec(dllexport) UINT __stdcall TakeListFiles(MSIHANDLE install) {
  const std::string list = Property(install, "ListSource");
  if (list.empty()) return ERROR_SUCCESS;
  std::string bytes;
  if (!ReadWhole(list, bytes)) {
    Log(install, "cannot read " + list + "; the folder rule says why");
    return ERROR_SUCCESS;
  }
  const std::string from = FolderOf(list, GetACP());
  const std::string service = Property(install, "ServiceFolder") + "starter.exe";
  MsiSetPropertyA(install, "ListFolder", (from + "\\").c_str());
  MSIHANDLE database = MsiGetActiveDatabase(install);
  MSIHANDLE view = 0;
  UINT status = MsiDatabaseOpenViewA(database,
                                     "SELECT `FileKey`, `Component_`, `SourceName`, `DestName`, "
                                     "`SourceFolder`, `DestFolder`, `Options` FROM `MoveFile`",
                                     &view);
  if (status == ERROR_SUCCESS) status = MsiViewExecute(view, 0);
  int number = 0;
  for (const std::string& name : FilesNamedWithoutPath(bytes, service, GetACP())) {
    if (status != ERROR_SUCCESS) break;
    // One that does not lie beside the list may be in the folder already.
    std::string source = from;
    source.append("\\").append(name);
    if (!IsFile(source)) continue;
    status = AddCopy(view, ++number, name);
    Log(install, "copies " + source);
  }
  MsiCloseHandle(view);
  MsiCloseHandle(database);
  if (status != ERROR_SUCCESS) Log(install, "cannot add a copy, error " + std::to_string(status));
  return status == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}
