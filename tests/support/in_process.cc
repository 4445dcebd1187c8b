#include "support/in_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "driver/run_main.h"
#include "strip/process_image.h"

namespace {

const Platform* g_listing_base = nullptr;
bool g_descending = false;

int sorted_list_folder(const std::string& folder, std::vector<FolderEntry>* entries) {
  const int status = g_listing_base->list_folder(folder, entries);
  std::sort(entries->begin(), entries->end(), [](const FolderEntry& a, const FolderEntry& b) {
    return g_descending ? a.name > b.name : a.name < b.name;
  });
  return status;
}

}  // namespace

CapturedRun run_main_captured(const Platform& os, const std::string& folder) {
  const char* const argv[] = {"trimvane", folder.c_str()};
  CapturedRun run;
  testing::internal::CaptureStdout();
  run.status = run_main(2, argv, os);
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

Platform with_sorted_listing(const Platform& base, bool descending) {
  g_listing_base = &base;
  g_descending = descending;
  Platform sorted = base;
  sorted.list_folder = sorted_list_folder;
  return sorted;
}
