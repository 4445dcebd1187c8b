#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <thread>

#include "platform/windows_command_line.h"
#include "support/run_binary.h"

std::string own_folder() {
  char path[MAX_PATH + 1];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  const std::string text(path, length < sizeof path ? length : 0);
  return text.substr(0, text.find_last_of("\\/"));
}

namespace {

std::string environment_path() {
  const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
  std::string path(size, '\0');
  const DWORD length = size > 0 ? GetEnvironmentVariableA("PATH", path.data(), size) : 0;
  path.resize(length < size ? length : 0);
  return path;
}

// This process's PATH replaced for as long as the holder lives: a child takes
// its environment, and its search for argv[0], from it.
struct PathSetting {
  std::string saved = environment_path();
  explicit PathSetting(const std::string& path) { SetEnvironmentVariableA("PATH", path.c_str()); }
  ~PathSetting() { SetEnvironmentVariableA("PATH", saved.c_str()); }
  PathSetting(const PathSetting&) = delete;
  PathSetting& operator=(const PathSetting&) = delete;
};

void drain(HANDLE pipe, std::string* into) {
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) into->append(chunk, got);
}

// Text written to a file or pipe on Windows ends its lines with CR LF; the
// tests compare lines as the tool means them.
std::string without_carriage_returns(const std::string& text) {
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines.push_back(text[i]);
  }
  return lines;
}

RunOutput run_with_path(const std::vector<std::string>& argv, const std::string& path,
                        int timeout_seconds) {
  RunOutput result;
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE out_read = nullptr;
  HANDLE out_write = nullptr;
  HANDLE err_read = nullptr;
  HANDLE err_write = nullptr;
  if (!CreatePipe(&out_read, &out_write, &inheritable, 0)) return result;
  if (!CreatePipe(&err_read, &err_write, &inheritable, 0)) {
    CloseHandle(out_read);
    CloseHandle(out_write);
    return result;
  }
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
  const HANDLE no_input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &inheritable, OPEN_EXISTING, 0, nullptr);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = no_input;
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  PROCESS_INFORMATION child{};
  std::string command = windows_command_line(argv);
  BOOL started = FALSE;
  {
    const PathSetting setting(path);
    started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &child);
  }
  CloseHandle(out_write);
  CloseHandle(err_write);
  if (no_input != INVALID_HANDLE_VALUE) CloseHandle(no_input);
  if (started) {
    // Both pipes are read while the child runs, so that neither fills up and
    // stalls it; a child that outlives its time is ended, closing them.
    std::thread out_reader(drain, out_read, &result.out);
    std::thread err_reader(drain, err_read, &result.err);
    if (WaitForSingleObject(child.hProcess, static_cast<DWORD>(timeout_seconds) * 1000) !=
        WAIT_OBJECT_0) {
      TerminateProcess(child.hProcess, 0xC0000001U);
      WaitForSingleObject(child.hProcess, INFINITE);
    }
    out_reader.join();
    err_reader.join();
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    result.status = (code & 0xC0000000U) == 0xC0000000U ? -1 : static_cast<int>(code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  }
  CloseHandle(out_read);
  CloseHandle(err_read);
  result.out = without_carriage_returns(result.out);
  result.err = without_carriage_returns(result.err);
  return result;
}

}  // namespace

std::string trimvane_binary() {
  return own_folder() + "\\" + TRIMVANE_BINARY;
}

RunOutput run_program_capture(const std::vector<std::string>& argv, const std::string& path_prefix,
                              int timeout_seconds) {
  const std::string path = environment_path();
  return run_with_path(argv, path_prefix.empty() ? path : path_prefix + ";" + path,
                       timeout_seconds);
}

RunOutput run_trimvane(const std::string& folder, const std::string& path_prefix) {
  return run_program_capture({trimvane_binary(), folder}, path_prefix);
}

RunOutput run_trimvane_with_path(const std::string& folder, const std::string& path) {
  return run_with_path({trimvane_binary(), folder}, path, 60);
}
