// Standard output as the tool uses it: every fragment shown at once on a
// terminal, 4096-byte blocks when redirected to a file or pipe.
#pragma once

// Sets the buffering of standard output; call once, before anything is printed.
void console_setup();

// Formatted printing to standard output.
void console_print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes out whatever is buffered.
void console_flush();
