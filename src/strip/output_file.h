// Writing the output that will take a picture's place.
#pragma once

#include <cstdint>
#include <string>

#include "platform/holders.h"

// Creates `path` afresh, open for reading and writing: a file of that name
// left from before is removed first, and the new one is created private,
// never through a link. Everything after goes through `output`.
bool create_output(const Platform& os, const std::string& path, OpenFile* output);

// Writes `size` bytes from the start of the output and flushes them to the
// disk. The file stays open.
bool write_output(const OpenFile& output, const std::uint8_t* bytes, std::int64_t size);
