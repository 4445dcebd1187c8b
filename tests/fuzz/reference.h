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
