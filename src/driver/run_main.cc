#include "driver/run_main.h"

#include <string_view>

#include "driver/banner.h"
#include "driver/image_pipeline.h"
#include "platform/console.h"
#include "platform/terminal.h"
#include "strip/run_totals.h"

namespace {

void print_usage(const char* program) {
  console_print("Usage: %s inputdir\n\n", program);
  console_print(
      "This program removes the useless 3rd JPEG preview image from\n"
      "EOS 300D/Kiss/Rebel Digital .JPG images.\n");
  console_print("\nOr: %s -n inputdir   (or --dry-run)\n", program);
  console_print(
      "  does all the work on every picture but changes nothing: prints what a\n"
      "  run would print, then one line more. No file or folder is created,\n"
      "  written or removed, and no time moves. What only putting a file in its\n"
      "  place can meet (a read-only folder, a full disk) is not foreseen.\n"
      "\n"
      "Started in a window of its own (on Windows, by a double-click or by\n"
      "dropping a folder on it), it waits for Enter before the window closes.\n");
}

// A window opened for this program alone would close with it, before its
// text could be read.
void end_of_run() {
  if (console_window_is_own()) {
    console_print("Press Enter to close this window.\n");
    console_flush();
    wait_for_enter();
  }
}

bool is_dry_run_option(std::string_view argument) {
  return argument == "-n" || argument == "--dry-run";
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
  // name (or of an option's) is still reached as ./--help.
  const bool dry_run = argc == 3 && is_dry_run_option(argv[1]);
  if ((argc != 2 && !dry_run) || argument == "--help" || argument == "-h" ||
      is_dry_run_option(argument)) {
    print_usage(argc > 0 ? argv[0] : "trimvane");
    end_of_run();
    console_flush();
    return argc == 2 && !is_dry_run_option(argument) ? 0 : 1;
  }
  RunTotals totals;
  run_pipeline(os, argv[argc - 1], totals, dry_run);
  print_totals(totals);
  if (dry_run) console_print("Dry run: nothing was changed.\n");
  end_of_run();
  console_flush();
  return 0;
}
