#include "orient/exif_thumbnail.h"

#include <algorithm>

namespace {

constexpr std::int64_t kSegmentLength = 4;  // the Exif segment's length field
constexpr std::int64_t kTiffStart = 12;     // after FF D8, FF E1, the length and "Exif\0\0"
constexpr std::int64_t kEntrySize = 12;
constexpr std::uint16_t kThumbnailOffsetTag = 0x0201;
constexpr std::uint16_t kThumbnailLengthTag = 0x0202;
constexpr std::uint16_t kLongType = 4;

std::uint32_t little(const std::uint8_t* p, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

void put_little32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool starts_jpeg(const std::uint8_t* p, std::int64_t n) {
  return n >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF;
}

// An IFD read from the segment: where its entries begin, how many, and the
// offset (from the TIFF header) of the next IFD.
struct Ifd {
  std::int64_t entries = 0;
  std::int64_t count = 0;
  std::int64_t end = 0;  // just past its next-IFD offset
  std::uint32_t next = 0;
};

// The IFD at `offset` from the TIFF header, when it lies wholly before `end`.
bool read_ifd(const std::uint8_t* head, std::int64_t end, std::uint32_t offset, Ifd* ifd) {
  const std::int64_t at = kTiffStart + offset;
  if (at + 2 > end) return false;
  ifd->entries = at + 2;
  ifd->count = little(head + at, 2);
  ifd->end = ifd->entries + kEntrySize * ifd->count + 4;
  if (ifd->end > end) return false;
  ifd->next = little(head + ifd->end - 4, 4);
  return true;
}

// The value field of the single-LONG entry `tag` of an IFD, or 0 when it has none.
std::int64_t long_value_of(const std::uint8_t* head, const Ifd& ifd, std::uint16_t tag) {
  for (std::int64_t k = 0; k < ifd.count; ++k) {
    const std::uint8_t* entry = head + ifd.entries + kEntrySize * k;
    if (little(entry, 2) != tag) continue;
    const bool single_long = little(entry + 2, 2) == kLongType && little(entry + 4, 4) == 1;
    return single_long ? ifd.entries + kEntrySize * k + 8 : 0;
  }
  return 0;
}

std::int64_t sequences_in(const ByteVector& bytes) {
  std::int64_t count = 0;
  for (std::size_t i = 0; i + 2 < bytes.size(); ++i) {
    count += static_cast<std::int64_t>(starts_jpeg(bytes.data() + i, 3));
  }
  return count;
}

}  // namespace

bool locate_thumbnail(const std::uint8_t* head, std::int64_t n, ThumbnailPlace* place) {
  static constexpr std::uint8_t kStart[] = {0xFF, 0xD8, 0xFF, 0xE1};
  static constexpr std::uint8_t kExifTiff[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0};
  if (n < kTiffStart + 8 || !std::equal(kStart, kStart + 4, head) ||
      !std::equal(kExifTiff, kExifTiff + 10, head + kTiffStart - 6)) {
    return false;
  }
  const std::int64_t end = kSegmentLength + (head[kSegmentLength] << 8 | head[kSegmentLength + 1]);
  Ifd ifd0;
  Ifd ifd1;
  if (end > n || !read_ifd(head, end, little(head + kTiffStart + 4, 4), &ifd0) || ifd0.next == 0 ||
      !read_ifd(head, end, ifd0.next, &ifd1)) {
    return false;
  }
  const std::int64_t offset_value = long_value_of(head, ifd1, kThumbnailOffsetTag);
  const std::int64_t length_value = long_value_of(head, ifd1, kThumbnailLengthTag);
  if (offset_value == 0 || length_value == 0) return false;
  const std::int64_t start = kTiffStart + little(head + offset_value, 4);
  const std::int64_t length = little(head + length_value, 4);
  // Nothing of either IFD may lie in the place a new thumbnail is written to.
  if (start < std::max(ifd0.end, ifd1.end) || start + length > end ||
      !starts_jpeg(head + start, length)) {
    return false;
  }
  *place = ThumbnailPlace{start, length, length_value, end};
  return true;
}

bool put_thumbnail_back(const ThumbnailPlace& place, const ByteVector& turned, ByteVector* head) {
  const auto length = static_cast<std::int64_t>(turned.size());
  const std::int64_t growth = std::max<std::int64_t>(0, length - place.length);
  const bool ends_segment = place.start + place.length == place.segment_end;
  const std::int64_t segment_length = place.segment_end - kSegmentLength + growth;
  if (!starts_jpeg(turned.data(), length) || (growth > 0 && !ends_segment) ||
      segment_length > kLargestSegment) {
    return false;
  }
  ByteVector result = *head;
  const auto start = result.begin() + static_cast<std::ptrdiff_t>(place.start);
  if (growth > 0) {
    result.insert(start + static_cast<std::ptrdiff_t>(place.length),
                  static_cast<std::size_t>(growth), 0);
  }
  const auto place_start = result.begin() + static_cast<std::ptrdiff_t>(place.start);
  std::fill_n(place_start, std::max(length, place.length), 0);
  std::copy(turned.begin(), turned.end(), place_start);
  put_little32(result.data() + place.length_value, static_cast<std::uint32_t>(length));
  result[kSegmentLength] = static_cast<std::uint8_t>(segment_length >> 8);
  result[kSegmentLength + 1] = static_cast<std::uint8_t>(segment_length);
  if (sequences_in(result) != sequences_in(*head)) return false;
  *head = std::move(result);
  return true;
}
