#include "orient/thumbnail_turn.h"

#include <algorithm>

#include "orient/exif_thumbnail.h"
#include "orient/jpegtran.h"
#include "platform/holders.h"

namespace {

// The Exif segment, the marker before it and the two bytes after it.
constexpr std::int64_t kLargestHead = 4 + kLargestSegment + 2;
constexpr std::int64_t kMoveBlock = std::int64_t{1} << 16;

// The file's first bytes, up to the end of its Exif segment and two more.
bool read_head(const Platform& os, FileHandle file, ByteVector* head) {
  head->resize(kLargestHead);
  const std::int64_t got = os.read_at(file, 0, head->data(), kLargestHead);
  if (got < 6) return false;
  const std::int64_t end = 4 + ((*head)[4] << 8 | (*head)[5]);
  head->resize(static_cast<std::size_t>(std::min(got, end + 2)));
  return true;
}

// jpegtran's turn of `thumbnail`, given and taken through nameless files.
bool turned_by_jpegtran(const Platform& os, int orientation, const std::uint8_t* thumbnail,
                        std::int64_t length, ByteVector* turned) {
  OpenFile input;
  OpenFile output;
  input.os = output.os = &os;
  FileInfo info;
  if (os.create_temporary(&input.handle) != 0 || os.create_temporary(&output.handle) != 0 ||
      os.write_at(input.handle, 0, thumbnail, length) != 0 ||
      !jpegtran_turn_thumbnail(os, orientation, input.handle, output.handle) ||
      os.file_info(output.handle, &info) != 0 || info.length > kLargestSegment) {
    return false;
  }
  turned->resize(static_cast<std::size_t>(info.length));
  return os.read_at(output.handle, 0, turned->data(), info.length) == info.length;
}

// Moves everything from `from` to the end of the file `by` bytes further on,
// the last block first, so nothing is overwritten before it is read.
ThumbnailTurn move_tail(const Platform& os, FileHandle file, std::int64_t from, std::int64_t by) {
  FileInfo info;
  if (os.file_info(file, &info) != 0) return ThumbnailTurn::kLeftAlone;
  ByteVector block(kMoveBlock);
  for (std::int64_t end = info.length; end > from;) {
    const std::int64_t start = std::max(from, end - kMoveBlock);
    if (os.read_at(file, start, block.data(), end - start) != end - start) {
      return end == info.length ? ThumbnailTurn::kLeftAlone : ThumbnailTurn::kWriteFailed;
    }
    if (os.write_at(file, start + by, block.data(), end - start) != 0) {
      return ThumbnailTurn::kWriteFailed;
    }
    end = start;
  }
  return ThumbnailTurn::kTurned;
}

}  // namespace

ThumbnailTurn turn_thumbnail_in_file(const Platform& os, FileHandle file, int orientation) {
  ByteVector head;
  ThumbnailPlace place;
  ByteVector turned;
  if (!read_head(os, file, &head) ||
      !locate_thumbnail(head.data(), static_cast<std::int64_t>(head.size()), &place) ||
      !turned_by_jpegtran(os, orientation, head.data() + place.start, place.length, &turned) ||
      !put_thumbnail_back(place, turned, &head)) {
    return ThumbnailTurn::kLeftAlone;
  }
  const std::int64_t growth = std::max<std::int64_t>(0, std::ssize(turned) - place.length);
  if (growth > 0) {
    const ThumbnailTurn moved = move_tail(os, file, place.segment_end, growth);
    if (moved != ThumbnailTurn::kTurned) return moved;
  }
  // The segment as a whole: its length field, the length tag and the place.
  if (os.write_at(file, 0, head.data(), place.segment_end + growth) != 0) {
    return ThumbnailTurn::kWriteFailed;
  }
  return ThumbnailTurn::kTurned;
}
