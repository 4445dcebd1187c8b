// Setting a turned picture's Orientation back to "Normal" on the disk.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Checks that the open file is a JPEG whose Orientation entry has its value
// field at `value_offset`, writes 1 ("Normal") there and flushes the file to
// the disk. False, with nothing written, when the file is not like that.
bool reset_orientation_in_file(const Platform& os, FileHandle file, std::int64_t value_offset);
