// Running the built trimvane (or any program) as a user would, capturing
// what it prints.
#pragma once

#include <string>
#include <vector>

struct RunOutput {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out;  // all it wrote to standard output
  std::string err;  // all it wrote to standard error
};

// The trimvane executable of this build.
std::string trimvane_binary();

// Windows: the folder this test program stands in, beside trimvane.exe and
// the stand-in jpegtran.
std::string own_folder();

// Runs `argv` (argv[0] searched along PATH) with `path_prefix`, when not
// empty, put before the PATH entries, and waits for it at most
// `timeout_seconds` before killing it.
RunOutput run_program_capture(const std::vector<std::string>& argv,
                              const std::string& path_prefix = "", int timeout_seconds = 60);

// Runs trimvane on one folder.
RunOutput run_trimvane(const std::string& folder, const std::string& path_prefix = "");

// Runs trimvane on one folder with PATH set to `path` alone.
RunOutput run_trimvane_with_path(const std::string& folder, const std::string& path);

// The output of a run without its three banner lines.
std::string after_banner(const std::string& out);
