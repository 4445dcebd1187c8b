#include <unistd.h>

#include "platform/terminal.h"

bool stdout_is_terminal() {
  return isatty(STDOUT_FILENO) == 1;
}

bool console_window_is_own() {
  return false;
}
