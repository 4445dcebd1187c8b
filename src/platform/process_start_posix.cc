#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/process_start.h"

void prepare_process() {
  // A closed descriptor 0, 1 or 2 would be handed to the next file opened:
  // a picture's replacement would then receive whatever is printed.
  // Taken in order, the lowest free descriptor is always the one being filled.
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      (void)open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
  }
  // Output nobody reads any more is no reason to leave the tree half done.
  (void)std::signal(SIGPIPE, SIG_IGN);
}
