#include "platform/console.h"

#include <cstdarg>
#include <cstdio>

#include "platform/terminal.h"

void console_setup() {
  // A terminal gets each fragment the moment it is printed, so that it stands
  // before anything a child process prints; elsewhere, whole blocks.
  if (stdout_is_terminal()) {
    (void)std::setvbuf(stdout, nullptr, _IONBF, 0);
  } else {
    // A buffer of our own: given none, the C library picks the size from the
    // output's block size.
    static char block[4096];
    (void)std::setvbuf(stdout, block, _IOFBF, sizeof block);
  }
}

void console_print(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  (void)std::vprintf(format, args);  // NOLINT(clang-analyzer-valist.Uninitialized): va_start above
  va_end(args);
}

void console_flush() {
  (void)std::fflush(stdout);
}
