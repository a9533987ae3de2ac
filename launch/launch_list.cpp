#include "launch/launch_list.h"

#include <cstring>

#include "launch/compose_command.h"
#include "launch/list_reader.h"
#include "platform/platform.h"

void LowerLine(char* line) {
  std::size_t length = std::strlen(line);
  if (!HasLeadBytes()) {
    // A counted loop over bytes, which the compiler can vectorise.
    for (std::size_t i = 0; i < length; ++i) {
      unsigned char c = static_cast<unsigned char>(line[i]);
      line[i] = static_cast<char>(static_cast<unsigned>(c - 'A') < 26u ? c + ('a' - 'A') : c);
    }
    return;
  }
  // Whole characters, walked as the searches walk them: a second byte from 'A'
  // to 'Z' belongs to a double-byte character, and lowering it would name
  // another character.
  for (char* p = line; *p != '\0'; p += CharacterLength(p)) {
    if (CharacterLength(p) == 1 && *p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p + ('a' - 'A'));
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

bool LowerAndCompose(LineBuffer& line, PathBuffer& commandLine, PathBuffer& workingDirectory,
                     Composition* composition) {
  LowerLine(line);
  return ComposeCommand(line, commandLine, workingDirectory, composition);
}

bool LaunchLine(LineBuffer& line, PathBuffer& commandLine, PathBuffer& workingDirectory) {
  bool hasDirectory = LowerAndCompose(line, commandLine, workingDirectory);
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
