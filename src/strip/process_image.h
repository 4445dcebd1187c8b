// The per-file pipeline.
#pragma once

#include <string>

#include "platform/platform.h"
#include "strip/result_codes.h"
#include "strip/run_totals.h"

// Handles one .jpg file of the walk: a camera file is loaded, turned upright
// when its Orientation says so, cut before its extra preview, and put in place
// of the original with its times; its console line is printed and ended.
// Anything else is left alone without a word.
ResultCode process_image(const Platform& os, RunTotals& totals, const std::string& name,
                         const std::string& folder);
