// The counters of one run, printed at its end.
#pragma once

#include <cstdint>

struct RunTotals {
  std::int64_t files_stripped = 0;  // replaced by a shorter output, saving counted
  std::int64_t files_rotated = 0;   // turned upright and put in place
  std::int64_t bytes_saved = 0;     // sum of (length first loaded - length written)
};
