// When the program waits for Enter before it ends: only in a window opened
// for it alone, with nothing redirected.
#include <gtest/gtest.h>

#include "platform/terminal.h"

TEST(OwnWindow, OnlyAWindowOpenedForThisProgramAloneWaits) {
  struct Case {
    unsigned processes;
    bool input_is_console;
    bool output_is_console;
    bool waits;
  };
  const Case cases[] = {
      {1, true, true, true},     // double-click, or a folder dropped on it
      {2, true, true, false},    // started from cmd, PowerShell or a script
      {3, true, true, false},    // ... from a script run from a console
      {0, false, false, false},  // no console at all
      {1, false, true, false},   // input redirected: nobody to press Enter
      {1, true, false, false},   // output redirected: nothing to read there
      {0, true, true, false},    // the console could not be asked
  };
  for (const Case& c : cases) {
    EXPECT_EQ(window_is_own(c.processes, c.input_is_console, c.output_is_console), c.waits)
        << c.processes << " processes, input " << c.input_is_console << ", output "
        << c.output_is_console;
  }
  // Where a terminal outlives the programs it runs, or in a test run whose
  // streams are the test's, nothing waits.
  EXPECT_FALSE(console_window_is_own());
}
