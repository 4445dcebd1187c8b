// Where the main image of a JPEG file ends.
#pragma once

#include <cstdint>

// Follows the marker segments from the start-of-image marker by their
// lengths, each scan's coded data, and further segments and scans (as in
// progressive files), to the end-of-image marker, over bytes that arrive a
// piece at a time. The file's bytes are handed to walk_image_bytes in order;
// `end` is the offset just past the end-of-image marker once it is met.
struct ImageEndWalk {
  enum Step : std::uint8_t {
    kStartFF,     // the file's first byte, FF
    kStartD8,     // then D8
    kMarkerFF,    // a segment's FF, or the fill before it
    kMarkerCode,  // the marker after one or more FF
    kLengthHigh,
    kLengthLow,
    kSegmentBody,  // `left` bytes of a segment still to pass over
    kCodedData,    // a scan's coded data
    kCodedFF,      // an FF in coded data: stuffing, a restart, fill or a marker
    kEnded,
    kBroken,  // the bytes do not lead to an end of image
  };
  Step step = kStartFF;
  std::uint8_t marker = 0;
  std::int64_t left = 0;
  std::int64_t position = 0;  // offset of the next byte to come
  std::int64_t end = -1;
};

// Walks `n` more bytes of the file. Stops reading once the walk has ended or
// broken.
void walk_image_bytes(ImageEndWalk* walk, const std::uint8_t* bytes, std::int64_t n);

// The same over a whole file: the end of the main image, or -1 when the bytes
// do not lead there within `n`.
std::int64_t find_main_image_end(const std::uint8_t* image, std::int64_t n);
