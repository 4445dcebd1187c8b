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

bool is_restart(std::uint8_t byte) {
  return byte >= 0xD0 && byte <= 0xD7;
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
std::int64_t skip_plain_blocks(const std::uint8_t* bytes, std::int64_t n, std::int64_t at) {
  while (at + 17 <= n) {
    Lanes here;
    Lanes next;
    std::memcpy(&here, bytes + at, sizeof here);
    std::memcpy(&next, bytes + at + 1, sizeof next);
    const auto data_follows = (next == 0) | (next == 0xFF) | ((next & 0xF8) == 0xD0);
    const auto markers = reinterpret_cast<Lanes>((here == 0xFF) & ~data_follows);
    if (any_lane(markers)) break;
    at += 16;
  }
  return at;
}

// Takes the byte after one or more FF outside coded data.
void take_marker(ImageEndWalk* walk, std::uint8_t marker) {
  walk->marker = marker;
  if (marker == kEndOfImage) {
    walk->step = ImageEndWalk::kEnded;
    walk->end = walk->position + 1;
  } else if (marker == kStartOfImage || marker == 0x00) {
    walk->step = ImageEndWalk::kBroken;
  } else {
    walk->step = stands_alone(marker) ? ImageEndWalk::kMarkerFF : ImageEndWalk::kLengthHigh;
  }
}

// One byte of the walk, for every step but the two that pass over runs of
// bytes (a segment's body, coded data).
void take_byte(ImageEndWalk* walk, std::uint8_t byte) {
  switch (walk->step) {
    case ImageEndWalk::kStartFF:
      walk->step = byte == 0xFF ? ImageEndWalk::kStartD8 : ImageEndWalk::kBroken;
      break;
    case ImageEndWalk::kStartD8:
      walk->step = byte == kStartOfImage ? ImageEndWalk::kMarkerFF : ImageEndWalk::kBroken;
      break;
    case ImageEndWalk::kMarkerFF:
      walk->step = byte == 0xFF ? ImageEndWalk::kMarkerCode : ImageEndWalk::kBroken;
      break;
    case ImageEndWalk::kMarkerCode:
      if (byte != 0xFF) take_marker(walk, byte);  // FF: fill before the marker
      break;
    case ImageEndWalk::kLengthHigh:
      walk->left = static_cast<std::int64_t>(byte) << 8;
      walk->step = ImageEndWalk::kLengthLow;
      break;
    case ImageEndWalk::kLengthLow:
      walk->left |= byte;
      walk->left -= 2;  // the length counts its own two bytes
      walk->step = walk->left < 0 ? ImageEndWalk::kBroken : ImageEndWalk::kSegmentBody;
      break;
    case ImageEndWalk::kCodedFF:
      // Stuffing (FF 00) and restarts belong to the data; further FF are fill
      // before whatever marker ends it.
      if (byte == 0x00 || is_restart(byte)) {
        walk->step = ImageEndWalk::kCodedData;
      } else if (byte != 0xFF) {
        take_marker(walk, byte);
      }
      break;
    default:
      break;
  }
  walk->position += 1;
}

// The step after a segment's body: coded data follows a scan header.
ImageEndWalk::Step after_segment(const ImageEndWalk& walk) {
  return walk.marker == kStartOfScan ? ImageEndWalk::kCodedData : ImageEndWalk::kMarkerFF;
}

}  // namespace

void walk_image_bytes(ImageEndWalk* walk, const std::uint8_t* bytes, std::int64_t n) {
  std::int64_t at = 0;
  while (at < n) {
    switch (walk->step) {
      case ImageEndWalk::kEnded:
      case ImageEndWalk::kBroken:
        return;
      case ImageEndWalk::kSegmentBody: {
        const std::int64_t passed = walk->left < n - at ? walk->left : n - at;
        at += passed;
        walk->position += passed;
        walk->left -= passed;
        if (walk->left == 0) walk->step = after_segment(*walk);
        break;
      }
      case ImageEndWalk::kCodedData: {
        const std::int64_t from = skip_plain_blocks(bytes, n, at);
        const void* found = std::memchr(bytes + from, 0xFF, static_cast<std::size_t>(n - from));
        const std::int64_t ff =
            found == nullptr ? n : static_cast<const std::uint8_t*>(found) - bytes;
        walk->position += ff - at;
        at = ff;
        if (at < n) {
          walk->step = ImageEndWalk::kCodedFF;
          walk->position += 1;
          at += 1;
        }
        break;
      }
      default:
        take_byte(walk, bytes[at]);
        at += 1;
        // A segment with nothing in it is passed at once.
        if (walk->step == ImageEndWalk::kSegmentBody && walk->left == 0) {
          walk->step = after_segment(*walk);
        }
        break;
    }
  }
}

std::int64_t find_main_image_end(const std::uint8_t* image, std::int64_t n) {
  ImageEndWalk walk;
  walk_image_bytes(&walk, image, n);
  return walk.end;
}
