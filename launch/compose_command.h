// Turns one lowered launch-list line into a command line and a working directory.
#pragma once

#include "text/bounded_text.h"

// Applies exactly one of three rules:
//   installer patch  the line contains "msiexec.exe": the system's installer is
//                    run with " /p " and the patch argument (whatever follows the
//                    line's own " /p ") taken from the service's directory, the
//                    patch's path quoted when that directory holds a space;
//   program with path  the first word holds a backslash: the line is run as it
//                    stands, in the first word's directory;
//   bare program     anything else: the first word, quoted, from the service's
//                    directory, with the rest of the line as arguments.
// The first word ends at the first space, unless the line opens with a double
// quote whose closing quote ends the line or comes before a space: then it is
// the text between the two quotes.
// Returns whether a working directory was chosen into workingDirectory; false
// means the child inherits the current directory. The installer rule overwrites
// line; the other rules put back every byte they cut.
bool ComposeCommand(LineBuffer& line, PathBuffer& commandLine, PathBuffer& workingDirectory);

// The executable's full path cut at its last backslash; the whole path when it
// has none.
void GetServiceDirectory(PathBuffer& directory);

// The quote that closes a quoted first word, or null when the word is not quoted.
const char* ClosingQuote(const char* line);
inline char* ClosingQuote(char* line) {
  return const_cast<char*>(ClosingQuote(static_cast<const char*>(line)));
}

enum class CommandRule { kInstallerPatch, kProgramWithPath, kBareProgram };

// The rule ComposeCommand applies to line; the line is left as it was.
CommandRule ChooseRule(const char* line);
