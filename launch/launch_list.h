// The service's whole work: start every command of the launch list.
#pragma once

#include "launch/compose_command.h"
#include "text/bounded_text.h"

// Reads the list beside the executable (its name up to the first ".exe", then
// ".dat") and starts each line, in order, as a detached process that is never
// waited for. Returns when the list ends, at a line longer than 559
// characters, or at once when there is no list. Nothing is reported: a start
// that fails is skipped.
void RunLaunchList();

// The steps of RunLaunchList, for tools that show what a run would do.

// The launch list's full path, cut at 259 characters.
void GetListPath(PathBuffer& listPath);

// Lowers the single-byte characters 'A' to 'Z'. Both bytes of a double-byte
// character stay as they are, and so does a lead byte right before the end.
void LowerLine(char* line);

// The service's step for each line read: lowers it and composes its command
// line and working directory. starter-check takes the same step. Returns
// whether a working directory was chosen.
bool LowerAndCompose(LineBuffer& line, PathBuffer& commandLine, PathBuffer& workingDirectory,
                     Composition* composition = nullptr);

// Lowers line, composes its command and starts it. Returns whether the start
// succeeded.
bool LaunchLine(LineBuffer& line, PathBuffer& commandLine, PathBuffer& workingDirectory);
