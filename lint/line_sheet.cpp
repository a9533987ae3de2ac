#include "lint/line_sheet.h"

#include <algorithm>
#include <cstring>

#include "launch/launch_list.h"
#include "lint/list_facts.h"
#include "text/string_helpers.h"

namespace {

// The word of a command line that starts at, up to the next space or TAB.
std::string WordAt(const std::string& text, std::string::size_type at) {
  if (at >= text.size()) return "";
  return text.substr(at, text.find_first_of(" \t", at) - at);
}

// Whether a word goes on with a path: it holds a backslash and is no path of
// its own (neither full, UNC, rooted nor drive-relative) and no option.
bool ContinuesAPath(const std::string& word) {
  return word.find('\\') != std::string::npos && KindOfPath(word) == PathKind::kRelative &&
         word[0] != '/' && word[0] != '-';
}

// For an unquoted path, the first of CreateProcessA's names after which the
// path stops: one that names a program by its extension, or one the next
// word goes on from neither as a path nor to a program's extension, as
// "C:\Tools\My Tool.exe" does.
std::size_t PathEnd(const std::vector<std::string>& names, const std::string& commandLine) {
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    if (HasProgramExtension(names[i])) return i;
    std::string::size_type next = commandLine.find_first_not_of(" \t", names[i].size());
    if (next == std::string::npos) return i;
    const std::string word = WordAt(commandLine, next);
    bool namesTheProgram = HasProgramExtension(names[i + 1]) && word[0] != '/' && word[0] != '-' &&
                           KindOfPath(word) == PathKind::kRelative;
    if (!ContinuesAPath(word) && !namesTheProgram) return i;
  }
  return names.empty() ? 0 : names.size() - 1;
}

void ReadGrammar(const char* lowered, LineSheet& line) {
  const LineGrammar grammar = ParseLine(lowered);
  line.lowered = lowered;
  line.rule = grammar.rule;
  line.blank = line.lowered.find_first_not_of(" \t") == std::string::npos;
  line.comment = IsComment(line.lowered);
  line.word.assign(grammar.word, grammar.wordEnd);
  line.wordAt = grammar.word - lowered;
  line.wordEnd = grammar.wordEnd - lowered;
  line.quoted = grammar.quoted;
  line.argumentsAt = grammar.arguments - lowered;
  line.hasPatch = grammar.patch != nullptr;
  line.patch = grammar.patch ? grammar.patch : "";
  line.patchAt = grammar.patch ? grammar.patch - lowered : 0;
  line.patchName = line.patch.substr(0, line.patch.find_first_of(" \t"));
  const std::string& text = line.lowered;
  std::string::size_type at = std::min(text.find_first_not_of(" \t"), text.size());
  line.leadingWordEnd = std::min(text.find(' ', at), text.size());
  line.leadingWord = text.substr(at, line.leadingWordEnd - at);
  const std::string& word = line.leadingWord;
  if (word.size() > 1 && word.front() == '"' && word.back() == '"') {
    line.leadingWord = word.substr(1, word.size() - 2);
  }
}

// Where the name that starts ends in the command line: for an unquoted path,
// the name CreateProcessA starts, else where the composer ended it. A name
// that reaches the cut runs on past it when the line goes on with it.
std::size_t StartsNameEnd(const LineSheet& line) {
  if (line.rule != CommandRule::kProgramWithPath || line.quoted || line.names.empty()) {
    return line.nameEnd;
  }
  std::size_t end = line.names[line.starts.empty() ? line.pathEnd : line.startsAt].size();
  bool runsOn = end == line.commandLine.size() && end < line.lowered.size() &&
                line.lowered[end] != ' ' && line.lowered[end] != '\t';
  return runsOn ? end + 1 : end;
}

// What starts: the first file of the names CreateProcessA tries, in the
// places it looks, and any longer name that exists too.
void LookForProgram(const ServiceView& service, LineSheet& line) {
  for (std::size_t i = 0; i < line.candidates.size(); ++i) {
    for (const Place& place : SearchOrder(line.candidates[i], service)) {
      FileKind kind = service.fileKind(SourceOf(service, place.path));
      if (line.starts.empty()) line.tried.push_back(place.path);
      // A folder is passed over, as CreateProcessA does.
      if (!IsFile(kind)) continue;
      if (!line.starts.empty()) {
        line.alsoExists = place.path;
        return;
      }
      line.starts = place.path;
      line.startsKind = kind;
      line.startsAt = i;
      line.startsWhere = place.what;
      break;
    }
  }
}

void LookOnTarget(const ServiceView& service, LineSheet& line) {
  line.looked = true;
  if (IsInstaller(line)) {
    std::string installer = service.systemDirectory + "\\" + kInstallerName;
    FileKind kind = service.fileKind(installer);
    if (IsFile(kind)) {
      line.starts = installer;
      line.startsKind = kind;
    }
    if (!line.hasPatch) return;
    line.patchFile =
        SourceOf(service, service.serviceDirectory + "\\" + PatchNames(line.patchName)[0]);
    kind = service.fileKind(line.patchFile);
    line.patchThere = IsFile(kind);
    return;
  }
  LookForProgram(service, line);
  if (line.hasDirectory && !line.directory.empty()) {
    std::string directory = Resolve(line.directory, service.systemDirectory);
    // The installation that copies files in makes the service's folder.
    bool made = !service.filesFrom.empty() && SameName(directory, service.serviceDirectory);
    line.directoryThere = made || service.fileKind(directory) == FileKind::kFolder;
  }
}

}  // namespace

std::string SourceOf(const ServiceView& service, const std::string& path) {
  const std::string& from = service.filesFrom;
  const std::string& folder = service.serviceDirectory;
  if (from.empty() || path.size() <= folder.size() ||
      !SameName(path.substr(0, folder.size() + 1), folder + "\\") ||
      path.find('\\', folder.size() + 1) != std::string::npos) {
    return path;
  }
  std::string source = from + path.substr(folder.size());
  return service.fileKind(source) == FileKind::kNone ? path : source;
}

std::vector<std::string> PatchNames(const std::string& patchName) {
  std::vector<std::string> names;
  for (std::string::size_type at = 0; at <= patchName.size();) {
    std::string::size_type end = std::min(patchName.find(';', at), patchName.size());
    names.push_back(patchName.substr(at, end - at));
    at = end + 1;
  }
  return names;
}

void BuildSheet(const ServiceView& service, LineSheet& line) {
  LineBuffer buffer;
  std::size_t size = std::min(line.read.size(), sizeof buffer - 1);
  std::memcpy(buffer, line.read.data(), size);
  buffer[size] = '\0';
  LineBuffer lowered;
  std::memcpy(lowered, buffer, sizeof lowered);
  LowerLine(lowered);
  ReadGrammar(lowered, line);
  // The service's own step; the installer rule overwrites the buffer.
  PathBuffer commandLine;
  PathBuffer workingDirectory;
  Composition composition;
  line.hasDirectory = LowerAndCompose(buffer, commandLine, workingDirectory, &composition);
  line.commandLine = commandLine;
  line.directory = line.hasDirectory ? workingDirectory : "";
  line.nameEnd = composition.nameEnd;
  line.names = ModuleNames(line.commandLine);
  line.candidates.clear();
  line.candidates.reserve(line.names.size());
  for (const std::string& name : line.names) line.candidates.push_back(WithExeExtension(name));
  if (line.rule == CommandRule::kProgramWithPath && !line.quoted) {
    line.pathEnd = PathEnd(line.names, line.commandLine);
  }
  std::string::size_type marker = line.commandLine.find(kPatchMarker);
  if (IsInstaller(line) && marker != std::string::npos) {
    line.composedPatch = line.commandLine.substr(marker + kPatchMarkerLength);
  }
  line.nulAt = line.read.find('\0');
  if (service.fileKind != nullptr) LookOnTarget(service, line);
  line.startsNameEnd = StartsNameEnd(line);
}
