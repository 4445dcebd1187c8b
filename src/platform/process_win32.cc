// Starting another program on Windows: straight through CreateProcessA, with
// no command interpreter between, so nothing in a file name is ever read as
// a command.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <string>

#include "platform/process.h"
#include "platform/windows_command_line.h"

namespace {

// The folder this program was started from, or "" when it cannot be had.
std::string own_folder() {
  std::string path(MAX_PATH, '\0');
  const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return "";
  path.resize(length);
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

// Where a program is looked for: this program's own folder, then every folder
// of PATH. Never the current folder, which is the user's, not the tool's.
std::string search_folders() {
  std::string folders = own_folder();
  const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
  if (size > 0) {
    std::string path(size, '\0');
    const DWORD length = GetEnvironmentVariableA("PATH", path.data(), size);
    if (length > 0 && length < size) {
      path.resize(length);
      folders += ";" + path;
    }
  }
  return folders;
}

// The full path of `name`, given ".exe" when it has no extension of its own,
// or "" when it is nowhere to be found.
std::string find_program(const std::string& name) {
  const std::string folders = search_folders();
  std::string found(MAX_PATH, '\0');
  DWORD length = SearchPathA(folders.c_str(), name.c_str(), ".exe",
                             static_cast<DWORD>(found.size()), found.data(), nullptr);
  if (length >= found.size()) {  // too long for the buffer: the size it needs
    found.assign(length, '\0');
    length = SearchPathA(folders.c_str(), name.c_str(), ".exe", static_cast<DWORD>(found.size()),
                         found.data(), nullptr);
    if (length >= found.size()) return "";
  }
  found.resize(length);
  return found;
}

// A copy of `handle` that a child process inherits; nullptr when none can be
// made. The original stays private to this process.
HANDLE inheritable(HANDLE handle) {
  HANDLE copy = nullptr;
  const HANDLE self = GetCurrentProcess();
  if (!DuplicateHandle(self, handle, self, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) return nullptr;
  return copy;
}

// Starts `program` with `input` and `output` as its standard input and output
// and this process's standard error; fills `child` on success.
bool start_child(const std::string& program, std::string* command, HANDLE input, HANDLE output,
                 PROCESS_INFORMATION* child) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inheritable(input);
  startup.hStdOutput = inheritable(output);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  // Only the two copies above, and the standard error this process was
  // given, are inheritable: the files this process opens never are.
  const bool started = startup.hStdInput != nullptr && startup.hStdOutput != nullptr &&
                       CreateProcessA(program.c_str(), command->data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, child);
  if (startup.hStdInput != nullptr) CloseHandle(startup.hStdInput);
  if (startup.hStdOutput != nullptr) CloseHandle(startup.hStdOutput);
  return started;
}

// Exit codes with both top bits set are exception codes: the program crashed
// or was ended, it did not exit.
bool ended_abnormally(DWORD code) {
  return (code & 0xC0000000U) == 0xC0000000U;
}

}  // namespace

int run_program(const std::vector<std::string>& argv, FileHandle input, FileHandle output) {
  if (argv.empty()) return -1;
  const std::string program = find_program(argv[0]);
  if (program.empty()) return -1;
  // The program's runtime splits this line back into exactly these arguments.
  std::string command = windows_command_line(argv);

  // The copy given to the child shares the file's position: reading starts
  // at the start.
  const auto in = reinterpret_cast<HANDLE>(input);    // NOLINT(performance-no-int-to-ptr)
  const auto out = reinterpret_cast<HANDLE>(output);  // NOLINT(performance-no-int-to-ptr)
  LARGE_INTEGER start{};
  PROCESS_INFORMATION child{};
  if (!SetFilePointerEx(in, start, nullptr, FILE_BEGIN) ||
      !start_child(program, &command, in, out, &child)) {
    return -1;
  }
  CloseHandle(child.hThread);
  DWORD code = 0;
  const bool waited = WaitForSingleObject(child.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                      GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hProcess);
  if (!waited || ended_abnormally(code)) return -1;
  return static_cast<int>(code);
}
