// Starting another program.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// Runs argv[0], found along the search path, with the given arguments passed
// as they are (no command interpreter sees them), `input` read from its start
// as its standard input and `output` as its standard output, and waits for it
// to end. Returns its exit status, or -1 when it could not be started or was
// killed.
int run_program(const std::vector<std::string>& argv, FileHandle input, FileHandle output);
