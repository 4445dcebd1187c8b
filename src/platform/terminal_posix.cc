#include <unistd.h>

#include "platform/terminal.h"

bool stdout_is_terminal() {
  return isatty(STDOUT_FILENO) == 1;
}
