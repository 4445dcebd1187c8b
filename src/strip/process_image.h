// The per-file pipeline.
#pragma once

#include <string>

#include "driver/run_totals.h"
#include "platform/platform.h"

// Handles one .jpg file of the walk: a camera file is loaded, turned upright
// when its Orientation says so, cut before its extra preview, and put in place
// of the original with its times; its console line is printed and ended.
// Anything else is left alone without a word. Returns a ResultCode.
int process_image(const Platform& os, RunTotals& totals, const std::string& name,
                  const std::string& folder);
