#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "support/run_binary.h"

extern char** environ;

std::string trimvane_binary() {
  return TRIMVANE_BINARY;
}

namespace {

void drain(int fd, std::string* into, bool* open) {
  char chunk[4096];
  const ssize_t got = read(fd, chunk, sizeof chunk);
  if (got > 0) {
    into->append(chunk, static_cast<std::size_t>(got));
  } else {
    *open = false;
  }
}

std::vector<std::string> environment_with(const std::string& path_prefix) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "PATH=", 5) == 0 && !path_prefix.empty()) {
      env.push_back("PATH=" + path_prefix + ":" + (*e + 5));
    } else {
      env.emplace_back(*e);
    }
  }
  return env;
}

}  // namespace

RunOutput run_program_capture(const std::vector<std::string>& argv, const std::string& path_prefix,
                              int timeout_seconds) {
  RunOutput result;
  int out_pipe[2];
  int err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  posix_spawn_file_actions_addclose(&actions, out_pipe[0]);
  posix_spawn_file_actions_addclose(&actions, err_pipe[0]);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> env = environment_with(path_prefix);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  // The search for argv[0] uses the PATH given to the child.
  std::string saved_path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  if (!path_prefix.empty()) setenv("PATH", (path_prefix + ":" + saved_path).c_str(), 1);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, args[0], &actions, nullptr, args.data(), envp.data());
  if (!path_prefix.empty()) setenv("PATH", saved_path.c_str(), 1);
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawned != 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    return result;
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  bool out_open = true;
  bool err_open = true;
  while (out_open || err_open) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(child, SIGKILL);
      break;
    }
    pollfd fds[2] = {{out_open ? out_pipe[0] : -1, POLLIN, 0},
                     {err_open ? err_pipe[0] : -1, POLLIN, 0}};
    if (poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
    if (fds[0].revents != 0) drain(out_pipe[0], &result.out, &out_open);
    if (fds[1].revents != 0) drain(err_pipe[0], &result.err, &err_open);
  }
  close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

RunOutput run_trimvane(const std::string& folder, const std::string& path_prefix) {
  return run_program_capture({trimvane_binary(), folder}, path_prefix);
}

RunOutput run_trimvane_with_path(const std::string& folder, const std::string& path) {
  // env replaces PATH and starts the binary by its full name, unsearched.
  return run_program_capture({"env", "PATH=" + path, trimvane_binary(), folder});
}
