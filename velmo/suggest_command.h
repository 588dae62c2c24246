#pragma once

// velmo suggest IN [--frames N] [--preview OUT.png]: finds the zone of a capture from its frames.
// Prints the settings line on standard output and a report on standard error. `argv[0]` is the
// program and `argv[1]` the word "suggest". Returns the exit code: 0, 1 for a failure, 2 for a bad
// command line.
int runSuggestCommand(int argc, const char* const* argv);
