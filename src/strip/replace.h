// Putting a new file in the place of an original.
#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"

// Gives the open `replacement` (named `replacement_name`) the picture's
// times, owner, group and permission bits as they were when it was first
// opened (`picture`), then renames it over `original` in one step. `step`,
// when given, runs once the original is known to be there. A missing or
// read-only original, times or access bits that cannot be set, or a rename
// that fails, print " -->Couldn't replace original file" and return false,
// leaving both files as they are. The replacement stays open either way.
// Making the folder's new entry durable is the caller's.
bool replace_keeping_times(const Platform& os, const std::string& original, const FileInfo& picture,
                           FileHandle replacement, const std::string& replacement_name,
                           const std::function<void()>& step);
