#include "strip/preview_cut.h"

#include <cstring>

std::int64_t find_preview_cut(const std::uint8_t* image, std::int64_t n, int* soi_count) {
  // The scan looks for the middle byte, D8: in a picture's coded data it is
  // far rarer than FF, which every stuffed FF 00 adds, so memchr leaps much
  // further between candidates. The sequences found, and their order, are
  // those of a byte-by-byte scan.
  std::int64_t s = 0;  // the first place a sequence may still begin
  while (s + 2 < n) {
    const void* middle = std::memchr(image + s + 1, 0xD8, static_cast<std::size_t>(n - 2 - s));
    if (middle == nullptr) break;
    const std::int64_t start = static_cast<const std::uint8_t*>(middle) - image - 1;
    if (image[start] == 0xFF && image[start + 2] == 0xFF) {
      if (*soi_count == 3) return start;
      ++*soi_count;
    }
    s = start + 1;
  }
  return -1;
}
