// What a whole run printed, checked line by line.
#pragma once

#include <string>
#include <vector>

#include "support/run_binary.h"

// The three totals lines as the tool prints them; the rotated one only when
// `rotated` is not 0.
std::string totals_lines(long long stripped, long long rotated, long long saved);

// The output after the banner: each of `lines` once, in the walk's order
// (whatever it is), then `totals`, and nothing else; exit status 0.
void expect_lines_then_totals(const RunOutput& run, const std::vector<std::string>& lines,
                              const std::string& totals);
