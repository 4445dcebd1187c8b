#include "driver/run_main.h"

#include <string_view>

#include "driver/banner.h"
#include "driver/image_pipeline.h"
#include "platform/console.h"
#include "strip/run_totals.h"

namespace {

void print_usage(const char* program) {
  console_print("Usage: %s inputdir\n\n", program);
  console_print(
      "This program removes the useless 3rd JPEG preview image from\n"
      "EOS 300D/Kiss/Rebel Digital .JPG images.\n");
}

void print_totals(const RunTotals& totals) {
  console_print("%lld files stripped\n", static_cast<long long>(totals.files_stripped));
  if (totals.files_rotated != 0) {
    console_print("%lld files rotated\n", static_cast<long long>(totals.files_rotated));
  }
  console_print("%lld bytes saved\n", static_cast<long long>(totals.bytes_saved));
}

}  // namespace

int run_main(int argc, const char* const* argv, const Platform& os) {
  const std::string_view argument = argc == 2 ? argv[1] : "";
  if (argument == "--version") {
    const std::string_view banner = banner_text();
    console_print("%.*s", static_cast<int>(banner.find('\n') + 1), banner.data());
    console_flush();
    return 0;
  }
  console_print("%s", banner_text());
  // --help and -h are the usual requests for the usage text; a folder of that
  // name is still reached as ./--help.
  if (argc != 2 || argument == "--help" || argument == "-h") {
    print_usage(argc > 0 ? argv[0] : "trimvane");
    console_flush();
    return argc == 2 ? 0 : 1;
  }
  RunTotals totals;
  run_pipeline(os, argv[1], totals);
  print_totals(totals);
  console_flush();
  return 0;
}
