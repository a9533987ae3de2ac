// The rules about a line's bytes, and about where its command is cut and the
// run ends: what the reader and the 259-character cut do to any line.
#include "lint/rules.h"

namespace {

void ByteOrderMark(const RuleContext& c, Findings& findings) {
  if (c.line.number == 1 && c.line.read.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    Add(findings, Code::kByteOrderMark,
        "the file begins with a byte-order mark, which the service reads as part of the first "
        "program name");
  }
}

// The NUL ends the line for composition: inside a name it cuts the name
// (see Cut), after one it drops the arguments.
std::string::size_type NulInName(const LineSheet& line) {
  std::string::size_type zero = line.nulAt;
  bool inName = zero != std::string::npos && !IsInstaller(line) && !line.quoted &&
                zero == line.wordEnd && zero + 1 < line.read.size() && line.read[zero + 1] != ' ';
  return inName ? zero : std::string::npos;
}

void NulByte(const RuleContext& c, Findings& findings) {
  std::string::size_type zero = c.line.nulAt;
  if (zero == std::string::npos || NulInName(c.line) != std::string::npos) return;
  Add(findings, Code::kNulByte,
      "a NUL byte at column " + Column(zero) + ": the service ignores the rest of the line");
}

// Where a CR that no LF follows stands in what the service reads of the
// line, or npos.
std::string::size_type LoneCrAt(const LineSheet& line) {
  std::string::size_type cr = line.read.find('\r');
  return cr < line.lowered.size() ? cr : std::string::npos;
}

// A CR inside the name the start needs, or with more text after it: the
// start fails, or the commands after it never start.
void LoneCr(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  std::string::size_type cr = LoneCrAt(line);
  if (cr == std::string::npos) return;
  const bool installer = IsInstaller(line);
  // Where the name that the start needs lies in the line: the program's, or the patch's.
  std::string::size_type nameAt = installer ? line.patchAt : line.wordAt;
  std::string::size_type nameEnd = installer ? line.patchAt + line.patchName.size() : line.wordEnd;
  if (cr >= nameAt && cr < nameEnd && (!installer || line.hasPatch)) {
    Add(findings, Code::kLoneCr,
        "a CR that no LF follows, at column " + Column(cr) + ", is part of " +
            (installer ? "the patch's name" : "the program's name") + ", which no file can have");
  } else if (line.read.find_first_not_of("\r ", cr) < line.lowered.size()) {
    Add(findings, Code::kLoneCr,
        "a CR that no LF follows, at column " + Column(cr) +
            ", has more text after it: with CR line ends the service reads one line and passes "
            "the rest to its program, and the commands after the CR never start");
  }
}

// A CR at the end of the arguments: LoneCr, an error, has ended the stage
// for any other.
void TrailingCr(const RuleContext& c, Findings& findings) {
  std::string::size_type cr = LoneCrAt(c.line);
  if (cr == std::string::npos) return;
  Add(findings, Code::kTrailingCr,
      "a CR that no LF follows stays in the line at column " + Column(cr) +
          ": the program gets it at the end of its last argument");
}

void EmptyLine(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  Add(findings, Code::kEmptyLine,
      std::string(line.finalRead         ? "the read after the last line end finds nothing"
                  : line.lowered.empty() ? "a blank line"
                                         : "a line of spaces only") +
          ": the service starts \"" + c.service.serviceDirectory +
          "\\\", which names no program, so the start always fails");
}

// Where the program's or the patch's name is cut short, by a NUL byte or at
// the most the service passes; a cut in the arguments only warns.
void ProgramCut(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  std::string::size_type zero = NulInName(line);
  if (zero != std::string::npos) {
    Add(findings, Code::kProgramCut,
        "a NUL byte at column " + Column(zero) + " cuts the program's name: the service takes " +
            line.word + " and ignores the rest of the line");
  } else if (line.commandLine.size() >= kPathSize - 1 && line.startsNameEnd > kPathSize - 1) {
    Add(findings, Code::kProgramCut,
        "the command line is cut at 259 characters, the most the service passes, inside the " +
            std::string(IsInstaller(line) ? "patch's" : "program's") +
            " name, so it names another file");
  }
}

// A cut in the arguments: ProgramCut, an error, has ended the stage for one in a name.
void CommandCut(const RuleContext& c, Findings& findings) {
  if (c.line.commandLine.size() < kPathSize - 1) return;
  Add(findings, Code::kCommandCut,
      "the command line reaches 259 characters, the most the service passes: anything longer "
      "was cut there, in the arguments");
}

// The service lowers the whole line: a note where that changes what the
// program gets, the arguments or an installer line's patch argument.
void Lowered(const RuleContext& c, Findings& findings) {
  const LineSheet& line = c.line;
  const bool installer = IsInstaller(line);
  if (installer && !line.hasPatch) return;
  std::string::size_type at = installer ? line.patchAt : line.argumentsAt;
  std::string::size_type size = line.lowered.size() - at;
  if (line.read.compare(at, size, line.lowered, at, size) == 0) return;
  Add(findings, Code::kLowered,
      installer ? "the service lowers the upper-case letters of the patch argument"
                : "the service lowers the upper-case letters of the arguments: most options do "
                  "not mind, but an argument whose case matters, such as an encoded command, a "
                  "password or a URL, reaches the program changed");
}

void LineTooLong(const RuleContext& c, Findings& findings) {
  if (!c.line.overlong) return;
  int never = c.line.linesNeverRead;
  Add(findings, Code::kLineTooLong,
      "the line is over 559 characters: the service starts its first 559 and stops reading" +
          (never > 0 ? ", so " + std::to_string(never) + " more line(s) are never started"
                     : std::string()));
}

void CtrlZ(const RuleContext& c, Findings& findings) {
  const ListFacts& list = c.list;
  if (!c.line.runEnds || c.line.overlong || !list.textAfterCtrlZ) return;
  Add(findings, Code::kCtrlZ,
      "a Ctrl-Z at byte " + std::to_string(list.ctrlZ + 1) + " ends the data: the " +
          std::to_string(list.size - list.ctrlZ - 1) +
          " byte(s) after it are never read, and no command among them ever starts");
}

}  // namespace

const Rule kBytesRules[] = {ByteOrderMark, ProgramCut, CommandCut, NulByte,
                            LoneCr,        TrailingCr, nullptr};
const Rule kBlankRules[] = {EmptyLine, nullptr};
const Rule kNoteRules[] = {Lowered, nullptr};
const Rule kRunEndRules[] = {LineTooLong, CtrlZ, nullptr};
