#include "support/in_process.h"

#include <gtest/gtest.h>

#include "driver/run_main.h"
#include "strip/process_image.h"

CapturedRun run_main_captured(const Platform& os, const std::string& folder,
                              const std::string& option) {
  const char* const argv[] = {"trimvane", option.empty() ? folder.c_str() : option.c_str(),
                              folder.c_str()};
  CapturedRun run;
  testing::internal::CaptureStdout();
  run.status = run_main(option.empty() ? 2 : 3, argv, os);
  run.out = testing::internal::GetCapturedStdout();
  return run;
}

Processed process_captured(const Platform& os, const std::string& name, const std::string& folder) {
  Processed processed;
  testing::internal::CaptureStdout();
  processed.result = process_image(os, processed.totals, name, folder);
  processed.out = testing::internal::GetCapturedStdout();
  return processed;
}
