#include "driver/file_budget.h"

#include <algorithm>

namespace {

// The standard streams, the walk's listing and folder, a folder being
// synced, a program being started, and room to spare.
constexpr int kReserved = 24;
// A file at work holds its folder, the picture, its output, the turned
// picture and the two nameless files its thumbnail is turned through. The
// walk's own thread may work on one too.
constexpr int kPerFileAtWork = 6;
// A prepared file holds its output, if it was turned the turned picture,
// and its folder (shared with the other files opened there).
constexpr int kPerFileWaiting = 3;
constexpr std::size_t kMostInBatch = 64;
constexpr std::size_t kMostWaiting = 32;

}  // namespace

FileBudget plan_file_budget(int workers_wanted, int open_files) {
  const int spare = open_files - kReserved;
  FileBudget budget;
  // At most half the spare files go to the files at work.
  budget.workers = std::clamp(spare / 2 / kPerFileAtWork - 1, 1, std::max(workers_wanted, 1));
  const int left = spare - (budget.workers + 1) * kPerFileAtWork;
  // What is left is shared between the batch and the files waiting for it.
  const auto each = static_cast<std::size_t>(std::max(left / kPerFileWaiting / 2, 1));
  budget.batch = std::min(each, kMostInBatch);
  budget.cameras_waiting = std::min(each, kMostWaiting);
  return budget;
}
