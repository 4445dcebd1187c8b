// The preview cut on any bytes: it must read nothing at or past n (the input
// is copied to a heap block of exactly n bytes, so AddressSanitizer sees any
// such read), and its cut and count must be the plain scan's, whatever count
// the scan starts from.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz/reference.h"
#include "strip/preview_cut.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto n = static_cast<std::int64_t>(size);
  const std::unique_ptr<std::uint8_t[]> image(new std::uint8_t[size]);
  if (size != 0) std::memcpy(image.get(), data, size);
  const auto sequences = reference_sequences(image.get(), n);

  for (int already = 0; already <= 3; ++already) {
    int count = already;
    const std::int64_t cut = find_preview_cut(image.get(), n, &count);
    const auto needed = static_cast<std::size_t>(3 - already);  // the cut's index
    const bool has_cut = sequences.size() > needed;
    const std::int64_t want_cut = has_cut ? sequences[needed] : -1;
    const int want_count = has_cut ? 3 : already + static_cast<int>(sequences.size());
    if (cut != want_cut || count != want_count) {
      (void)std::fprintf(stderr, "starting at %d: cut %lld count %d, expected cut %lld count %d\n",
                         already, static_cast<long long>(cut), count,
                         static_cast<long long>(want_cut), want_count);
      std::abort();
    }
  }
  return 0;
}
