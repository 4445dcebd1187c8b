#include "orient/orientation_reset.h"

#include "orient/orientation.h"

namespace {

constexpr std::int64_t kEntryStart = 8;  // the entry begins 8 bytes before its value
constexpr std::int64_t kEntrySize = 12;

}  // namespace

bool reset_orientation_in_file(const Platform& os, FileHandle file, std::int64_t value_offset) {
  std::uint8_t start[2] = {0, 0};
  if (os.read_at(file, 0, start, 2) != 2 || start[0] != 0xFF || start[1] != 0xD8) return false;
  std::uint8_t entry[kEntrySize];
  const std::int64_t entry_start = value_offset - kEntryStart;
  if (entry_start < 0 || os.read_at(file, entry_start, entry, kEntrySize) != kEntrySize ||
      !orientation_entry_at(entry, kEntrySize, kEntryStart)) {
    return false;
  }
  return os.write_at(file, value_offset, kOrientationNormal, 4) == 0 && os.sync(file) == 0;
}
