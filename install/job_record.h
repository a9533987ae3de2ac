// The record of the job an installation brought into the service's folder:
// the list and the files beside it that came with it, each with its SHA-256.
// A new job takes the files of the one before away, a purge finds them after
// a plain removal, and a later installation knows them for the
// installation's own. Only administrators can change it, as the folder.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "access/service_folder.h"

struct JobFile {
  std::string name;    // a plain name in the service's folder, such as hotfix.msp
  std::string sha256;  // 64 hex digits, lower case
};

struct JobRecord {
  std::vector<JobFile> files;  // the list, starter.dat, first
};

std::string FormatJobRecord(const JobRecord& record);
// False when text is no record, or names anything but a plain name: a
// record never leads out of the folder.
bool ParseJobRecord(const std::string& text, JobRecord& record);

// Whether a name is a plain file name in the folder: no path, stream,
// device or wildcard, not "." or "..", nor one Windows would read otherwise.
bool IsPlainName(const std::string& name);

// The names in the record, in order.
std::vector<std::string> RecordedNames(const JobRecord& record);

// The job's identity, for detection: the SHA-256 of the record's text, which
// holds the hash of every file of the job.
std::string JobIdentity(const JobRecord& record);

// The files a job brings from its list's folder: the list, as starter.dat,
// then each file the list names without a path that lies beside it, as
// `beside` says, in the order the list first names them.
std::vector<std::string> JobNames(const std::string& list, unsigned codePage,
                                  const std::function<bool(const std::string& name)>& beside);

// The files of the job a folder holds, the installation's own: those its
// record names; with no record, as a folder an earlier version left has
// none, those its list names without a path.
std::vector<std::string> JobFilesOf(const std::string* record, const std::string* list,
                                    const std::string& folder, unsigned codePage);
