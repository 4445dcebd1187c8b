#include "orient/orientation.h"

const char* const ORIENTATION_NAMES[9] = {
    "Undefined", "Normal",    "flip horizontal", "rotate 180", "flip vertical",
    "transpose", "rotate 90", "transverse",      "rotate 270",
};

namespace {

constexpr std::uint8_t kApp1Marker = 0xE1;
constexpr std::int64_t kMarkerOffset = 3;
constexpr std::int64_t kEntryCountOffset = 20;
constexpr std::int64_t kFirstEntryOffset = 22;
constexpr std::int64_t kEntrySize = 12;
constexpr std::int64_t kValueInEntry = 8;
constexpr std::uint16_t kOrientationTag = 0x0112;

std::uint16_t little16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t little32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool is_turn(std::uint32_t value) {
  return value == 3 || value == 6 || value == 8;
}

}  // namespace

bool locate_orientation(const std::uint8_t* image, std::int64_t n, OrientationMark* mark) {
  if (n <= kMarkerOffset || image[kMarkerOffset] != kApp1Marker) return false;
  if (n < kEntryCountOffset + 2) return false;
  const int count = little16(image + kEntryCountOffset);
  for (int k = 0; k < count; ++k) {
    const std::int64_t entry = kFirstEntryOffset + kEntrySize * k;
    if (entry + kEntrySize > n) return false;
    if (little16(image + entry) != kOrientationTag) continue;
    const std::uint32_t value = little32(image + entry + kValueInEntry);
    if (is_turn(value)) {
      mark->value = static_cast<std::int32_t>(value);
      mark->value_offset = entry + kValueInEntry;
      return true;
    }
  }
  return false;
}

bool orientation_entry_at(const std::uint8_t* image, std::int64_t n, std::int64_t value_offset) {
  const std::int64_t entry = value_offset - kValueInEntry;
  return entry >= 0 && entry + kEntrySize <= n && little16(image + entry) == kOrientationTag;
}
