// The three banner lines every run starts with.
#pragma once

// "Trimvane V1.02b (Mmm dd yyyy hh:mm:ss)", the notice line and an empty line,
// with the date and time at which this file was compiled.
const char* banner_text();
