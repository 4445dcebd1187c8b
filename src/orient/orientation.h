// Finding the Exif Orientation entry at its fixed place.
#pragma once

#include <cstdint>

// Where a turn was found: `value` is 3, 6 or 8 (0 when none); `value_offset`
// is the file offset of the entry's 4-byte value field (0 when none).
struct OrientationMark {
  std::int32_t value = 0;
  std::int64_t value_offset = 0;
};

// The Exif names of orientations 0 to 8; those of 3, 6 and 8 are the jpegtran
// operations that turn such a picture upright.
extern const char* const ORIENTATION_NAMES[9];

// Looks for an Orientation entry holding 3, 6 or 8 in IFD0 of a little-endian
// Exif segment that directly follows the start-of-image marker. Sets `mark`
// and returns true when found; leaves it untouched otherwise. Reads nothing at
// or past `n`: an entry not wholly inside the buffer ends the search.
bool locate_orientation(const std::uint8_t* image, std::int64_t n, OrientationMark* mark);

// Whether the 12-byte Orientation entry whose value field starts at
// `value_offset` lies wholly inside `n` bytes and carries the Orientation tag.
bool orientation_entry_at(const std::uint8_t* image, std::int64_t n, std::int64_t value_offset);

// The four bytes that make a value field read 1, "Normal".
inline constexpr std::uint8_t kOrientationNormal[4] = {1, 0, 0, 0};
