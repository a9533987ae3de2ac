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
  BoundedFormat(commandLine, sizeof commandLine, "\"%s\"%s%s\\%s", installer, " /p ",
                serviceDirectory, patch);
}

// firstSpace is cut to a terminator on entry and put back here.
void ComposeProgramWithPath(LineBuffer& line, char* firstSpace, PathBuffer& commandLine,
                            PathBuffer& workingDirectory) {
  char* lastBackslash = FindLastChar(line, '\\');
  *lastBackslash = '\0';
  BoundedCopy(workingDirectory, line, sizeof workingDirectory);
  *lastBackslash = '\\';
  if (firstSpace) *firstSpace = ' ';
  BoundedCopy(commandLine, line, sizeof commandLine);
}

void ComposeBareProgram(LineBuffer& line, char* firstSpace, PathBuffer& commandLine,
                        PathBuffer& workingDirectory) {
  GetServiceDirectory(workingDirectory);
  BoundedFormat(commandLine, sizeof commandLine, "\"%s\\%s\"", workingDirectory, line);
  if (firstSpace) {
    *firstSpace = ' ';
    BoundedAppend(commandLine, firstSpace, sizeof commandLine);
  }
}

}  // namespace

CommandRule ChooseRule(const char* line) {
  if (FindText(line, "msiexec.exe")) return CommandRule::kInstallerPatch;
  // Only a backslash in the first word counts, not one in the arguments.
  const char* firstSpace = FindChar(line, ' ');
  const char* backslash = FindChar(line, '\\');
  if (backslash && (!firstSpace || backslash < firstSpace)) return CommandRule::kProgramWithPath;
  return CommandRule::kBareProgram;
}

bool ComposeCommand(LineBuffer& line, PathBuffer& commandLine, PathBuffer& workingDirectory) {
  CommandRule rule = ChooseRule(line);
  if (rule == CommandRule::kInstallerPatch) {
    ComposeInstallerPatch(line, commandLine);
    return false;
  }
  // Cut the line after its first word; the rules put the space back.
  char* firstSpace = FindChar(line, ' ');
  if (firstSpace) *firstSpace = '\0';
  if (rule == CommandRule::kProgramWithPath) {
    ComposeProgramWithPath(line, firstSpace, commandLine, workingDirectory);
  } else {
    ComposeBareProgram(line, firstSpace, commandLine, workingDirectory);
  }
  return true;
}
