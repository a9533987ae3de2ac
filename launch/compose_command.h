// Turns one lowered launch-list line into a command line and a working directory.
#pragma once

#include "text/bounded_text.h"

// Markers, matched case-sensitively in the lowered line.
constexpr char kInstallerName[] = "msiexec.exe";  // anywhere: the installer-patch rule
constexpr char kPatchMarker[] = " /p ";           // what follows it is the patch argument
constexpr std::size_t kPatchMarkerLength = sizeof kPatchMarker - 1;

enum class CommandRule { kInstallerPatch, kProgramWithPath, kBareProgram };

// What composing a line did: the rule it applied, and where, in the command
// line, the name the start needs ends: the program's, or the patch's for the
// installer rule. It may lie past the cut at 259 characters.
struct Composition {
  CommandRule rule = CommandRule::kBareProgram;
  std::size_t nameEnd = 0;
};

// A lowered line as the rules read it; every position points into the line.
// The first word ends at the first space, unless the line opens with a double
// quote whose closing quote ends the line or comes before a space: then it is
// the text between the two quotes.
struct LineGrammar {
  CommandRule rule;
  const char* word;     // the first word, after its opening quote when quoted
  const char* wordEnd;  // one past it: its closing quote, the first space, or the end
  bool quoted;
  // The arguments: the space after the word (after its closing quote when
  // quoted), or the line's end when nothing follows it.
  const char* arguments;
  // The patch argument: what follows the line's first " /p ", or null when
  // there is none. Set for every rule; only the installer-patch rule uses it.
  const char* patch;
};

// Reads line without changing it.
LineGrammar ParseLine(const char* line);

// Applies exactly one of three rules:
//   installer patch  the line contains "msiexec.exe": the system's installer is
//                    run with " /p " and the patch argument taken from the
//                    service's directory, the patch's path quoted when that
//                    directory holds a space;
//   program with path  the first word holds a backslash: the line is run as it
//                    stands, in the first word's directory;
//   bare program     anything else: the first word, quoted, from the service's
//                    directory, with the rest of the line as arguments.
// Returns whether a working directory was chosen into workingDirectory; false
// means the child inherits the current directory. What it did goes to
// composition when it is given. The installer rule overwrites line; the
// other rules put back every byte they cut.
bool ComposeCommand(LineBuffer& line, PathBuffer& commandLine, PathBuffer& workingDirectory,
                    Composition* composition = nullptr);

// The executable's full path cut at its last backslash; the whole path when it
// has none.
void GetServiceDirectory(PathBuffer& directory);

// The quote that closes a quoted first word, or null when the word is not quoted.
const char* ClosingQuote(const char* line);
