// Having jpegtran turn one picture into another.
#pragma once

#include <string>

#include "platform/platform.h"

// Runs jpegtran on `input` with the operation that turns a picture of
// Exif orientation `orientation` (3, 6 or 8) upright, all extra markers
// copied, writing the result to `output`. True when it exited with status 0;
// what it wrote is the caller's to check.
bool jpegtran_turn(const Platform& os, int orientation, const std::string& input,
                   const std::string& output);
