#pragma once

#include "velmo/command_line.h"

// velmo suggest IN [--frames N] [--preview OUT.png]: finds the zone of a capture from its frames.
// Prints the settings line on standard output and a report on standard error.
extern const Command kSuggestCommand;
