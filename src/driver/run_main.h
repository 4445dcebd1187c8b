// The program's entry.
#pragma once

#include "platform/platform.h"

// Prints the banner, walks the one folder named on the command line through
// `os`, and prints the run's totals. Returns the exit status: 0 after a run,
// 1 after the usage text for any other number of arguments.
int run_main(int argc, const char* const* argv, const Platform& os);
