// The Orientation locator and the entry check on any bytes, copied to a heap
// block of exactly n bytes so that AddressSanitizer sees any read at or past
// n. Both must agree with the plain reading of the fixed layout, and a
// search that finds nothing must leave the mark as it was.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz/reference.h"
#include "orient/orientation.h"

namespace {

[[noreturn]] void fail(const char* what, long long at) {
  (void)std::fprintf(stderr, "%s (at %lld)\n", what, at);
  std::abort();
}

void check_entry_at(const std::uint8_t* image, std::int64_t n, std::int64_t value_offset) {
  if (orientation_entry_at(image, n, value_offset) !=
      reference_entry_at(image, n, value_offset - 8)) {
    fail("orientation_entry_at disagrees", value_offset);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto n = static_cast<std::int64_t>(size);
  const std::unique_ptr<std::uint8_t[]> image(new std::uint8_t[size]);
  if (size != 0) std::memcpy(image.get(), data, size);

  OrientationMark mark{-7, -9};  // must stay so when nothing is found
  const bool found = locate_orientation(image.get(), n, &mark);
  const ReferenceTurn want = reference_turn(image.get(), n);
  if (found != want.found) fail("locate_orientation disagrees on finding", want.value_offset);
  if (found && (mark.value != want.value || mark.value_offset != want.value_offset)) {
    fail("locate_orientation found another entry", mark.value_offset);
  }
  if (!found && (mark.value != -7 || mark.value_offset != -9)) fail("mark changed", 0);

  // Every offset near the start and near the end, where the bounds matter.
  for (std::int64_t at = -4; at < std::min<std::int64_t>(n + 16, 96); ++at) {
    check_entry_at(image.get(), n, at);
  }
  for (std::int64_t at = std::max<std::int64_t>(96, n - 16); at < n + 16; ++at) {
    check_entry_at(image.get(), n, at);
  }
  return 0;
}
