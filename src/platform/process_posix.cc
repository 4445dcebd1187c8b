#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/process.h"

namespace {

// Owns the spawn attributes and file actions, destroying them on every road.
struct SpawnSetup {
  posix_spawnattr_t attributes{};
  posix_spawn_file_actions_t actions{};
  bool ready = false;

  SpawnSetup() {
    ready = posix_spawnattr_init(&attributes) == 0;
    if (ready && posix_spawn_file_actions_init(&actions) != 0) {
      posix_spawnattr_destroy(&attributes);
      ready = false;
    }
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  ~SpawnSetup() {
    if (!ready) return;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
};

// The child reads `input` and writes `output` as its standard streams, and
// gets back the default action of SIGPIPE, which this process ignores.
bool prepare(SpawnSetup* setup, int input, int output) {
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  return setup->ready && posix_spawnattr_setsigdefault(&setup->attributes, &defaults) == 0 &&
         posix_spawnattr_setflags(&setup->attributes, POSIX_SPAWN_SETSIGDEF) == 0 &&
         posix_spawn_file_actions_adddup2(&setup->actions, input, STDIN_FILENO) == 0 &&
         posix_spawn_file_actions_adddup2(&setup->actions, output, STDOUT_FILENO) == 0;
}

}  // namespace

int run_program(const std::vector<std::string>& argv, FileHandle input, FileHandle output) {
  if (argv.empty()) return -1;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  // The child shares the descriptor's offset: it starts reading at the start.
  const int in = static_cast<int>(input);
  const int out = static_cast<int>(output);
  SpawnSetup setup;
  if (lseek(in, 0, SEEK_SET) != 0 || !prepare(&setup, in, out)) return -1;
  pid_t child = 0;
  if (posix_spawnp(&child, args[0], &setup.actions, &setup.attributes, args.data(), environ) != 0) {
    return -1;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
