#include "strip/preview_cut.h"

#include <cstring>

std::int64_t find_preview_cut(const std::uint8_t* image, std::int64_t n, int* soi_count) {
  static constexpr std::uint8_t kSequence[3] = {0xFF, 0xD8, 0xFF};
  // memchr finds the candidate FF bytes far faster than a byte-by-byte loop;
  // the count and the cut are the same.
  std::int64_t s = 0;
  while (s + 2 < n) {
    const void* hit = std::memchr(image + s, 0xFF, static_cast<std::size_t>(n - 2 - s));
    if (hit == nullptr) break;
    s = static_cast<const std::uint8_t*>(hit) - image;
    if (std::memcmp(image + s, kSequence, 3) == 0) {
      if (*soi_count == 3) return s;
      ++*soi_count;
    }
    ++s;
  }
  return -1;
}
