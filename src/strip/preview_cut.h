// Finding where the camera's extra preview begins.
#pragma once

#include <cstdint>

// Scans `n` bytes for places where FF D8 FF begins, overlapping ones included,
// adding each one met to `soi_count`. Returns the offset of the fourth such
// place (counting those already in `soi_count`), the point before which the
// file is kept, or -1 when there is none. Never reads at or past `n`.
std::int64_t find_preview_cut(const std::uint8_t* image, std::int64_t n, int* soi_count);
