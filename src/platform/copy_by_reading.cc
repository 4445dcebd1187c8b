#include "platform/backend.h"

namespace backend {

int copy_by_reading(FileHandle from, FileHandle to, std::int64_t offset, std::int64_t size) {
  constexpr std::int64_t kBlock = std::int64_t{64} * 1024;
  char block[kBlock];
  for (std::int64_t done = 0; done < size;) {
    const std::int64_t want = size - done < kBlock ? size - done : kBlock;
    if (read_at(from, offset + done, block, want) != want ||
        write_at(to, offset + done, block, want) != 0) {
      return -1;
    }
    done += want;
  }
  return 0;
}

}  // namespace backend
