// Running the tool's own functions inside the test process, on any platform
// table (the real one or a FakePlatform's), with what they print captured.
#pragma once

#include <string>

#include "platform/platform.h"
#include "strip/run_totals.h"

struct CapturedRun {
  int status = -1;
  std::string out;  // everything printed, banner included
};

// run_main with the one folder argument, after `option` unless it is empty.
CapturedRun run_main_captured(const Platform& os, const std::string& folder,
                              const std::string& option = "");

struct Processed {
  int result = -100;
  std::string out;  // the file's console line, if it has one
  RunTotals totals;
};

// process_image for one file, with fresh totals.
Processed process_captured(const Platform& os, const std::string& name, const std::string& folder);
