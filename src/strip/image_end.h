// Where the main image of a JPEG file ends.
#pragma once

#include <cstdint>

// Follows the marker segments from the start-of-image marker by their
// lengths, each scan's coded data, and further segments and scans (as in
// progressive files), to the end-of-image marker. Returns the offset just
// past that marker, or -1 when the bytes do not lead there within `n`.
std::int64_t find_main_image_end(const std::uint8_t* image, std::int64_t n);
