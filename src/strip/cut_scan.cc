#include "strip/cut_scan.h"

#include "strip/preview_cut.h"

namespace {

// Takes the fourth sequence, at `offset`: a cut only past the main image.
void decide(CutScan* scan, std::int64_t offset) {
  scan->decided = true;
  if (scan->walk.end >= 0 && offset >= scan->walk.end) scan->cut = offset;
}

// Sequences that begin in the carried bytes and end in the new ones.
bool met_across(CutScan* scan, const std::uint8_t* bytes, std::int64_t n) {
  std::uint8_t window[4];
  int length = 0;
  for (int i = 0; i < scan->carried; ++i) window[length++] = scan->carry[i];
  for (std::int64_t i = 0; i < n && i < 2; ++i) window[length++] = bytes[i];
  for (int i = 0; i < scan->carried && i + 2 < length; ++i) {
    if (window[i] != 0xFF || window[i + 1] != 0xD8 || window[i + 2] != 0xFF) continue;
    const std::int64_t offset = scan->position - scan->carried + i;
    if (scan->soi_count == 3) {
      decide(scan, offset);
      return true;
    }
    ++scan->soi_count;
  }
  return false;
}

void keep_last_bytes(CutScan* scan, const std::uint8_t* bytes, std::int64_t n) {
  if (n >= 2) {
    scan->carry[0] = bytes[n - 2];
    scan->carry[1] = bytes[n - 1];
    scan->carried = 2;
  } else if (n == 1) {
    if (scan->carried == 2) scan->carry[0] = scan->carry[1];
    scan->carried = scan->carried == 0 ? 1 : 2;
    scan->carry[scan->carried - 1] = bytes[0];
  }
}

}  // namespace

void scan_for_cut(CutScan* scan, const std::uint8_t* bytes, std::int64_t n) {
  if (!scan->decided) {
    // The end of the main image must be known as far as these bytes reach
    // before a sequence among them can be judged.
    walk_image_bytes(&scan->walk, bytes, n);
    if (!met_across(scan, bytes, n)) {
      const std::int64_t found = find_preview_cut(bytes, n, &scan->soi_count);
      if (found >= 0) decide(scan, scan->position + found);
    }
    keep_last_bytes(scan, bytes, n);
  }
  scan->position += n;
}
