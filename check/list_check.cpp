#include "check/list_check.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "check/service_folder.h"
#include "check/text_helpers.h"
#include "launch/launch_list.h"
#include "platform/code_pages.h"
#include "platform/platform.h"
#include "platform/platform_dry_run.h"

namespace {

// Indexed by Code; the order is the one --help shows.
const FindingCode kFindingCodes[] = {
    {"utf-16", Level::kError, "the list is UTF-16, which the service reads as garbage"},
    {"byte-order-mark", Level::kError,
     "a byte-order mark, which becomes part of the first program"},
    {"msiexec-not-first", Level::kError,
     "the line mentions msiexec.exe, so the system's installer starts instead of its program"},
    {"no-patch-option", Level::kError,
     "an installer line without \" /p \": msiexec.exe is given the service folder as a patch"},
    {"absolute-patch", Level::kError,
     "an absolute patch path, which gets the service folder in front"},
    {"patch-name", Level::kError,
     "a patch name that is quoted, holds a space or begins with one: its path comes out broken"},
    {"no-program", Level::kError,
     "the line names no program: it begins with a space or empty quotes, or names a folder"},
    {"quoted-space", Level::kError,
     "a quote that no closing quote ends before a space or the line's end"},
    {"stray-quote", Level::kError, "a double quote inside an unquoted program name"},
    {"typographic-quote", Level::kError,
     "a typographic quote where a straight one is meant: Windows takes it for a letter"},
    {"forward-slash", Level::kError,
     "a program path with forward slashes only: it is taken for a name in the service folder"},
    {"bare-drive", Level::kError,
     "a drive with no backslash, such as C:x.exe: it is taken for a name in the service folder"},
    {"tab", Level::kError,
     "a TAB, vertical tab, form feed or no-break space in the program's name, which only a "
     "space ends"},
    {"lead-byte", Level::kError,
     "a double-byte lead byte right before the space, which it takes as its second byte"},
    {"variable", Level::kError,
     "an environment variable in the program's name, which the service never expands"},
    {"cmd-builtin", Level::kError,
     "a command of cmd.exe, such as del or start, named as a program"},
    {"not-startable", Level::kError,
     "a device, document, package, library or script that CreateProcessA cannot start"},
    {"lone-cr", Level::kError,
     "a CR in the program's name, or with text after it: CR line ends join lines"},
    {"program-cut", Level::kError,
     "the program's or the patch's name is cut, at 259 characters or by a NUL byte"},
    {"line-too-long", Level::kError, "over 559 characters: no later line is ever started"},
    {"ctrl-z", Level::kError, "a Ctrl-Z ends the data with text after it, which never starts"},
    {"missing-program", Level::kError,
     "on Windows: no name that CreateProcessA tries for the line is on this machine"},
    {"missing-directory", Level::kError,
     "on Windows: the working directory is not on this machine"},
    {"missing-patch", Level::kError, "on Windows: the patch file is not in the service's folder"},
    {"starts-other-program", Level::kError,
     "on Windows: another program than the line names is the one that starts here"},
    {"changeable-by-users", Level::kError,
     "on Windows: others than administrators can change a program or patch the service starts "
     "as SYSTEM, or a folder above it"},
    {"unquoted-image-path", Level::kError,
     "installed: the service's image path has a space before its program's name ends and no "
     "quotes, or names no program"},
    {"service-access", Level::kError,
     "installed: others than administrators can change the service's configuration or access"},
    {"registry-access", Level::kError,
     "installed: others than administrators can change the service's registry key"},
    {"folder-rule", Level::kError,
     "installed: the service's folder, what it holds or a folder above it fails the folder rule"},
    {"utf-8", Level::kWarning, "UTF-8 text, where the service reads the ANSI code page"},
    {"wrong-list", Level::kWarning, "the service reads a list of another name"},
    {"relative-path", Level::kWarning,
     "a program path that is neither full nor UNC: where it leads depends on the machine"},
    {"unquoted-spaces", Level::kWarning,
     "a program path with spaces and no quotes, where Windows may start another program"},
    {"system-program", Level::kWarning,
     "a system program named bare, which the service looks for in its own folder"},
    {"msiexec-without-exe", Level::kWarning,
     "msiexec named without \"msiexec.exe\", so the installer rule does not apply"},
    {"other-msiexec", Level::kWarning,
     "an installer named with a path: the system's msiexec.exe starts in its place"},
    {"dropped-options", Level::kWarning, "installer options before \" /p \", which are dropped"},
    {"command-cut", Level::kWarning, "the arguments reach 259 characters and may be cut"},
    {"trailing-cr", Level::kWarning, "a CR at the end of the arguments, kept in the command"},
    {"nul-byte", Level::kWarning, "a NUL byte in the arguments: the rest of the line is ignored"},
    {"empty-line", Level::kNote, "a blank line, or the empty read after the last line end"},
    {"lowered", Level::kNote, "upper-case letters in the arguments are lowered"},
    {"service-account", Level::kNote,
     "installed: the service runs as another account than "
     "LocalSystem"},
    {"no-list", Level::kNote, "installed: the service has no list, so it starts nothing"},
};
static_assert(sizeof kFindingCodes / sizeof kFindingCodes[0] == kCodeCount,
              "one row for every code");

void Add(LineReport& line, Code code, const std::string& message) {
  line.findings.push_back({code, message});
}

std::string Hex(unsigned char c) {
  const char* digits = "0123456789ABCDEF";
  return {digits[c >> 4], digits[c & 15]};
}

std::string Column(std::string::size_type at) {
  return std::to_string(at + 1);
}

// The single-byte Windows code pages, 874 and 1250 to 1258, which share the
// no-break space at A0 and the typographic quotes „ ‘ ’ “ ” at 84 and 91 to 94.
bool IsWindowsSingleByte(unsigned codePage) {
  return codePage == 874 || (codePage >= 1250 && codePage <= 1258);
}

bool IsNoBreakSpace(unsigned char c, unsigned codePage) {
  return c == 0xA0 && IsWindowsSingleByte(codePage);
}

bool IsTypographicQuote(unsigned char c, unsigned codePage) {
  return (c == 0x84 || (c >= 0x91 && c <= 0x94)) && IsWindowsSingleByte(codePage);
}

// A line as the service's grammar splits it, held as text: the composition
// that follows may overwrite the line itself.
struct Parts {
  std::string lowered;  // the lowered line, up to any NUL
  CommandRule rule;
  std::string word;  // the first word, without its quotes
  std::string::size_type wordAt;
  std::string::size_type wordEnd;
  bool quoted;
  std::string::size_type argumentsAt;  // the space after the word, or the end
  bool hasPatch;
  std::string patch;
  std::string::size_type patchAt;
};

Parts PartsOf(const char* lowered) {
  const LineGrammar grammar = ParseLine(lowered);
  Parts parts;
  parts.lowered = lowered;
  parts.rule = grammar.rule;
  parts.word.assign(grammar.word, grammar.wordEnd);
  parts.wordAt = grammar.word - lowered;
  parts.wordEnd = grammar.wordEnd - lowered;
  parts.quoted = grammar.quoted;
  parts.argumentsAt = grammar.arguments - lowered;
  parts.hasPatch = grammar.patch != nullptr;
  parts.patch = grammar.patch ? grammar.patch : "";
  parts.patchAt = grammar.patch ? grammar.patch - lowered : 0;
  return parts;
}

// The patch file as the installer is given it: the patch argument up to its
// first space or TAB, where the installer ends a name.
std::string PatchFileName(const std::string& patch) {
  return patch.substr(0, patch.find_first_of(" \t"));
}

void CheckRead(LineReport& line, const Parts& parts) {
  const std::string& read = line.read;
  if (line.number == 1 && read.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    Add(line, Code::kByteOrderMark,
        "the file begins with a byte-order mark, which the service reads as part of the first "
        "program name");
  }
  const bool installer = parts.rule == CommandRule::kInstallerPatch;
  // Where the name that the start needs lies in the line: the program's, or the patch's.
  std::string::size_type nameAt = installer ? parts.patchAt : parts.wordAt;
  std::string::size_type nameEnd =
      installer ? parts.patchAt + PatchFileName(parts.patch).size() : parts.wordEnd;
  const char* name = installer ? "the patch's name" : "the program's name";
  std::string::size_type zero = read.find('\0');
  if (zero != std::string::npos) {
    // The NUL ends the line for composition: inside a name it names another
    // file, after one it drops the arguments.
    bool inName = !installer && !parts.quoted && zero == parts.wordEnd && zero + 1 < read.size() &&
                  read[zero + 1] != ' ';
    if (inName) {
      Add(line, Code::kProgramCut,
          "a NUL byte at column " + Column(zero) + " cuts the program's name: the service takes " +
              parts.word + " and ignores the rest of the line");
    } else {
      Add(line, Code::kNulByte,
          "a NUL byte at column " + Column(zero) + ": the service ignores the rest of the line");
    }
  }
  std::string::size_type cr = read.find('\r');
  if (cr != std::string::npos && cr < parts.lowered.size()) {
    if (cr >= nameAt && cr < nameEnd && (!installer || parts.hasPatch)) {
      Add(line, Code::kLoneCr,
          "a CR that no LF follows, at column " + Column(cr) + ", is part of " + name +
              ", which no file can have");
    } else if (read.find_first_not_of("\r ", cr) < parts.lowered.size()) {
      Add(line, Code::kLoneCr,
          "a CR that no LF follows, at column " + Column(cr) +
              ", has more text after it: with CR line ends the service reads one line and passes "
              "the rest to its program, and the commands after the CR never start");
    } else {
      Add(line, Code::kTrailingCr,
          "a CR that no LF follows stays in the line at column " + Column(cr) +
              ": the program gets it at the end of its last argument");
    }
  }
}

void CheckPatchName(const ListCheck& check, LineReport& line, const Parts& parts,
                    const std::string& composedPatch) {
  const std::string& patch = parts.patch;
  const std::string& folder = check.service.serviceDirectory;
  bool spacedFolder = folder.find(' ') != std::string::npos;
  // In a folder with a space the service quotes the patch path up to the
  // argument's first space, and a TAB stays inside the quotes.
  std::string name = spacedFolder ? patch.substr(0, patch.find(' ')) : PatchFileName(patch);
  std::string::size_type msp = name.find(".msp");
  if (patch.empty()) {
    Add(line, Code::kPatchName,
        "nothing follows \" /p \", so msiexec.exe is given the service folder as the patch");
  } else if (patch[0] == ' ') {
    Add(line, Code::kPatchName,
        "the patch argument begins with a space, so msiexec.exe is given the folder, not the "
        "patch: /p " +
            composedPatch);
  } else if (patch[0] == '"') {
    Add(line, Code::kPatchName,
        "the patch name is quoted, but the service puts its folder in front of the quote: /p " +
            composedPatch);
  } else if (!EndsWith(name, ".msp") && patch.find(".msp", name.size()) != std::string::npos) {
    Add(line, Code::kPatchName,
        "the patch name holds a space, where the patch path ends: msiexec.exe is given " + folder +
            "\\" + name + " as the patch");
  } else if (msp != std::string::npos && msp + 4 < name.size() &&
             name[msp + 4] != '\r') {  // a CR there has a finding of its own
    Add(line, Code::kPatchName,
        "the patch name runs on past .msp, to " + name +
            (spacedFolder ? ": in a folder with a space the service quotes it up to the first "
                            "space, so only a space may follow the name"
                          : ": only a space or a TAB ends it"));
  } else if (KindOfPath(name) != PathKind::kRelative && KindOfPath(name) != PathKind::kDevice) {
    Add(line, Code::kAbsolutePatch,
        "the patch path is absolute, but the service puts its own folder in front of it: " +
            folder + "\\" + name);
  }
}

void CheckInstallerPatch(const ListCheck& check, LineReport& line, const Parts& parts) {
  const std::string installer = check.service.systemDirectory + "\\" + kInstallerName;
  const std::string& word = parts.word;
  bool installerFirst =
      word == kInstallerName || EndsWith(word, std::string("\\") + kInstallerName);
  if (!installerFirst) {
    Add(line, Code::kMsiexecNotFirst,
        "the line mentions \"msiexec.exe\", so the service starts the system's msiexec.exe "
        "instead; its first word, " +
            word + ", is not started");
  } else if (word != kInstallerName && !SameName(word, installer)) {
    Add(line, Code::kOtherMsiexec,
        "the line names " + word + ", but the service starts the system's " + installer +
            " in its place");
  }
  if (!parts.hasPatch) {
    Add(line, Code::kNoPatchOption,
        "an installer line without \" /p \": the service starts msiexec.exe with /p and its own "
        "folder, which is no patch, so nothing is ever installed; the service only applies "
        "patches");
    return;
  }
  std::string::size_type markerAt = parts.patchAt - kPatchMarkerLength;
  if (installerFirst && markerAt > parts.argumentsAt) {
    std::string dropped = line.read.substr(parts.argumentsAt, markerAt - parts.argumentsAt);
    dropped.erase(0, dropped.find_first_not_of(' '));
    if (!dropped.empty()) {
      Add(line, Code::kDroppedOptions,
          "the service passes only what follows \" /p \", so " + dropped +
              " never reaches msiexec.exe: move it after the patch name");
    }
  }
  std::string::size_type composedAt = line.commandLine.find(kPatchMarker);
  CheckPatchName(check, line, parts,
                 composedAt == std::string::npos
                     ? ""
                     : line.commandLine.substr(composedAt + kPatchMarkerLength));
  if (line.read.compare(parts.patchAt, parts.patch.size(), parts.patch) != 0) {
    Add(line, Code::kLowered, "the service lowers the upper-case letters of the patch argument");
  }
}

// Of the names CreateProcessA tries for an unquoted command line, the one the
// line's author means: the first that ends in a program's extension, else the
// first after which the path stops, the next word holding no backslash.
std::size_t MeantCandidate(const std::string& commandLine) {
  std::vector<std::string> names = ModuleNames(commandLine);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (HasProgramExtension(names[i])) return i;
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string::size_type next = commandLine.find_first_not_of(" \t", names[i].size());
    std::string::size_type nextEnd = commandLine.find_first_of(" \t", next);
    if (next == std::string::npos ||
        commandLine.substr(next, nextEnd - next).find('\\') == std::string::npos) {
      return i;
    }
  }
  return names.size() - 1;
}

// Where a relative program path leads, for relative-path's message.
std::string RelativePathMessage(const ListCheck& check, const std::string& program,
                                const std::string& directory) {
  std::string candidate = WithExeExtension(program);
  std::vector<Place> places = SearchOrder(candidate, check.service);
  std::string message = program + " is " + PathKindName(KindOfPath(program)) + ": ";
  if (KindOfPath(program) == PathKind::kRelative) {
    message +=
        "Windows documents CreateProcessA's search order only for a name without a folder, "
        "and is silent on one with a folder; Wine searches it in that order, so this tool "
        "does too: ";
    for (std::size_t i = 0; i < places.size(); ++i) {
      message += (i ? ", " : "") + places[i].path + (i < 2 ? " (" + places[i].what + ")" : "");
    }
    if (!check.service.pathKnown) message += ", then the folders on the service's PATH";
  } else {
    message += "it leads from " + places[0].what + ", to " + places[0].path +
               ", not from the service's folder";
  }
  if (!directory.empty() && KindOfPath(directory) != PathKind::kFull &&
      KindOfPath(directory) != PathKind::kUnc) {
    message += "; its working directory, " + directory + ", is " +
               Resolve(directory, check.service.systemDirectory) + ", which must exist";
  }
  return message;
}

bool IsCmdBuiltin(const std::string& word) {
  return OneOf(
      word,
      {"assoc", "break", "call",  "cd",       "chdir",  "cls",    "color", "copy",     "date",
       "del",   "dir",   "echo",  "endlocal", "erase",  "exit",   "for",   "ftype",    "goto",
       "if",    "md",    "mkdir", "mklink",   "move",   "path",   "pause", "popd",     "prompt",
       "pushd", "rd",    "rem",   "ren",      "rename", "rmdir",  "set",   "setlocal", "shift",
       "start", "time",  "title", "type",     "ver",    "verify", "vol"});
}

bool IsSystemProgram(std::string word) {
  if (EndsWith(word, ".exe")) word.resize(word.size() - 4);
  return OneOf(
      word, {"cmd",      "powershell", "pwsh",     "notepad",  "reg",      "regedit",  "regsvr32",
             "rundll32", "sc",         "net",      "netsh",    "ping",     "robocopy", "xcopy",
             "icacls",   "takeown",    "schtasks", "taskkill", "tasklist", "shutdown", "wscript",
             "cscript",  "mshta",      "wevtutil", "bcdedit",  "certutil", "dism",     "pnputil",
             "wusa",     "expand",     "mmc",      "explorer", "control",  "attrib",   "findstr",
             "find",     "timeout",    "whoami",   "ipconfig", "gpupdate", "wmic",     "bitsadmin",
             "curl",     "tar"});
}

// Findings about the program's name that mean its start can never work.
// Returns whether one was found: the path's other findings would only repeat it.
bool CheckProgramName(const ListCheck& check, LineReport& line, const Parts& parts,
                      bool finalRead) {
  const std::string& word = parts.word;
  const std::string& lowered = parts.lowered;
  const std::string& folder = check.service.serviceDirectory;
  const unsigned codePage = check.options->codePage;
  const bool bare = parts.rule == CommandRule::kBareProgram;
  const std::string started = bare ? folder + "\\" + word : word;
  if (lowered.empty()) {
    Add(line, Code::kEmptyLine,
        std::string(finalRead ? "the read after the last line end finds nothing" : "a blank line") +
            ": the service starts \"" + folder +
            "\\\", which names no program, so the start always fails");
    return true;
  }
  if (word.empty()) {
    Add(line, Code::kNoProgram,
        parts.quoted ? "the line begins with an empty pair of quotes, so it names no program"
                     : "the line begins with a space, so it names no program and its start fails");
    return true;
  }
  if (IsTypographicQuote(static_cast<unsigned char>(lowered[0]), codePage)) {
    Add(line, Code::kTypographicQuote,
        "the line begins with byte " + Hex(static_cast<unsigned char>(lowered[0])) +
            ", a typographic quote in code page " + std::to_string(codePage) +
            ", which Windows takes for a letter of the name, not for a quote: write a straight "
            "double quote (\")");
    return true;
  }
  if (lowered[0] == '"' && !parts.quoted) {
    Add(line, Code::kQuotedSpace,
        "the first word opens a double quote that is not closed before a space or the line's "
        "end, so the service takes the quote for part of the program, which ends at " +
            word);
    return true;
  }
  if (word.find('"') != std::string::npos) {
    Add(line, Code::kStrayQuote,
        "the program's name, " + word + ", holds a double quote, which no file name can");
    return true;
  }
  for (std::string::size_type i = parts.wordAt; i < parts.wordEnd;) {
    std::size_t length = CharacterLength(&lowered[i]);
    if (length == 2 && lowered[i + 1] == ' ') {
      Add(line, Code::kLeadByte,
          "the byte before the space at column " + Column(i + 1) +
              " begins a double-byte character in code page " + std::to_string(codePage) +
              ", which takes the space as its second byte, so the program's name does not end "
              "there");
      return true;
    }
    i += length;
  }
  for (std::string::size_type i = 0; i < word.size(); ++i) {
    auto c = static_cast<unsigned char>(word[i]);
    bool blank = c == '\v' || c == '\f' || (c == '\t' && bare) ||
                 (IsNoBreakSpace(c, codePage) && HasProgramExtension(word.substr(0, i)));
    // After a path Windows ends the name at a TAB, but a backslash after it
    // still goes into the working directory.
    bool tabInDirectory = c == '\t' && !bare && word.find('\\', i) != std::string::npos;
    if (blank || tabInDirectory) {
      const char* what = c == '\t'   ? "a TAB"
                         : c == '\v' ? "a vertical tab"
                         : c == '\f' ? "a form feed"
                                     : "a no-break space";
      Add(line, Code::kTab,
          std::string(what) + " at column " + Column(parts.wordAt + i) +
              " is part of the program's name, which only a space ends" +
              (tabInDirectory ? ", and of the working directory" : "") + ": the service starts " +
              ModuleCandidates(line.commandLine)[0]);
      return true;
    }
  }
  std::string::size_type percent = word.find('%');
  if (percent != std::string::npos && word.find('%', percent + 1) != std::string::npos) {
    std::string variable = word.substr(percent, word.find('%', percent + 1) - percent + 1);
    Add(line, Code::kVariable,
        "the service expands no environment variables: " + variable +
            " stays as it is, a folder's name that does not exist; write the full path");
    return true;
  }
  if (bare && word.find('/') != std::string::npos && (NamesDrive(word) || word[0] == '/')) {
    Add(line, Code::kForwardSlash,
        "the program path has forward slashes and no backslash, so the service takes it for a "
        "name in its folder and starts " +
            ModuleCandidates(line.commandLine)[0] + ": write backslashes");
    return true;
  }
  if (bare && NamesDrive(word)) {
    Add(line, Code::kBareDrive,
        word +
            " has a drive but no backslash, so the service takes it for a name in its folder "
            "and starts " +
            ModuleCandidates(line.commandLine)[0] + ", which no file can be: write " +
            word.substr(0, 2) + "\\" + word.substr(2));
    return true;
  }
  if (bare && IsCmdBuiltin(word)) {
    Add(line, Code::kCmdBuiltin,
        word + " is a command of cmd.exe, not a program: the service looks for " +
            WithExeExtension(started) + " instead; write " + check.service.systemDirectory +
            "\\cmd.exe /c " + word + " ...");
    return true;
  }
  if (!bare && EndsWith(word, "\\")) {
    Add(line, Code::kNoProgram, word + " ends in a backslash, so it names a folder, not a program");
    return true;
  }
  // The program Windows is meant to find: for an unquoted path with spaces,
  // the name the author means.
  std::string program = WithExeExtension(started);
  if (!bare && !parts.quoted) program = ModuleCandidates(lowered)[MeantCandidate(lowered)];
  if (StartableByName(program) == Startable::kNever) {
    std::string what = FileDescription(program);
    Add(line, Code::kNotStartable,
        program + " is " + what +
            ", which CreateProcessA cannot start: it starts only programs, and .bat and .cmd "
            "files through cmd.exe" +
            (what == "a Windows Installer package"
                 ? "; the service cannot install a package, since a line that names "
                   "msiexec.exe always applies a patch"
                 : "; name the program that opens it, with its full path"));
    return true;
  }
  return false;
}

// Findings about a program whose name can work: where it leads, and what
// Windows may start instead.
void CheckProgramPath(const ListCheck& check, LineReport& line, const Parts& parts) {
  const std::string& word = parts.word;
  const bool bare = parts.rule == CommandRule::kBareProgram;
  if (bare) {
    std::string::size_type nameAt = word.find_last_of('/');
    if (word.compare(nameAt == std::string::npos ? 0 : nameAt + 1, std::string::npos, "msiexec") ==
        0) {
      Add(line, Code::kMsiexecWithoutExe,
          "the line names msiexec without \"msiexec.exe\", the text the installer rule looks for, "
          "so the service starts " +
              ModuleCandidates(line.commandLine)[0] +
              " as a program of its own and no patch is applied");
    } else if (check.options->fileKind == nullptr && IsSystemProgram(word)) {
      Add(line, Code::kSystemProgram,
          word +
              " is a program of the system folder, but the service looks for it only in its "
              "own: " +
              ModuleCandidates(line.commandLine)[0] + "; name it with its full path, such as " +
              check.service.systemDirectory + "\\" + WithExeExtension(word));
    }
    return;
  }
  PathKind kind = KindOfPath(word);
  if (kind != PathKind::kFull && kind != PathKind::kUnc) {
    Add(line, Code::kRelativePath, RelativePathMessage(check, word, line.directory));
  }
  if (!parts.quoted) {
    std::vector<std::string> names = ModuleCandidates(line.commandLine);
    std::size_t meant = MeantCandidate(line.commandLine);
    if (meant > 0) {
      std::vector<std::string> first(names);
      first.resize(meant);
      Add(line, Code::kUnquotedSpaces,
          "the program path has spaces and no quotes: Windows tries " + Listed(first) +
              " first and starts a different program than " + names[meant] +
              " if one exists (CWE-428)");
    }
  }
}

void CheckCut(const ListCheck& check, LineReport& line, const Parts& parts) {
  if (line.commandLine.size() < kPathSize - 1) return;
  // Where the program's name, or the patch's, ends in the composed command.
  std::string::size_type nameEnd;
  const std::string& folder = check.service.serviceDirectory;
  if (parts.rule == CommandRule::kInstallerPatch) {
    std::string::size_type at = line.commandLine.find(kPatchMarker);
    bool quotedPatch = line.commandLine.compare(at + kPatchMarkerLength, 1, "\"") == 0;
    nameEnd = at + kPatchMarkerLength + folder.size() + 1 + PatchFileName(parts.patch).size() +
              (quotedPatch ? 2 : 0);
  } else if (parts.rule == CommandRule::kBareProgram) {
    nameEnd = folder.size() + parts.word.size() + 3;  // two quotes and a backslash
  } else if (parts.quoted) {
    nameEnd = parts.wordEnd + 1;
  } else {
    nameEnd = ModuleNames(parts.lowered)[MeantCandidate(parts.lowered)].size();
  }
  if (nameEnd > kPathSize - 1) {
    Add(line, Code::kProgramCut,
        "the command line is cut at 259 characters, the most the service passes, inside the " +
            std::string(parts.rule == CommandRule::kInstallerPatch ? "patch's" : "program's") +
            " name, so it names another file");
  } else {
    Add(line, Code::kCommandCut,
        "the command line reaches 259 characters, the most the service passes: anything longer "
        "was cut there, in the arguments");
  }
}

// Where a file the service looks for comes from: what is to be copied into
// its folder is looked for where it is copied from first.
std::string Source(const ListCheck& check, const std::string& path) {
  const std::string& from = check.options->filesFrom;
  const std::string& folder = check.service.serviceDirectory;
  if (from.empty() || path.size() <= folder.size() ||
      !SameName(path.substr(0, folder.size() + 1), folder + "\\") ||
      path.find('\\', folder.size() + 1) != std::string::npos) {
    return path;
  }
  std::string source = from + path.substr(folder.size());
  return check.options->fileKind(source) == FileKind::kNone ? path : source;
}

// Whoever can change what the service starts, or a folder above it, can run
// anything as SYSTEM.
void CheckChangeable(const ListCheck& check, LineReport& line, const std::string& path,
                     const char* what) {
  if (check.options->changeable == nullptr) return;
  std::string why = check.options->changeable(Source(check, path));
  if (!why.empty()) {
    Add(line, Code::kChangeableByUsers,
        "on this machine " + std::string(what) + ", " + path + ", runs as SYSTEM, and " + why +
            ": make it and the folders above it writable by administrators only");
  }
}

// What the line needs on the target machine, looked for where the tool runs.
void CheckTargetFiles(const ListCheck& check, LineReport& line, const Parts& parts) {
  FileKind (*kindOf)(const std::string&) = check.options->fileKind;
  const ServiceView& service = check.service;
  if (parts.rule != CommandRule::kInstallerPatch) {
    std::vector<std::string> names = ModuleCandidates(line.commandLine);
    std::vector<std::string> tried;
    std::string found;
    FileKind foundKind = FileKind::kNone;
    std::size_t foundAt = 0;
    std::string foundWhere;
    for (std::size_t i = 0; i < names.size() && found.empty(); ++i) {
      for (const Place& place : SearchOrder(names[i], service)) {
        tried.push_back(place.path);
        FileKind kind = kindOf(Source(check, place.path));
        // A folder is passed over, as CreateProcessA does.
        if (kind == FileKind::kImage || kind == FileKind::kOtherFile) {
          found = place.path;
          foundKind = kind;
          foundAt = i;
          foundWhere = place.what;
          break;
        }
      }
    }
    if (found.empty()) {
      Add(line, Code::kMissingProgram,
          (tried.size() == 1 ? "there is no program " + tried[0]
                             : "none of the names Windows tries is there: " + Listed(tried)) +
              " on this machine" +
              (KindOfPath(names[0]) == PathKind::kRelative && !service.pathKnown
                   ? ", nor, as far as it can see, on the service's PATH"
                   : ""));
    } else {
      // What the name alone rules out has been reported already.
      if (!Starts(found, foundKind) && StartableByName(found) != Startable::kNever) {
        Add(line, Code::kNotStartable,
            "on this machine " + found +
                " is not a program: CreateProcessA starts only programs, and .bat and .cmd "
                "files through cmd.exe");
      }
      std::size_t meant = parts.quoted || parts.rule == CommandRule::kBareProgram
                              ? 0
                              : MeantCandidate(line.commandLine);
      if (foundAt < meant) {
        Add(line, Code::kStartsOtherProgram,
            "on this machine the service starts " + found + ", not " + names[meant] +
                ", which the line names (CWE-428)");
      }
      CheckChangeable(check, line, found, "the program");
      for (Finding& finding : line.findings) {
        if (finding.code == Code::kUnquotedSpaces && foundAt >= meant) {
          finding.message += "; on this machine the service starts " + found;
        } else if (finding.code == Code::kRelativePath) {
          finding.message += "; on this machine the service starts " + found;
          finding.message += ", in " + foundWhere;
        }
      }
    }
    if (line.hasDirectory && !line.directory.empty()) {
      std::string directory = Resolve(line.directory, service.systemDirectory);
      // The installation that copies files in makes the service's folder.
      bool made =
          !check.options->filesFrom.empty() && SameName(directory, service.serviceDirectory);
      if (!made && kindOf(directory) != FileKind::kFolder) {
        Add(line, Code::kMissingDirectory, "there is no folder " + directory + " on this machine");
      }
    }
    return;
  }
  bool patchNamed = std::none_of(line.findings.begin(), line.findings.end(), [](const Finding& f) {
    return f.code == Code::kPatchName || f.code == Code::kNoPatchOption;
  });
  if (patchNamed) {
    std::string path = service.serviceDirectory + "\\" + PatchFileName(parts.patch);
    FileKind kind = kindOf(Source(check, path));
    if (kind == FileKind::kNone || kind == FileKind::kFolder) {
      Add(line, Code::kMissingPatch,
          "there is no patch file " + path + " on this machine" +
              (check.options->filesFrom.empty()
                   ? ""
                   : ", nor one to copy there from " + check.options->filesFrom));
    } else {
      CheckChangeable(check, line, path, "the patch");
    }
  }
}

// Whole lines left after the service stops at an overlong one. Reads on
// past the failure with the same reader, never starting anything.
int CountLinesNeverRead(ListReader& reader) {
  LineBuffer scratch;
  bool inOverlongLine = true;
  int count = 0;
  for (;;) {
    reader.fail = false;
    ReadLine(reader, scratch, sizeof scratch);
    bool cutShort = reader.fail && !reader.eof;
    if (!inOverlongLine && !(reader.fail && reader.eof)) ++count;
    inOverlongLine = cutShort;
    if (reader.eof || reader.bad) return count;
  }
}

// What ends the run, on the line where it ends.
void CheckEnd(ListCheck& check, LineReport& line) {
  ListReader& input = check.input;
  const std::string& bytes = check.options->bytes;
  if (input.fail && !input.eof) {
    check.report->linesNeverRead = CountLinesNeverRead(input);
    int never = check.report->linesNeverRead;
    Add(line, Code::kLineTooLong,
        "the line is over 559 characters: the service starts its first 559 and stops reading" +
            (never > 0 ? ", so " + std::to_string(never) + " more line(s) are never started"
                       : std::string()));
    return;
  }
  std::string::size_type ctrlZ = bytes.find('\x1A');
  if (ReaderGood(input) || ctrlZ == std::string::npos) return;
  // Padding after it, as old editors left, is harmless; text is not.
  std::string::size_type text = bytes.find_first_not_of("\x1A\r\n \t", ctrlZ);
  if (text != std::string::npos) {
    Add(line, Code::kCtrlZ,
        "a Ctrl-Z at byte " + std::to_string(ctrlZ + 1) + " ends the data: the " +
            std::to_string(bytes.size() - ctrlZ - 1) +
            " byte(s) after it are never read, and no command among them ever starts");
  }
}

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

void CheckWholeList(const CheckOptions& options, ListReport& report) {
  if (LooksLikeUtf16(options.bytes)) {
    report.findings.push_back({Code::kUtf16,
                               "the list is UTF-16; the service reads bytes in the ANSI code "
                               "page, so every line is garbage to it: save the list in the ANSI "
                               "code page"});
    return;
  }
  int utf8Line = options.codePage == 65001 ? 0 : FirstUtf8Line(options.bytes);
  if (utf8Line > 0) {
    report.findings.push_back(
        {Code::kUtf8, "the list is UTF-8 (first at line " + std::to_string(utf8Line) +
                          "), but the service reads code page " + std::to_string(options.codePage) +
                          ": save it in that code page"});
  }
#ifdef _WIN32
  const char* separators = "\\/";
#else
  const char* separators = "/";
#endif
  std::string name = BaseName(options.list, separators);
  std::string expected = BaseName(report.serviceListPath, "\\");
  if (options.list != "-" && !SameName(name, expected)) {
    report.findings.push_back({Code::kWrongList, "the service " + options.executablePath +
                                                     " reads " + expected + ", not " + name});
  }
}

// Leaves out what a pipeline has judged, and counts the rest: the one place
// where either happens.
void Settle(const CheckOptions& options, std::vector<Finding>& findings, ListReport& report) {
  findings.erase(
      std::remove_if(findings.begin(), findings.end(),
                     [&](const Finding& f) { return options.ignored[static_cast<int>(f.code)]; }),
      findings.end());
  for (const Finding& finding : findings)
    ++report.counts[static_cast<int>(Describe(finding.code).level)];
}

}  // namespace

const FindingCode& Describe(Code code) {
  return kFindingCodes[static_cast<int>(code)];
}

bool CodeNamed(const std::string& name, Code& code) {
  for (int i = 0; i < kCodeCount; ++i) {
    if (name == kFindingCodes[i].name) {
      code = static_cast<Code>(i);
      return true;
    }
  }
  return false;
}

const char* LevelName(Level level) {
  switch (level) {
    case Level::kError:
      return "error";
    case Level::kWarning:
      return "warning";
    case Level::kNote:
      break;
  }
  return "note";
}

bool IsDoubleByteCodePage(unsigned codePage) {
  return BuiltInLeadByteRanges(codePage)[0] != 0;
}

std::string ExecutableNameFor(const std::string& listName) {
  if (listName.size() >= 4 && SameName(listName.substr(listName.size() - 4), ".dat")) {
    return listName.substr(0, listName.size() - 4) + ".exe";
  }
  return listName + ".exe";
}

const char* RuleName(CommandRule rule) {
  switch (rule) {
    case CommandRule::kInstallerPatch:
      return "installer patch";
    case CommandRule::kProgramWithPath:
      return "program with path";
    case CommandRule::kBareProgram:
      break;
  }
  return "bare program";
}

std::vector<std::string> FilesNamedWithoutPath(const std::string& bytes,
                                               const std::string& executablePath,
                                               unsigned codePage) {
  DryRunPlatform& platform = ResetDryRun(codePage);
  platform.executablePath = executablePath;
  platform.listBytes = &bytes;
  std::vector<std::string> names;
  ListReader reader;
  OpenList(reader, "list");
  while (ReaderGood(reader)) {
    LineBuffer line;
    ReadLine(reader, line, sizeof line);
    LowerLine(line);
    const LineGrammar grammar = ParseLine(line);
    std::string name;
    if (grammar.rule == CommandRule::kInstallerPatch && grammar.patch != nullptr) {
      name = PatchFileName(grammar.patch);
    } else if (grammar.rule == CommandRule::kBareProgram) {
      name = WithExeExtension(std::string(grammar.word, grammar.wordEnd));
    }
    bool plain = !name.empty() && name.find_first_of("\\/:\"*?<>| \t") == std::string::npos &&
                 KindOfPath(name) == PathKind::kRelative && name != "." && name != "..";
    if (plain && !IsInstalledName(name) &&
        std::none_of(names.begin(), names.end(),
                     [&](const std::string& one) { return SameName(one, name); })) {
      names.push_back(name);
    }
  }
  platform.listBytes = nullptr;
  return names;
}

std::string FolderOf(const std::string& path, unsigned codePage) {
  ResetDryRun(codePage).executablePath = path;
  PathBuffer buffer;
  GetServiceDirectory(buffer);
  return buffer;
}

void ServicePaths(const std::string& executablePath, unsigned codePage, std::string& folder,
                  std::string& list) {
  ResetDryRun(codePage).executablePath = executablePath;
  PathBuffer buffer;
  GetServiceDirectory(buffer);
  folder = buffer;
  GetListPath(buffer);
  list = buffer;
}

void BeginListCheck(const CheckOptions& options, ListReport& report, ListCheck& check) {
  DryRunPlatform& platform = ResetDryRun(options.codePage);
  platform.executablePath = options.executablePath;
  platform.systemDirectory = options.systemDirectory;
  platform.listBytes = &options.bytes;
  check.options = &options;
  check.report = &report;
  report = ListReport();
  PathBuffer buffer;
  GetListPath(buffer);
  report.serviceListPath = buffer;
  GetServiceDirectory(buffer);
  check.service.serviceDirectory = buffer;
  check.service.systemDirectory = options.systemDirectory;
  check.service.pathKnown = options.pathKnown;
  check.service.pathFolders = options.pathFolders;
  report.findings = options.installation;
  CheckWholeList(options, report);
  Settle(options, report.findings, report);
  check.judgeLines = !LooksLikeUtf16(options.bytes);
  OpenList(check.input, options.list.c_str());
}

bool CheckNextLine(ListCheck& check, LineReport& line) {
  if (!ReaderGood(check.input)) return false;
  line.number = ++check.report->lineCount;
  line.findings.clear();
  LineBuffer buffer;
  std::size_t stored = ReadLine(check.input, buffer, sizeof buffer);
  line.read.assign(buffer, stored);
  // The service's own steps, with the line looked at before it would start.
  LowerLine(buffer);
  const Parts parts = PartsOf(buffer);
  PathBuffer commandLine;
  PathBuffer workingDirectory;
  line.hasDirectory = ComposeCommand(buffer, commandLine, workingDirectory, &line.rule);
  line.commandLine = commandLine;
  line.directory = line.hasDirectory ? workingDirectory : "";

  CheckRead(line, parts);
  bool finalRead = check.input.eof && check.input.fail;
  bool neverWorks = false;
  if (line.rule == CommandRule::kInstallerPatch) {
    CheckInstallerPatch(check, line, parts);
  } else if (CheckProgramName(check, line, parts, finalRead)) {
    neverWorks = true;  // what else it could say would only repeat that
  } else {
    CheckProgramPath(check, line, parts);
    std::string::size_type tail = parts.lowered.size() - parts.argumentsAt;
    if (line.read.compare(parts.argumentsAt, tail, parts.lowered, parts.argumentsAt, tail) != 0) {
      Add(line, Code::kLowered,
          "the service lowers the upper-case letters of the arguments: most options do not mind, "
          "but an argument whose case matters, such as an encoded command, a password or a URL, "
          "reaches the program changed");
    }
  }
  if (!neverWorks && check.options->fileKind != nullptr) CheckTargetFiles(check, line, parts);
  CheckCut(check, line, parts);
  CheckEnd(check, line);
  if (!check.judgeLines) line.findings.clear();
  Settle(*check.options, line.findings, *check.report);
  return true;
}

void EndListCheck(ListCheck& check) {
  DryRun().listBytes = nullptr;
  check.options = nullptr;
}
