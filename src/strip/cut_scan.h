// Finding the cut before the camera's extra preview while a file streams by.
#pragma once

#include <cstdint>

#include "strip/image_end.h"

// The file's bytes are handed to scan_for_cut in order, a piece at a time.
// The cut is the fourth place where FF D8 FF begins (overlapping ones
// included), provided the main image has ended by then: a small JPEG carried
// in a segment before the picture can hold that fourth sequence, and cutting
// there would break the picture.
struct CutScan {
  ImageEndWalk walk;
  int soi_count = 0;     // sequences met before the fourth
  bool decided = false;  // the fourth was met; `cut` says whether it is a cut
  std::int64_t cut = -1;
  std::int64_t position = 0;       // offset of the next byte to come
  std::uint8_t carry[2] = {0, 0};  // the last bytes seen, which may begin a sequence
  int carried = 0;
};

void scan_for_cut(CutScan* scan, const std::uint8_t* bytes, std::int64_t n);
