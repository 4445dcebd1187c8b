// Putting a new file in the place of an original.
#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"

// Gives the open `replacement` (named `replacement_name`) the picture's
// times, owner, group and permission bits as they were when it was first
// opened (`picture`), then renames it over `original` in one step, provided
// the name still leads to the very file that was read: `in_place`, whose
// identity, length, write and change times must all match. `step`, when
// given, runs once that is known. After the rename the times are checked
// through the replacement's descriptor and set again where the file system
// changed them; `in_place` then describes the replacement.
//
// An original changed since it was read: the replacement is removed. A
// missing or read-only original, times or access bits that cannot be set, or
// a rename that fails: both files stay as they are. Either way " -->Couldn't
// replace original file" is printed and false returned. The replacement
// stays open. Making the folder's new entry durable is the caller's.
bool replace_keeping_times(const Platform& os, const std::string& original, const FileInfo& picture,
                           FileInfo* in_place, FileHandle replacement,
                           const std::string& replacement_name, const std::function<void()>& step);

// Whether two sets of facts describe the same file, unchanged.
bool same_file_unchanged(const FileInfo& now, const FileInfo& then);
