#include "driver/banner.h"

// TRIMVANE_VERSION comes from CMakeLists.txt, the one place that defines it.
// __DATE__ reads "Mmm dd yyyy" with the day padded by a blank, and __TIME__
// "hh:mm:ss": the very forms the banner shows. The compiler takes both from
// SOURCE_DATE_EPOCH when it is set, which makes builds reproducible.
const char* banner_text() {
  return "Trimvane V" TRIMVANE_VERSION " (" __DATE__ " " __TIME__
         ")\n"
         "Copyright (c) 2026 the Trimvane authors\n"
         "\n";
}
