// Plain, obviously right versions of the two scans, for the fuzz targets to
// hold the real ones against. They read the bytes one by one and trust
// nothing about the layout.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// Every offset where FF D8 FF begins, overlapping ones included.
inline std::vector<std::int64_t> reference_sequences(const std::uint8_t* bytes, std::int64_t n) {
  std::vector<std::int64_t> found;
  for (std::int64_t i = 0; i + 2 < n; ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xD8 && bytes[i + 2] == 0xFF) found.push_back(i);
  }
  return found;
}

// Where the file is cut (the fourth sequence), or -1.
inline std::int64_t reference_cut(const Bytes& bytes) {
  const auto found = reference_sequences(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  return found.size() > 3 ? found[3] : -1;
}

// Where the main image ends (just past its end-of-image marker), or -1:
// segments are stepped over by their lengths, and after a start of scan every
// byte is coded data until an FF that a byte other than 00, D0-D7 or another
// FF follows.
inline std::int64_t reference_image_end(const Bytes& b) {
  const auto n = static_cast<std::int64_t>(b.size());
  if (n < 2 || b[0] != 0xFF || b[1] != 0xD8) return -1;
  std::int64_t i = 2;
  bool in_scan = false;
  while (i < n) {
    if (in_scan) {
      if (b[i] != 0xFF) {
        ++i;
        continue;
      }
      std::int64_t j = i + 1;
      while (j < n && b[j] == 0xFF) ++j;
      if (j >= n) return -1;
      if (b[j] == 0x00 || (b[j] >= 0xD0 && b[j] <= 0xD7)) {
        i = j + 1;
        continue;
      }
      in_scan = false;  // a marker: read again below
    }
    if (b[i] != 0xFF) return -1;
    while (i < n && b[i] == 0xFF) ++i;
    if (i >= n) return -1;
    const std::uint8_t marker = b[i++];
    if (marker == 0xD9) return i;
    if (marker == 0xD8 || marker == 0x00) return -1;
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;
    if (i + 2 > n) return -1;
    const std::int64_t length = b[i] * 256 + b[i + 1];
    if (length < 2 || i + length > n) return -1;
    i += length;
    in_scan = marker == 0xDA;
  }
  return -1;
}

// Where the pipeline cuts: the fourth sequence, when it lies at or past the
// end of the main image; else -1.
inline std::int64_t reference_pipeline_cut(const Bytes& bytes) {
  const std::int64_t cut = reference_cut(bytes);
  const std::int64_t end = reference_image_end(bytes);
  return cut >= 0 && end >= 0 && cut >= end ? cut : -1;
}

inline std::uint32_t reference_little(const std::uint8_t* p, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

// Whether a 12-byte entry carrying the Orientation tag starts at `entry`.
inline bool reference_entry_at(const std::uint8_t* bytes, std::int64_t n, std::int64_t entry) {
  return entry >= 0 && entry + 12 <= n && reference_little(bytes + entry, 2) == 0x0112;
}

struct ReferenceTurn {
  bool found = false;
  std::int32_t value = 0;
  std::int64_t value_offset = 0;
};

// The first IFD0 Orientation entry holding 3, 6 or 8, when APP1 follows the
// start of image; the scan ends at the first entry not wholly in the buffer.
inline ReferenceTurn reference_turn(const std::uint8_t* bytes, std::int64_t n) {
  ReferenceTurn turn;
  if (n < 22 || bytes[3] != 0xE1) return turn;
  const std::uint32_t count = reference_little(bytes + 20, 2);
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::int64_t entry = 22 + 12 * static_cast<std::int64_t>(k);
    if (entry + 12 > n) break;
    const std::uint32_t value = reference_little(bytes + entry + 8, 4);
    if (reference_entry_at(bytes, n, entry) && (value == 3 || value == 6 || value == 8)) {
      turn.found = true;
      turn.value = static_cast<std::int32_t>(value);
      turn.value_offset = entry + 8;
      return turn;
    }
  }
  return turn;
}

// Where IFD1 of a little-endian Exif segment right after the start of image
// says its thumbnail lies, when every rule for turning it holds: both IFDs
// and the thumbnail inside the segment, the thumbnail after both IFDs and
// starting FF D8 FF, its two tags single LONGs (the first entry of each tag
// counts).
struct ReferenceThumbnail {
  bool found = false;
  std::uint64_t start = 0;
  std::uint64_t length = 0;
  std::uint64_t length_value = 0;
  std::uint64_t segment_end = 0;
};

inline ReferenceThumbnail reference_thumbnail(const Bytes& b) {
  ReferenceThumbnail t;
  const std::uint64_t n = b.size();
  const Bytes head = {0xFF, 0xD8, 0xFF, 0xE1};
  const Bytes exif = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0};
  if (n < 20 || !std::equal(head.begin(), head.end(), b.begin()) ||
      !std::equal(exif.begin(), exif.end(), b.begin() + 6)) {
    return t;
  }
  const std::uint64_t end = 4 + b[4] * 256 + b[5];
  if (end > n) return t;
  std::uint64_t ifd_end[2] = {0, 0};
  std::uint64_t ifd1 = 0;
  std::uint64_t offset = reference_little(b.data() + 16, 4);
  for (int k = 0; k < 2; ++k) {
    const std::uint64_t at = 12 + offset;
    if (k == 1 && offset == 0) return t;
    if (at + 2 > end) return t;
    ifd_end[k] = at + 2 + 12 * reference_little(b.data() + at, 2) + 4;
    if (ifd_end[k] > end) return t;
    offset = reference_little(b.data() + ifd_end[k] - 4, 4);
    ifd1 = at;
  }
  std::uint64_t value[2] = {0, 0};  // of 0x0201 and 0x0202
  for (int tag = 0; tag < 2; ++tag) {
    for (std::uint64_t e = ifd1 + 2; e + 16 <= ifd_end[1]; e += 12) {
      if (reference_little(b.data() + e, 2) != 0x0201U + tag) continue;
      const bool single_long =
          reference_little(b.data() + e + 2, 2) == 4 && reference_little(b.data() + e + 4, 4) == 1;
      if (single_long) {
        value[tag] = e + 8;
      }
      break;
    }
    if (value[tag] == 0) return t;
  }
  t.start = 12 + reference_little(b.data() + value[0], 4);
  t.length = reference_little(b.data() + value[1], 4);
  t.length_value = value[1];
  t.segment_end = end;
  t.found = t.start >= std::max(ifd_end[0], ifd_end[1]) && t.start + t.length <= end &&
            t.length >= 3 && b[t.start] == 0xFF && b[t.start + 1] == 0xD8 && b[t.start + 2] == 0xFF;
  return t;
}

// `b` with `turned` in the thumbnail's place: over it, zero padded, or in
// the segment grown at its end; `b` itself where that cannot be, or where
// the number of FF D8 FF sequences would change.
inline Bytes reference_put_back(const Bytes& b, const ReferenceThumbnail& t, const Bytes& turned) {
  if (turned.size() < 3 || turned[0] != 0xFF || turned[1] != 0xD8 || turned[2] != 0xFF) return b;
  Bytes out = b;
  std::uint64_t segment_length = t.segment_end - 4;
  if (turned.size() > t.length) {
    const std::uint64_t growth = turned.size() - t.length;
    segment_length += growth;
    if (t.start + t.length != t.segment_end || segment_length > 65535) return b;
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(t.segment_end), growth, 0);
  }
  for (std::uint64_t i = 0; i < t.length; ++i) out[t.start + i] = 0;
  for (std::uint64_t i = 0; i < turned.size(); ++i) out[t.start + i] = turned[i];
  for (int i = 0; i < 4; ++i) {
    out[t.length_value + i] = static_cast<std::uint8_t>(turned.size() >> (8 * i));
  }
  out[4] = static_cast<std::uint8_t>(segment_length >> 8);
  out[5] = static_cast<std::uint8_t>(segment_length);
  const auto count = [](const Bytes& x) {
    return reference_sequences(x.data(), static_cast<std::int64_t>(x.size())).size();
  };
  return count(out) == count(b) ? out : b;
}
