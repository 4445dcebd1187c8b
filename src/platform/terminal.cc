#include <cstdio>

#include "platform/terminal.h"

bool window_is_own(unsigned processes, bool input_is_console, bool output_is_console) {
  // A console opened by cmd, PowerShell or a script has them attached too.
  return processes == 1 && input_is_console && output_is_console;
}

void wait_for_enter() {
  int c = 0;
  do {
    c = std::getchar();
  } while (c != '\n' && c != EOF);
}
