// A run that changes nothing: every picture goes the whole way up to its
// replacement, on a table of calls that leaves the tree as it is.
#pragma once

#include <memory>

#include "platform/platform.h"

struct DryRun;

struct DryRunEnd {
  void operator()(DryRun* dry) const;
};

// A table over `real` for a dry run. What would be created beside a picture
// is made nameless instead; removing, renaming over a picture and syncing a
// folder do nothing but remember. A name that was to be replaced, reached
// again later (through a folder link, a file link met after its target),
// shows what the run would have put there, made afresh from the picture, so
// that every line and total comes out as the real run's. `real` must
// outlive it.
std::unique_ptr<DryRun, DryRunEnd> start_dry_run(const Platform& real);
const Platform& dry_run_table(const DryRun& dry);
