// The three banner lines every run starts with.
#pragma once

// "Trimvane V1.02b (Mmm dd yyyy hh:mm:ss)", the notice line and an empty line,
// with the build date: the release date or SOURCE_DATE_EPOCH, never the clock.
const char* banner_text();
