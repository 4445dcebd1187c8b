// What the process settles before it does anything else.
#pragma once

// Makes sure standard input, output and error are open (on the null device
// where they were closed), so that no file the tool opens can ever be taken
// for one of them, and has a write to a closed pipe fail instead of ending
// the run. Call first thing in main.
void prepare_process();
