// Putting a new file in the place of an original.
#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"

// Renames `replacement` over `original` in one step, first giving it
// `times` (the original's times before the run) and the original's owner,
// group and permission bits. `step`, when given, runs only when both files
// are there to carry the times over. A missing or read-only original, times
// or access bits that cannot be set, or a rename that fails, print
// " -->Couldn't replace original file" and return false, leaving both files
// as they are.
bool replace_keeping_times(const Platform& os, const std::string& original,
                           const std::string& replacement, const FileTimes& times,
                           const std::function<void()>& step);
