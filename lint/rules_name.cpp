// The rules about whether a line's program can start at all: each names one
// way its name is broken on every machine, and the first that applies is the
// line's reason.
#include <algorithm>

#include "lint/code_page_marks.h"
#include "lint/rules.h"
#include "text/string_helpers.h"

namespace {

// The file the service names first: the one CreateProcessA tries first.
std::string FirstName(const LineSheet& line) {
  return line.candidates.empty() ? line.commandLine : line.candidates[0];
}

void Comment(const RuleContext& c, Findings& findings) {
  Add(findings, Code::kCommentLine,
      "the service has no comments: it starts " + FirstName(c.line) +
          ", which fails harmlessly unless a program of that name exists; keep notes "
          "elsewhere");
}

// A line that names nothing, or a folder: the start fails everywhere.
void NoProgram(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  if (line.word.empty()) {
    Add(findings, Code::kNoProgram,
        line.quoted ? "the line begins with an empty pair of quotes, so it names no program"
                    : "the line begins with a space, so it names no program and its start fails");
  } else if (!Bare(line) && EndsWith(line.word, "\\")) {
    Add(findings, Code::kNoProgram,
        line.word + " ends in a backslash, so it names a folder, not a program");
  }
}

void TypographicQuote(const RuleContext& c, Findings& findings) {
  const std::string& lowered = c.line.lowered;
  const unsigned codePage = c.service.codePage;
  std::size_t length = OtherQuoteAt(lowered, 0, codePage);
  if (length == 0) return;
  std::string bytes;
  for (std::size_t i = 0; i < length; ++i) {
    bytes += (i ? " " : "") + Hex(static_cast<unsigned char>(lowered[i]));
  }
  Add(findings, Code::kTypographicQuote,
      std::string("the line begins with byte") + (length > 1 ? "s " : " ") + bytes + ", a " +
          (IsDoubleByteCodePage(codePage) ? "full-width" : "typographic") + " quote in code page " +
          std::to_string(codePage) +
          ", which Windows takes for a letter of the name, not for a quote: write a straight "
          "double quote (\")");
}

void QuotedSpace(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  if (line.lowered[0] != '"' || line.quoted) return;
  Add(findings, Code::kQuotedSpace,
      "the first word opens a double quote that is not closed before a space or the line's "
      "end, so the service takes the quote for part of the program, which ends at " +
          line.word);
}

void StrayQuote(const RuleContext& c, Findings& findings) {
  if (c.line.word.find('"') == std::string::npos) return;
  Add(findings, Code::kStrayQuote,
      "the program's name, " + c.line.word + ", holds a double quote, which no file name can");
}

void LeadByte(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  const unsigned codePage = c.service.codePage;
  // Every lead byte is 0x81 or above: a name of ASCII alone holds none.
  if (std::all_of(line.lowered.begin() + static_cast<std::ptrdiff_t>(line.wordAt),
                  line.lowered.begin() + static_cast<std::ptrdiff_t>(line.wordEnd),
                  [](char b) { return static_cast<unsigned char>(b) < 0x80; })) {
    return;
  }
  for (std::string::size_type i = line.wordAt; i < line.wordEnd;) {
    std::size_t length = CharacterLengthIn(line.lowered, i, codePage);
    if (length == 2 && line.lowered[i + 1] == ' ') {
      Add(findings, Code::kLeadByte,
          "the byte before the space at column " + Column(i + 1) +
              " begins a double-byte character in code page " + std::to_string(codePage) +
              ", which takes the space as its second byte, so the program's name does not end "
              "there");
      return;
    }
    i += length;
  }
}

// What stands at word[i] that only a space ends a name after: its name, or null.
const char* BlankAt(const LineSheet& line, std::size_t i, unsigned codePage) {
  const std::string& word = line.word;
  auto c = static_cast<unsigned char>(word[i]);
  if (c == '\v') return "a vertical tab";
  if (c == '\f') return "a form feed";
  if (c == '\t' && (Bare(line) || word.find('\\', i) != std::string::npos)) return "a TAB";
  // A name may hold a space of another kind, but not right after its extension.
  if (OtherSpaceAt(word, i, codePage) > 0 && HasProgramExtension(word.substr(0, i))) {
    return IsDoubleByteCodePage(codePage) || (codePage == 65001 && c != 0xC2) ? "a full-width space"
                                                                              : "a no-break space";
  }
  return nullptr;
}

void Blank(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  // Only a TAB, a vertical tab, a form feed or a byte of another code page's
  // space can be one: most names hold none.
  if (std::none_of(line.word.begin(), line.word.end(), [](char c) {
        return c == '\t' || c == '\v' || c == '\f' || static_cast<unsigned char>(c) >= 0x80;
      })) {
    return;
  }
  for (std::size_t i = 0; i < line.word.size();
       i += CharacterLengthIn(line.word, i, c.service.codePage)) {
    const char* what = BlankAt(line, i, c.service.codePage);
    if (what == nullptr) continue;
    // After a path Windows ends the name at a TAB, but a backslash after it
    // still goes into the working directory.
    bool inDirectory = line.word[i] == '\t' && !Bare(line);
    Add(findings, Code::kTab,
        std::string(what) + " at column " + Column(line.wordAt + i) +
            " is part of the program's name, which only a space ends" +
            (inDirectory ? ", and of the working directory" : "") + ": the service starts " +
            FirstName(line));
    return;
  }
}

void Variable(const RuleContext& c, Findings& findings) {
  const std::string& word = c.line.word;
  std::string::size_type percent = word.find('%');
  if (percent == std::string::npos || word.find('%', percent + 1) == std::string::npos) return;
  std::string variable = word.substr(percent, word.find('%', percent + 1) - percent + 1);
  Add(findings, Code::kVariable,
      "the service expands no environment variables: " + variable +
          " stays as it is, a folder's name that does not exist; write the full path");
}

void ForwardSlash(const RuleContext& c, Findings& findings) {
  const std::string& word = c.line.word;
  if (!Bare(c.line) || word.find('/') == std::string::npos ||
      !(NamesDrive(word) || word[0] == '/')) {
    return;
  }
  Add(findings, Code::kForwardSlash,
      "the program path has forward slashes and no backslash, so the service takes it for a "
      "name in its folder and starts " +
          FirstName(c.line) + ": write backslashes");
}

void BareDrive(const RuleContext& c, Findings& findings) {
  const std::string& word = c.line.word;
  if (!Bare(c.line) || !NamesDrive(word)) return;
  Add(findings, Code::kBareDrive,
      word +
          " has a drive but no backslash, so the service takes it for a name in its folder and "
          "starts " +
          FirstName(c.line) + ", which no file can be: write " + word.substr(0, 2) + "\\" +
          word.substr(2));
}

// A bare name that runs on past a space to its extension: the service ends
// it at the space.
void SpacedName(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  if (!Bare(line) || line.quoted || HasProgramExtension(line.word)) return;
  const std::string& lowered = line.lowered;
  for (std::string::size_type at = line.argumentsAt; at < lowered.size();) {
    at = lowered.find_first_not_of(' ', at);
    if (at == std::string::npos) return;
    std::string::size_type end = std::min(lowered.find(' ', at), lowered.size());
    std::string word = lowered.substr(at, end - at);
    if (word.find_first_of("\\/:=\"") != std::string::npos || word[0] == '-') return;
    if (HasProgramExtension(word)) {
      std::string name = lowered.substr(line.wordAt, end - line.wordAt);
      std::string message = "the program's name, " + name;
      message += ", holds a space, where the service ends a bare name: it starts ";
      message += FirstName(line) + " instead; quote it: \"" + name + "\"";
      Add(findings, Code::kSpacedName, message);
      return;
    }
    at = end;
  }
}

bool IsCmdBuiltin(const std::string& word) {
  // None is longer than "endlocal": a longer word is asked no further.
  return word.size() <= 8 &&
         OneOf(word,
               {"assoc", "break",  "call",     "cd",    "chdir",    "cls",    "color", "copy",
                "date",  "del",    "dir",      "echo",  "endlocal", "erase",  "exit",  "for",
                "ftype", "goto",   "if",       "md",    "mkdir",    "mklink", "move",  "path",
                "pause", "popd",   "prompt",   "pushd", "rd",       "rem",    "ren",   "rename",
                "rmdir", "set",    "setlocal", "shift", "start",    "time",   "title", "type",
                "ver",   "verify", "vol"});
}

void CmdBuiltin(const RuleContext& c, Findings& findings) {
  const std::string& word = c.line.word;
  if (!Bare(c.line) || !IsCmdBuiltin(word)) return;
  Add(findings, Code::kCmdBuiltin,
      word + " is a command of cmd.exe, not a program: the service looks for " + FirstName(c.line) +
          " instead; write " + c.service.systemDirectory + "\\cmd.exe /c " + word + " ...");
}

// What CreateProcessA cannot start: on the target, the file found, by its
// header, as Windows reads it; elsewhere the program the line names, by its
// name.
void NotStartable(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  if (line.candidates.empty()) return;
  const bool found = line.looked && !line.starts.empty();
  if (found && Starts(line.starts, line.startsKind, c.service.runsDos)) return;
  // For an unquoted path, the name where the path stops.
  const std::string& program =
      found ? line.starts : line.candidates[Bare(line) || line.quoted ? 0 : line.pathEnd];
  if (StartableByName(program) != Startable::kNever) {
    if (found) {
      const bool dos = !c.service.runsDos && line.startsKind == FileKind::kOtherFile &&
                       EndsWith(program, ".com");
      Add(findings, Code::kNotStartable,
          "on this machine " + program +
              (dos ? " is a DOS program, which 64-bit Windows cannot start"
                   : " is not a program: CreateProcessA starts only programs, and .bat and .cmd "
                     "files through cmd.exe"));
    }
    return;
  }
  std::string what = FileDescription(program);
  Add(findings, Code::kNotStartable,
      program + " is " + what +
          ", which CreateProcessA cannot start: it starts only programs, and .bat and .cmd "
          "files through cmd.exe" +
          (what == "a Windows Installer package"
               ? "; the service cannot install a package, since a line that names msiexec.exe "
                 "always applies a patch"
               : "; name the program that opens it, with its full path"));
}

}  // namespace

const Rule kCommentRules[] = {Comment, nullptr};
const Rule kNameRules[] = {NoProgram,  TypographicQuote, QuotedSpace,  StrayQuote, LeadByte,
                           Blank,      Variable,         ForwardSlash, BareDrive,  SpacedName,
                           CmdBuiltin, NotStartable,     nullptr};
