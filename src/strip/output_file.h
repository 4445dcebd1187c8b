// Writing the output that will take a picture's place.
#pragma once

#include <cstdint>
#include <string>

#include "platform/holders.h"

// Creates `path` afresh: a file of that name left from before is removed
// first, and the new one is created private, never through a link.
bool create_output(const Platform& os, const std::string& path, OpenFile* output);

// Writes `size` bytes from the start of the output, flushes them to the disk
// and closes it. Any failure on the way is a failed write; the file is closed
// whatever happens.
bool write_output(OpenFile* output, const std::uint8_t* bytes, std::int64_t size);
