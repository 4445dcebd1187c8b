// Stand-in programs for the failures a real tool cannot be made to show, and
// control over where this process looks for programs.
#pragma once

#include <string>

// Writes an executable /bin/sh script called `name` into `folder`, made if
// missing, running `body`. Returns its path.
std::string write_script(const std::string& folder, const std::string& name,
                         const std::string& body);

// The full path of `program` along this process's PATH; empty when not found.
std::string find_on_path(const std::string& program);

// Puts `folder` first on this process's PATH for as long as it lives, so that
// programs the code under test starts are looked for there first.
struct PathPrefix {
  explicit PathPrefix(const std::string& folder);
  ~PathPrefix();
  PathPrefix(const PathPrefix&) = delete;
  PathPrefix& operator=(const PathPrefix&) = delete;

  std::string saved;
};
