// Working on the walk's files, several at a time, with every line, total and
// replacement in the order of the walk.
#pragma once

#include <string>

#include "platform/platform.h"
#include "strip/run_totals.h"

// Walks `folder` and works on every .jpg file below it. With more than one
// worker (os.worker_count), the next files are read, turned and copied while
// earlier ones are still at work; their outputs take their places, their
// lines are printed and their totals counted strictly in the walk's order,
// folder by folder in batches, exactly as when they are worked on one after
// another. A file that cannot be read still ends the rest of its folder: no
// file after it there writes anything or takes a place. A dry run does all
// of it but change the tree (start_dry_run), and prints the same.
void run_pipeline(const Platform& os, const std::string& folder, RunTotals& totals, bool dry_run);
