#include "launch/launch_list.h"

#include "launch/compose_command.h"
#include "launch/list_reader.h"
#include "platform/platform.h"

void LowerLine(char* line) {
  for (char* p = line; *p != '\0'; ++p) {
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
  }
}

void GetListPath(PathBuffer& listPath) {
  PathBuffer listName;
  GetExecutablePath(listPath, sizeof listPath);
  char* lastBackslash = FindLastChar(listPath, '\\');
  BoundedCopy(listName, lastBackslash ? lastBackslash : listPath, sizeof listName);
  if (lastBackslash) {
    if (char* extension = FindText(listName, ".exe")) *extension = '\0';
    *lastBackslash = '\0';
  }
  BoundedAppend(listPath, listName, sizeof listPath);
  BoundedAppend(listPath, ".dat", sizeof listPath);
}

bool LaunchLine(LineBuffer& line, PathBuffer& commandLine, PathBuffer& workingDirectory) {
  LowerLine(line);
  bool hasDirectory = ComposeCommand(line, commandLine, workingDirectory);
  return StartProcess(commandLine, true, kDetachedProcess | kNormalPriorityClass,
                      hasDirectory ? workingDirectory : nullptr);
}

void RunLaunchList() {
  PathBuffer listPath;
  GetListPath(listPath);
  ListReader input;
  OpenList(input, listPath);
  // Once the list is open its path is no longer needed; the buffer holds each
  // line's working directory instead.
  PathBuffer& workingDirectory = listPath;
  PathBuffer commandLine;
  LineBuffer line;
  while (ReaderGood(input)) {
    ReadLine(input, line, sizeof line);
    LaunchLine(line, commandLine, workingDirectory);
  }
}
