// Putting a new file in the place of an original.
#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"
#include "strip/image_state.h"

// Gives the open `replacement` (named `replacement_name`, beside the
// picture) the picture's times, owner, group and permission bits as they
// were when it was first opened (state->picture), then renames it over the
// picture (state->path, in state->folder) in one step, provided the name
// still leads to the very file that was read: state->in_place, whose
// identity, length, write and change times must all match. `step`, when
// given, runs once that is known. After the rename the times are checked
// through the replacement's descriptor and set again where the file system
// changed them; state->in_place then describes the replacement.
//
// An original changed since it was read: the replacement is removed. A
// missing or read-only original, times or access bits that cannot be set, or
// a rename that fails: both files stay as they are. Either way " -->Couldn't
// replace original file" is printed and false returned. The replacement
// stays open. Making the folder's new entry durable is the caller's.
bool replace_keeping_times(const Platform& os, ImageState* state, FileHandle replacement,
                           const std::string& replacement_name, const std::function<void()>& step);

// Whether two sets of facts describe the same file, unchanged.
bool same_file_unchanged(const FileInfo& now, const FileInfo& then);
