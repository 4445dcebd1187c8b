#include "driver/banner.h"

// TRIMVANE_VERSION comes from CMakeLists.txt, the one place that defines it,
// and TRIMVANE_BUILD_DATE from cmake/build-date.cmake: "Mmm dd yyyy hh:mm:ss"
// with the day padded by a blank, taken from SOURCE_DATE_EPOCH or the release
// date and never from the clock, so that builds are reproducible.
const char* banner_text() {
  return "Trimvane V" TRIMVANE_VERSION " (" TRIMVANE_BUILD_DATE
         ")\n"
         "Copyright (c) 2026 the Trimvane authors\n"
         "\n";
}
