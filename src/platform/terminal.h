// Whether standard output is an interactive terminal (a console on Windows),
// and whether the console window is this program's own.
#pragma once

bool stdout_is_terminal();

// Whether a window was opened for this program alone, with its standard
// input and output both that window (Windows, started from Explorer: by a
// double-click or by dropping a folder on it). Such a window closes the
// moment the program ends, so the program waits for Enter first. Never when
// started from a console, a script, or with either stream redirected; never
// on POSIX, where a terminal outlives the programs it runs.
bool console_window_is_own();

// The decision itself: `processes` attached to the console (this one
// included; 0 when there is none), and whether standard input and output
// are the console.
bool window_is_own(unsigned processes, bool input_is_console, bool output_is_console);

// Reads standard input up to the end of a line, or to its end.
void wait_for_enter();
