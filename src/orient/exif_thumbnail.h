// The small JPEG thumbnail that IFD1 of the Exif segment points to, and how a
// turned one is put back in its place.
#pragma once

#include <cstdint>
#include <vector>

using ByteVector = std::vector<std::uint8_t>;

// The largest value of a segment's length field, which counts itself.
inline constexpr std::int64_t kLargestSegment = 65535;

// Where a thumbnail lies, in file offsets.
struct ThumbnailPlace {
  std::int64_t start = 0;         // its first byte
  std::int64_t length = 0;        // what its length tag says
  std::int64_t length_value = 0;  // the length tag's 4-byte value field
  std::int64_t segment_end = 0;   // just past the Exif segment
};

// Finds the thumbnail of a little-endian Exif segment that directly follows
// the start-of-image marker, in the file's first `n` bytes: IFD1 reached
// through IFD0's next-IFD offset, its JPEGInterchangeFormat and
// JPEGInterchangeFormatLength entries (LONG, one value each), the thumbnail
// wholly inside the segment, after both IFDs, and starting FF D8 FF. False
// when anything of that is not so or not inside the segment and the `n` bytes.
bool locate_thumbnail(const std::uint8_t* head, std::int64_t n, ThumbnailPlace* place);

// The file's first bytes `head` (the Exif segment and whatever of the file
// follows it) with `turned` put in the thumbnail's place: when it fits, over
// the old one with the rest of the place zeroed; when it is longer and the old
// one ends the segment, with the segment grown (its length field never above
// 65535) and what followed it moved along. The length tag is set either way.
// False, `head` left as it is, when there is no such place for it, when
// `turned` does not start FF D8 FF, or when the file would hold a different
// number of FF D8 FF sequences (where the preview is cut).
bool put_thumbnail_back(const ThumbnailPlace& place, const ByteVector& turned, ByteVector* head);
