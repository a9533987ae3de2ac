#include "install/job_record.h"

#include <algorithm>
#include <iterator>

#include "install/sha256.h"
#include "lint/list_facts.h"
#include "paths/windows_paths.h"

namespace {

const char kHeader[] = "Corvane Remote Starter job 1";

bool IsHash(const std::string& text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

bool IsPlainName(const std::string& name) {
  return !name.empty() && name.size() < 256 && name != "." && name != ".." &&
         name.find_first_of("\\/:*?\"<>|") == std::string::npos &&
         std::none_of(name.begin(), name.end(), [](char c) { return c >= 0 && c < 0x20; }) &&
         name.back() != '.' && name.back() != ' ' && KindOfPath(name) == PathKind::kRelative;
}

std::string FormatJobRecord(const JobRecord& record) {
  std::string text = std::string(kHeader) + "\r\n";
  for (const JobFile& file : record.files) text += file.sha256 + " " + file.name + "\r\n";
  return text;
}

bool ParseJobRecord(const std::string& text, JobRecord& record) {
  record = JobRecord();
  std::string::size_type at = 0;
  bool header = true;
  while (at < text.size()) {
    std::string::size_type end = text.find("\r\n", at);
    if (end == std::string::npos) return false;  // every line ends in CR LF
    const std::string line = text.substr(at, end - at);
    at = end + 2;
    if (header) {
      if (line != kHeader) return false;
      header = false;
      continue;
    }
    if (line.size() < 66 || line[64] != ' ') return false;
    JobFile file{line.substr(65), line.substr(0, 64)};
    if (!IsHash(file.sha256) || !IsPlainName(file.name) ||
        std::any_of(record.files.begin(), record.files.end(),
                    [&](const JobFile& one) { return SameName(one.name, file.name); })) {
      return false;
    }
    record.files.push_back(file);
  }
  return !header;
}

std::vector<std::string> RecordedNames(const JobRecord& record) {
  std::vector<std::string> names(record.files.size());
  std::transform(record.files.begin(), record.files.end(), names.begin(),
                 [](const JobFile& file) { return file.name; });
  return names;
}

std::string JobIdentity(const JobRecord& record) {
  return Sha256Of(FormatJobRecord(record));
}

std::vector<std::string> JobNames(const std::string& list, unsigned codePage,
                                  const std::function<bool(const std::string&)>& beside) {
  std::vector<std::string> names = {"starter.dat"};
  const std::vector<std::string> named =
      FilesNamedWithoutPath(list, std::string(kDefaultFolder) + "\\starter.exe", codePage);
  std::copy_if(named.begin(), named.end(), std::back_inserter(names), beside);
  return names;
}

std::vector<std::string> JobFilesOf(const std::string* record, const std::string* list,
                                    const std::string& folder, unsigned codePage) {
  JobRecord parsed;
  if (record != nullptr && ParseJobRecord(*record, parsed)) return RecordedNames(parsed);
  if (record == nullptr && list != nullptr) {
    return FilesNamedWithoutPath(*list, folder + "\\starter.exe", codePage);
  }
  return {};
}
