#include "lint/list_facts.h"

#include <algorithm>
#include <cstring>

#include "access/service_folder.h"
#include "launch/launch_list.h"
#include "launch/list_reader.h"
#include "lint/line_sheet.h"
#include "platform/platform_dry_run.h"
#include "text/string_helpers.h"

namespace {

// UTF-16, with a byte-order mark or without: text whose every other byte is zero.
bool LooksLikeUtf16(const std::string& bytes) {
  if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) return true;
  std::size_t pairs = std::min<std::size_t>(bytes.size(), 512) / 2;
  std::size_t zeros[2] = {0, 0};
  for (std::size_t i = 0; i < 2 * pairs; ++i) zeros[i % 2] += bytes[i] == '\0';
  return pairs >= 2 && (zeros[0] == 0) != (zeros[1] == 0) &&
         std::max(zeros[0], zeros[1]) * 4 >= pairs * 3;
}

// The 1-based line of the first multi-byte UTF-8 sequence after a byte-order
// mark (which has a finding of its own), or 0 when the bytes hold none or are
// not valid UTF-8.
int FirstUtf8Line(const std::string& bytes) {
  int line = 1;
  int first = 0;
  for (std::size_t i = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; i < bytes.size(); ++i) {
    auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\n') ++line;
    if (c < 0x80) continue;
    std::size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (length == 0 || i + length > bytes.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return 0;
    }
    if (first == 0) first = line;
    i += length - 1;
  }
  return first;
}

// Calls visit with each line, lowered, as the service reads it.
template <typename Visit>
void EachLine(const std::string& bytes, unsigned codePage, const std::string& executablePath,
              Visit visit) {
  DryRunPlatform platform(codePage);
  platform.executablePath = executablePath;
  platform.listBytes = &bytes;
  UseDryRun use(platform);
  ListReader reader;
  OpenList(reader, "list");
  LineBuffer line;
  while (ReaderGood(reader)) {
    ReadLine(reader, line, sizeof line);
    LowerLine(line);
    visit(line);
  }
}

}  // namespace

bool IsComment(const std::string& lowered) {
  std::string::size_type at = lowered.find_first_not_of(" \t");
  if (at == std::string::npos) return false;
  // Read in place: the terminator stops each test at the text's end.
  const char* p = lowered.c_str() + at;
  return p[0] == '#' || p[0] == ';' || (p[0] == '/' && p[1] == '/') ||
         (p[0] == ':' && p[1] == ':') ||
         (p[0] == 'r' && p[1] == 'e' && p[2] == 'm' && (p[3] == '\0' || p[3] == ' '));
}

ListFacts ReadListFacts(const std::string& bytes, const ServiceView& service) {
  ListFacts facts;
  facts.size = bytes.size();
  facts.utf16 = LooksLikeUtf16(bytes);
  facts.utf8Line = service.codePage == 65001 ? 0 : FirstUtf8Line(bytes);
  facts.ctrlZ = bytes.find('\x1A');
  // Padding after it, as old editors left, is harmless; text is not.
  facts.textAfterCtrlZ = facts.ctrlZ != std::string::npos &&
                         bytes.find_first_not_of("\x1A\r\n \t", facts.ctrlZ) != std::string::npos;
  std::string lowered;
  EachLine(bytes, service.codePage, service.executablePath, [&](const char* line) {
    if (ParseLine(line).rule == CommandRule::kInstallerPatch) {
      ++facts.installerLines;
    } else if (line[std::strspn(line, " \t")] != '\0' && !IsComment(lowered.assign(line))) {
      ++facts.otherLines;
    }
  });
  return facts;
}

std::vector<std::string> FilesNamedWithoutPath(const std::string& bytes,
                                               const std::string& executablePath,
                                               unsigned codePage) {
  std::vector<std::string> names;
  EachLine(bytes, codePage, executablePath, [&](const char* line) {
    const LineGrammar grammar = ParseLine(line);
    std::string name;
    if (grammar.rule == CommandRule::kInstallerPatch && grammar.patch != nullptr) {
      std::string patch = grammar.patch;
      name = PatchNames(patch.substr(0, patch.find_first_of(" \t")))[0];
    } else if (grammar.rule == CommandRule::kBareProgram && grammar.wordEnd != grammar.word) {
      // The empty read after a final line break names nothing, not ".exe".
      name = WithExeExtension(std::string(grammar.word, grammar.wordEnd));
    }
    bool plain = !name.empty() && name.find_first_of("\\/:\"*?<>| \t") == std::string::npos &&
                 KindOfPath(name) == PathKind::kRelative && name != "." && name != "..";
    if (plain && !IsInstalledName(name) &&
        std::none_of(names.begin(), names.end(),
                     [&](const std::string& one) { return SameName(one, name); })) {
      names.push_back(name);
    }
  });
  return names;
}
