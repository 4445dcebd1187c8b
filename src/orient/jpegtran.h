// Having jpegtran turn one picture into another.
#pragma once

#include "platform/platform.h"

// Runs jpegtran with the operation that turns a picture of Exif orientation
// `orientation` (3, 6 or 8) upright, all extra markers copied, reading the
// picture from `input` and writing the result into `output`. No name reaches
// it: it works only on the two open files. True when it exited with status 0;
// what it wrote is the caller's to check.
bool jpegtran_turn(const Platform& os, int orientation, FileHandle input, FileHandle output);

// The same for a thumbnail, with the edge blocks that cannot be turned
// dropped ("-trim"): a thumbnail whose sides are not whole blocks comes out a
// few pixels smaller rather than with an edge left unturned. One whose sides
// are whole blocks comes out as without it.
bool jpegtran_turn_thumbnail(const Platform& os, int orientation, FileHandle input,
                             FileHandle output);
