// Files of one folder, prepared, that take their places together.
#pragma once

#include <memory>
#include <vector>

#include "platform/platform.h"
#include "strip/image_state.h"
#include "strip/run_totals.h"

// In the order of the walk, all of one folder.
struct ImageBatch {
  std::vector<std::unique_ptr<ImageState>> files;
};

// Flushes every prepared output to the disk, then puts each in place in
// order, then syncs the folder once for all of them; then ends each file's
// line (saying so when that sync failed), prints it and adds its share to
// `totals`. No name is replaced before the bytes
// that take its place are on the disk. The files stay in the batch, ended.
void finish_batch(const Platform& os, ImageBatch* batch, RunTotals& totals);

// Adds one file's totals to the run's.
void add_totals(RunTotals& totals, const RunTotals& file);
