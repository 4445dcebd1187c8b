// How far the run may work ahead, given how many files it may hold open.
#pragma once

#include <cstddef>

// The open-file limit assumed where the platform cannot tell.
inline constexpr int kFewOpenFiles = 256;

struct FileBudget {
  int workers = 1;
  std::size_t batch = 1;            // files of one folder that take their places together
  std::size_t cameras_waiting = 1;  // camera files prepared and waiting for their places
};

// Sizes the workers, the batches and the camera files waiting so that the
// files they hold open, with the walk's own, stay within `open_files`:
// the run's own work ahead never makes an open fail. `workers_wanted` is
// the most workers to start.
FileBudget plan_file_budget(int workers_wanted, int open_files);
