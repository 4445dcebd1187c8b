// Turning the Exif thumbnail of a turned picture on the disk.
#pragma once

#include "platform/platform.h"

enum class ThumbnailTurn {
  kTurned,       // the turned thumbnail is in the file
  kLeftAlone,    // nothing was written: the file is as it was
  kWriteFailed,  // writing the file failed part way: it can no longer be trusted
};

// Has jpegtran turn the thumbnail of the open JPEG `file` by the operation of
// `orientation` (3, 6 or 8), through two nameless temporary files, and puts
// it back as put_thumbnail_back says. Anything about the thumbnail not as
// expected, or jpegtran failing on it, leaves the file alone. Nothing is
// flushed: that is the caller's.
ThumbnailTurn turn_thumbnail_in_file(const Platform& os, FileHandle file, int orientation);
