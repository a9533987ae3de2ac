// The service's whole work: start every command of the launch list.
#pragma once

// Reads the list beside the executable (its name up to the first ".exe", then
// ".dat") and starts each line, in order, as a detached process that is never
// waited for. Returns when the list ends, at a line longer than 559
// characters, or at once when there is no list. Nothing is reported: a start
// that fails is skipped.
void RunLaunchList();
