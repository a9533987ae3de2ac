// The rules about a program whose name can start: where its path leads, what
// else Windows may start in its place, and what only a shell would read.
#include <algorithm>
#include <cstring>

#include "lint/rules.h"
#include "text/string_helpers.h"

namespace {

// The program the line names: for an unquoted path, the name where the path stops.
const std::string& Program(const LineSheet& line) {
  return line.candidates[Bare(line) || line.quoted ? 0 : line.pathEnd];
}

// What the line starts on this machine, for a message; empty off the target.
std::string OnThisMachine(const LineSheet& line) {
  if (!line.looked || line.starts.empty()) return "";
  return "; on this machine the service starts " + line.starts;
}

bool IsSystemProgram(std::string word) {
  if (EndsWith(word, ".exe")) word.resize(word.size() - 4);
  // In order, for a binary search: every bare line asks.
  static const char* const kPrograms[] = {
      "attrib",   "bcdedit",  "bitsadmin",  "certutil", "cmd",      "control", "cscript",
      "curl",     "dism",     "expand",     "explorer", "find",     "findstr", "gpupdate",
      "icacls",   "ipconfig", "mmc",        "mshta",    "net",      "netsh",   "notepad",
      "ping",     "pnputil",  "powershell", "pwsh",     "reg",      "regedit", "regsvr32",
      "robocopy", "rundll32", "sc",         "schtasks", "shutdown", "takeown", "tar",
      "taskkill", "tasklist", "timeout",    "wevtutil", "whoami",   "wmic",    "wscript",
      "wusa",     "xcopy"};
  struct Less {
    bool operator()(const char* one, const std::string& other) const {
      return other.compare(one) > 0;
    }
    bool operator()(const std::string& one, const char* other) const {
      return one.compare(other) < 0;
    }
  };
  return std::binary_search(std::begin(kPrograms), std::end(kPrograms), word, Less());
}

// A bare name that is msiexec, without the ".exe" the installer rule looks for.
bool NamesMsiexec(const LineSheet& line) {
  return Bare(line) && line.word.compare(NameAt(line.word, "/"), std::string::npos, "msiexec") == 0;
}

void MsiexecWithoutExe(const RuleContext& c, Findings& findings) {
  if (!NamesMsiexec(c.line)) return;
  Add(findings, Code::kMsiexecWithoutExe,
      "the line names msiexec without \"msiexec.exe\", the text the installer rule looks for, "
      "so the service starts " +
          c.line.candidates[0] + " as a program of its own and no patch is applied");
}

void SystemProgram(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  if (!Bare(line) || NamesMsiexec(line)) return;
  if (!line.looked && IsSystemProgram(line.word)) {
    Add(findings, Code::kSystemProgram,
        line.word +
            " is a program of the system folder, but the service looks for it only in its own: " +
            line.candidates[0] + "; name it with its full path, such as " +
            c.service.systemDirectory + "\\" + WithExeExtension(line.word));
  }
}

// Where a relative program path leads from the service, and its working directory.
void RelativePath(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  const std::string& program = line.word;
  PathKind kind = KindOfPath(program);
  if (Bare(line) || kind == PathKind::kFull || kind == PathKind::kUnc) return;
  std::vector<Place> places = SearchOrder(WithExeExtension(program), c.service);
  std::string message = program + " is " + PathKindName(kind) + ": ";
  if (kind == PathKind::kRelative && places.size() == 1) {
    message += "it leads from " + places[0].what + ", to " + places[0].path +
               ", and is looked for nowhere else";
  } else if (kind == PathKind::kRelative) {
    message +=
        "Windows documents CreateProcessA's search order only for a name without a folder, and "
        "is silent on one with a folder; Wine searches it in that order, so this tool does too: ";
    for (std::size_t i = 0; i < places.size(); ++i) {
      message += (i ? ", " : "") + places[i].path + (i < 2 ? " (" + places[i].what + ")" : "");
    }
    if (!c.service.pathKnown) message += ", then the folders on the service's PATH";
  } else {
    message += "it leads from " + places[0].what + ", to " + places[0].path +
               ", not from the service's folder";
  }
  const std::string& directory = line.directory;
  if (!directory.empty() && KindOfPath(directory) != PathKind::kFull &&
      KindOfPath(directory) != PathKind::kUnc) {
    message += "; its working directory, " + directory + ", is " +
               Resolve(directory, c.service.systemDirectory) + ", which must exist";
  }
  if (!OnThisMachine(line).empty()) message += OnThisMachine(line) + ", in " + line.startsWhere;
  Add(findings, Code::kRelativePath, message);
}

void UnquotedSpaces(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  if (Bare(line) || line.quoted || line.pathEnd == 0) return;
  std::vector<std::string> first(
      line.candidates.begin(), line.candidates.begin() + static_cast<std::ptrdiff_t>(line.pathEnd));
  Add(findings, Code::kUnquotedSpaces,
      "the program path has spaces and no quotes: Windows tries " + Listed(first) +
          " first and starts a different program than " + Program(line) +
          " if one exists (CWE-428)" + OnThisMachine(line));
}

// The programs of the system folder that 64-bit Windows has a 32-bit copy of.
bool HasThirtyTwoBitCopy(const std::string& name) {
  return IsSystemProgram(name) && !OneOf(name, {"bcdedit.exe", "pnputil.exe"});
}

// A program of the system folder or below: on 64-bit Windows the 32-bit
// service reaches it in SysWOW64. Natively a program with only a 64-bit copy
// is a warning, and one with a 32-bit copy, and any below the folder, a note;
// on a 64-bit target, what starts there is a note.
void Wow64System32(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  const std::string& system = c.service.systemDirectory;
  const std::string& program = line.looked ? line.starts : Program(line);
  if (Bare(line) || !InSystemFolder(program, system) || (line.looked && !c.service.wow64)) return;
  const std::string windows = system.substr(0, system.rfind('\\'));
  const std::string rest = program.substr(system.size());
  const std::string copy = windows + "\\SysWOW64" + rest;
  const std::string native = windows + "\\Sysnative" + rest;
  const bool below = rest.find('\\', 1) != std::string::npos;
  if (!line.looked && !below && !HasThirtyTwoBitCopy(BaseName(program))) {
    Add(findings, Code::kWow64System32,
        "on 64-bit Windows the 32-bit service reaches " + program + " as " + copy +
            ", the 32-bit copy; a program with only a 64-bit copy is not found there: name it " +
            native + " for the 64-bit one");
    return;
  }
  Add(findings, Code::kRuns32BitCopy,
      (line.looked ? "on this machine" : "on 64-bit Windows") +
          std::string(" the service starts ") + copy + ", the 32-bit copy of " + program +
          ", which sees the 32-bit registry view (WOW6432Node) and the 32-bit System32; name it " +
          native + " for the 64-bit one");
}

// The operator a word of the arguments begins with, or empty.
std::string OperatorOf(const std::string& word) {
  for (const char* op : {"2>&1", "&&", "||", ">>", "2>", "1>", "&", "|", ">", "<"}) {
    if (word.compare(0, std::char_traits<char>::length(op), op) == 0) return op;
  }
  return "";
}

const char* const kShells[] = {"cmd.exe", "powershell.exe", "pwsh.exe"};

bool ReadsOperators(const LineSheet& line) {
  if (line.candidates.empty()) return false;
  const std::string& program = Program(line);
  const std::string::size_type at = NameAt(program);
  return std::any_of(std::begin(kShells), std::end(kShells), [&](const char* shell) {
    return program.compare(at, std::string::npos, shell) == 0;
  });
}

void ShellOperator(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  if (line.candidates.empty() || ReadsOperators(line)) return;
  const std::string& text = line.lowered;
  bool quoted = false;
  for (std::string::size_type at = line.argumentsAt; at < text.size(); ++at) {
    if (text[at] == '"') quoted = !quoted;
    if (quoted || (at > 0 && text[at - 1] != ' ') || std::strchr("&|<>12", text[at]) == nullptr ||
        text[at] == '\0') {
      continue;
    }
    std::string op = OperatorOf(text.substr(at, text.find(' ', at) - at));
    if (op.empty()) continue;
    Add(findings, Code::kShellOperator,
        "no shell runs the line, so " + op + " at column " + Column(at) +
            " reaches the program as an argument: nothing after it runs on its own, and no "
            "output is redirected; run the line through " +
            c.service.systemDirectory + "\\cmd.exe /c, or give each command a line of its own");
    return;
  }
}

}  // namespace

const Rule kPathRules[] = {MsiexecWithoutExe, SystemProgram, RelativePath, UnquotedSpaces, nullptr};
const Rule kBitnessRules[] = {Wow64System32, nullptr};
const Rule kShellRules[] = {ShellOperator, nullptr};
