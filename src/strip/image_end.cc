#include "strip/image_end.h"

#include <cstring>

namespace {

constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kStartOfScan = 0xDA;

// Markers that stand alone, with no length after them: the restart markers
// and TEM.
bool stands_alone(std::uint8_t marker) {
  return (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01;
}

// Sixteen bytes side by side, as the compiler's vector extension holds them.
using Lanes = std::uint8_t __attribute__((vector_size(16)));

// Taken by reference: a vector passed by value has no settled way across
// calls where the build does not assume SSE (32-bit Windows).
bool any_lane(const Lanes& lanes) {
  std::uint64_t halves[2];
  std::memcpy(halves, &lanes, sizeof halves);
  return (halves[0] | halves[1]) != 0;
}

// Passes over whole blocks of 16 bytes in which no FF begins a marker, from
// `at`. Coded data is full of stuffed FF 00, so looking at each FF in turn
// would cost a step for every few dozen bytes; a block at a time costs one
// for every sixteen, and a marker stops it.
std::int64_t skip_plain_blocks(const std::uint8_t* image, std::int64_t n, std::int64_t at) {
  while (at + 17 <= n) {
    Lanes here;
    Lanes next;
    std::memcpy(&here, image + at, sizeof here);
    std::memcpy(&next, image + at + 1, sizeof next);
    const auto data_follows = (next == 0) | (next == 0xFF) | ((next & 0xF8) == 0xD0);
    const auto markers = reinterpret_cast<Lanes>((here == 0xFF) & ~data_follows);
    if (any_lane(markers)) break;
    at += 16;
  }
  return at;
}

// The offset of the marker that ends the coded data starting at `at`: the
// first FF that is neither a stuffed FF 00 nor a restart marker (FF bytes
// filling before one count as data), or -1 when none comes before `n`.
std::int64_t end_of_coded_data(const std::uint8_t* image, std::int64_t n, std::int64_t at) {
  while (at < n) {
    at = skip_plain_blocks(image, n, at);
    const void* found = std::memchr(image + at, 0xFF, static_cast<std::size_t>(n - at));
    if (found == nullptr) return -1;
    const std::int64_t ff = static_cast<const std::uint8_t*>(found) - image;
    std::int64_t next = ff + 1;
    while (next < n && image[next] == 0xFF) ++next;
    if (next >= n) return -1;
    if (image[next] != 0x00 && !(image[next] >= 0xD0 && image[next] <= 0xD7)) return ff;
    at = next + 1;
  }
  return -1;
}

}  // namespace

std::int64_t find_main_image_end(const std::uint8_t* image, std::int64_t n) {
  if (n < 2 || image[0] != 0xFF || image[1] != kStartOfImage) return -1;
  std::int64_t at = 2;
  while (at < n) {
    if (image[at] != 0xFF) return -1;
    while (at < n && image[at] == 0xFF) ++at;  // fill bytes before a marker
    if (at >= n) return -1;
    const std::uint8_t marker = image[at++];
    if (marker == kEndOfImage) return at;
    if (marker == kStartOfImage || marker == 0x00) return -1;
    if (stands_alone(marker)) continue;
    if (at + 2 > n) return -1;
    const std::int64_t length = (image[at] << 8) | image[at + 1];
    if (length < 2 || at + length > n) return -1;
    at += length;
    if (marker == kStartOfScan) {
      at = end_of_coded_data(image, n, at);
      if (at < 0) return -1;
    }
  }
  return -1;
}
