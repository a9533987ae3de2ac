#include "launch/compose_command.h"

#include "platform/platform.h"

void GetServiceDirectory(PathBuffer& directory) {
  GetExecutablePath(directory, sizeof directory);
  if (char* backslash = FindLastChar(directory, '\\')) *backslash = '\0';
}

namespace {

void ComposeInstallerPatch(LineBuffer& line, PathBuffer& commandLine) {
  PathBuffer patch;
  PathBuffer serviceDirectory;
  PathBuffer installer;
  const char* marker = FindText(line, " /p ");
  BoundedCopy(patch, marker ? marker + 4 : "", sizeof patch);
  GetServiceDirectory(serviceDirectory);
  GetSystemDirectoryPath(installer, sizeof installer);
  BoundedAppend(installer, "\\", sizeof installer);
  BoundedAppend(installer, "msiexec.exe", sizeof installer);
  BoundedCopy(line, installer, sizeof line);
  // In a folder with a space the installer would take the patch path apart,
  // so the path is quoted; the patch argument's own options follow it.
  if (FindChar(serviceDirectory, ' ') && patch[0] != '\0' && patch[0] != ' ' && patch[0] != '"') {
    char* space = FindChar(patch, ' ');
    if (space) *space = '\0';
    BoundedFormat(commandLine, sizeof commandLine, "\"%s\"%s\"%s\\%s\"", installer, " /p ",
                  serviceDirectory, patch);
    if (space) {
      *space = ' ';
      BoundedAppend(commandLine, space, sizeof commandLine);
    }
    return;
  }
  BoundedFormat(commandLine, sizeof commandLine, "\"%s\"%s%s\\%s", installer, " /p ",
                serviceDirectory, patch);
}

// word is the program as the line names it, without quotes. The caller cut the
// line at cut, which held cutByte; it is put back before the whole line is used.
void ComposeProgramWithPath(LineBuffer& line, char* word, char* cut, char cutByte,
                            PathBuffer& commandLine, PathBuffer& workingDirectory) {
  char* lastBackslash = FindLastChar(word, '\\');
  *lastBackslash = '\0';
  BoundedCopy(workingDirectory, word, sizeof workingDirectory);
  *lastBackslash = '\\';
  if (cut) *cut = cutByte;
  BoundedCopy(commandLine, line, sizeof commandLine);
}

// As above; the arguments are rest, which starts at the space after the word.
void ComposeBareProgram(const char* word, char* cut, char cutByte, const char* rest,
                        PathBuffer& commandLine, PathBuffer& workingDirectory) {
  GetServiceDirectory(workingDirectory);
  BoundedFormat(commandLine, sizeof commandLine, "\"%s\\%s\"", workingDirectory, word);
  if (cut) {
    *cut = cutByte;
    BoundedAppend(commandLine, rest, sizeof commandLine);
  }
}

}  // namespace

const char* ClosingQuote(const char* line) {
  if (line[0] != '"') return nullptr;
  const char* closing = FindChar(line + 1, '"');
  return closing && (closing[1] == ' ' || closing[1] == '\0') ? closing : nullptr;
}

CommandRule ChooseRule(const char* line) {
  if (FindText(line, "msiexec.exe")) return CommandRule::kInstallerPatch;
  // Only a backslash in the first word counts, not one in the arguments.
  const char* closing = ClosingQuote(line);
  const char* wordEnd = closing ? closing : FindChar(line, ' ');
  const char* backslash = FindChar(line, '\\');
  if (backslash && (!wordEnd || backslash < wordEnd)) return CommandRule::kProgramWithPath;
  return CommandRule::kBareProgram;
}

bool ComposeCommand(LineBuffer& line, PathBuffer& commandLine, PathBuffer& workingDirectory) {
  CommandRule rule = ChooseRule(line);
  if (rule == CommandRule::kInstallerPatch) {
    ComposeInstallerPatch(line, commandLine);
    return false;
  }
  // Cut the line after its first word, without its quotes when it is quoted;
  // the rules put the cut byte back.
  char* word = line;
  char* cut = ClosingQuote(line);
  char cutByte = '"';
  const char* rest = nullptr;
  if (cut) {
    ++word;
    rest = cut + 1;
  } else {
    cut = FindChar(line, ' ');
    cutByte = ' ';
    rest = cut;
  }
  if (cut) *cut = '\0';
  if (rule == CommandRule::kProgramWithPath) {
    ComposeProgramWithPath(line, word, cut, cutByte, commandLine, workingDirectory);
  } else {
    ComposeBareProgram(word, cut, cutByte, rest, commandLine, workingDirectory);
  }
  return true;
}
