#include "launch/compose_command.h"

#include <cstring>

#include "platform/platform.h"

void GetServiceDirectory(PathBuffer& directory) {
  GetExecutablePath(directory, sizeof directory);
  if (char* backslash = FindLastChar(directory, '\\')) *backslash = '\0';
}

namespace {

// The length of the patch's file name: up to its first space or TAB, where
// the installer ends it.
std::size_t PatchNameLength(const char* patch) {
  std::size_t length = 0;
  while (patch[length] != '\0' && patch[length] != ' ' && patch[length] != '\t') ++length;
  return length;
}

// Returns where the patch's name ends in the command line.
std::size_t ComposeInstallerPatch(LineBuffer& line, const char* patchArgument,
                                  PathBuffer& commandLine) {
  PathBuffer patch;
  PathBuffer serviceDirectory;
  PathBuffer installer;
  BoundedCopy(patch, patchArgument ? patchArgument : "", sizeof patch);
  GetServiceDirectory(serviceDirectory);
  GetSystemDirectoryPath(installer, sizeof installer);
  BoundedAppend(installer, "\\", sizeof installer);
  BoundedAppend(installer, kInstallerName, sizeof installer);
  BoundedCopy(line, installer, sizeof line);
  // In a folder with a space the installer would take the patch path apart,
  // so the path is quoted; the patch argument's own options follow it.
  if (FindChar(serviceDirectory, ' ') && patch[0] != '\0' && patch[0] != ' ' && patch[0] != '"') {
    char* space = FindChar(patch, ' ');
    if (space) *space = '\0';
    BoundedFormat(commandLine, sizeof commandLine, "\"%s\"%s\"%s\\%s\"", installer, kPatchMarker,
                  serviceDirectory, patch);
    std::size_t nameEnd = std::strlen(installer) + 2 + kPatchMarkerLength +
                          std::strlen(serviceDirectory) + std::strlen(patch) + 3;
    if (space) {
      *space = ' ';
      BoundedAppend(commandLine, space, sizeof commandLine);
    }
    return nameEnd;
  }
  BoundedFormat(commandLine, sizeof commandLine, "\"%s\"%s%s\\%s", installer, kPatchMarker,
                serviceDirectory, patch);
  return std::strlen(installer) + 2 + kPatchMarkerLength + std::strlen(serviceDirectory) + 1 +
         PatchNameLength(patch);
}

// word is the program as the line names it, without quotes, cut where it ends;
// end held cutByte, which is put back before the whole line is used.
void ComposeProgramWithPath(LineBuffer& line, char* word, char* end, char cutByte,
                            PathBuffer& commandLine, PathBuffer& workingDirectory) {
  char* lastBackslash = FindLastChar(word, '\\');
  *lastBackslash = '\0';
  BoundedCopy(workingDirectory, word, sizeof workingDirectory);
  *lastBackslash = '\\';
  *end = cutByte;
  BoundedCopy(commandLine, line, sizeof commandLine);
}

// As above; the arguments start at the space after the word, if any.
void ComposeBareProgram(const char* word, char* end, char cutByte, const char* arguments,
                        PathBuffer& commandLine, PathBuffer& workingDirectory) {
  GetServiceDirectory(workingDirectory);
  BoundedFormat(commandLine, sizeof commandLine, "\"%s\\%s\"", workingDirectory, word);
  *end = cutByte;
  if (cutByte != '\0') BoundedAppend(commandLine, arguments, sizeof commandLine);
}

}  // namespace

const char* ClosingQuote(const char* line) {
  if (line[0] != '"') return nullptr;
  const char* closing = FindChar(line + 1, '"');
  return closing && (closing[1] == ' ' || closing[1] == '\0') ? closing : nullptr;
}

LineGrammar ParseLine(const char* line) {
  LineGrammar grammar;
  const char* closing = ClosingQuote(line);
  grammar.quoted = closing != nullptr;
  if (closing) {
    grammar.word = line + 1;
    grammar.wordEnd = closing;
    grammar.arguments = closing + 1;
  } else {
    const char* space = FindChar(line, ' ');
    grammar.word = line;
    grammar.wordEnd = space ? space : line + std::strlen(line);
    grammar.arguments = grammar.wordEnd;
  }
  const char* marker = FindText(line, kPatchMarker);
  grammar.patch = marker ? marker + kPatchMarkerLength : nullptr;
  // Only a backslash in the first word counts, not one in the arguments.
  const char* backslash = FindChar(line, '\\');
  if (FindText(line, kInstallerName)) {
    grammar.rule = CommandRule::kInstallerPatch;
  } else if (backslash && backslash < grammar.wordEnd) {
    grammar.rule = CommandRule::kProgramWithPath;
  } else {
    grammar.rule = CommandRule::kBareProgram;
  }
  return grammar;
}

bool ComposeCommand(LineBuffer& line, PathBuffer& commandLine, PathBuffer& workingDirectory,
                    Composition* composition) {
  const LineGrammar grammar = ParseLine(line);
  Composition composed;
  composed.rule = grammar.rule;
  if (grammar.rule == CommandRule::kInstallerPatch) {
    composed.nameEnd = ComposeInstallerPatch(line, grammar.patch, commandLine);
    if (composition) *composition = composed;
    return false;
  }
  // Cut the line after its first word, without its quotes when it is quoted;
  // the rules put the cut byte back.
  char* word = line + (grammar.word - line);
  char* end = line + (grammar.wordEnd - line);
  char cutByte = *end;
  *end = '\0';
  if (grammar.rule == CommandRule::kProgramWithPath) {
    // The line runs as written: its word ends where the line's does, after any quote.
    composed.nameEnd = static_cast<std::size_t>(grammar.arguments - line);
    ComposeProgramWithPath(line, word, end, cutByte, commandLine, workingDirectory);
  } else {
    composed.nameEnd = std::strlen(word) + 3;  // a quote, a backslash, a quote
    ComposeBareProgram(word, end, cutByte, grammar.arguments, commandLine, workingDirectory);
    composed.nameEnd += std::strlen(workingDirectory);
  }
  if (composition) *composition = composed;
  return true;
}
