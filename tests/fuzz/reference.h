// Plain, obviously right versions of the two scans, for the fuzz targets to
// hold the real ones against. They read the bytes one by one and trust
// nothing about the layout.
#pragma once

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
