// Standard output as the tool uses it: every fragment shown at once on a
// terminal, 4096-byte blocks when redirected to a file or pipe.
#pragma once

#include <string>

// Sets the buffering of standard output; call once, before anything is printed.
void console_setup();

// Formatted printing to standard output, or to the text this thread is
// gathering (console_gather).
void console_print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// From now on this thread's console_print appends to `text` instead of
// printing; nullptr prints again. A file's line is gathered this way while it
// is worked on, and printed whole once its turn comes. Not on a terminal,
// where each fragment is shown as it comes (console_shows_at_once).
void console_gather(std::string* text);

// From now on this thread's console_print appends to `text`, on a terminal
// too, until it is called again; returns what it printed to before
// (nullptr: standard output). For work whose text is not to be shown.
std::string* console_divert(std::string* text);

// Whether standard output is a terminal, which shows every fragment the
// moment it is printed, before anything a child process prints after it.
// The files are then worked on one at a time, each put in place before the
// next one begins, so that the fragments come in the order of the walk.
bool console_shows_at_once();

// Prints `text` as it stands.
void console_print_text(const std::string& text);

// Writes out whatever is buffered.
void console_flush();
