#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "support/camera_jpeg.h"
#include "support/fake_program.h"
#include "support/temp_dir.h"

std::string write_script(const std::string& folder, const std::string& name,
                         const std::string& body) {
  make_folders(folder);
  std::string path = folder + "/" + name;
  const std::string text = "#!/bin/sh\n" + body + "\n";
  write_file(path, Bytes(text.begin(), text.end()));
  chmod(path.c_str(), 0755);
  return path;
}

std::string find_on_path(const std::string& program) {
  const char* path = std::getenv("PATH");
  const std::string entries = path != nullptr ? path : "";
  std::size_t start = 0;
  while (start <= entries.size()) {
    std::size_t end = entries.find(':', start);
    if (end == std::string::npos) end = entries.size();
    std::string candidate = end > start ? entries.substr(start, end - start) : ".";
    candidate.append("/").append(program);
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

PathPrefix::PathPrefix(const std::string& folder) {
  const char* path = std::getenv("PATH");
  saved = path != nullptr ? path : "";
  setenv("PATH", (folder + ":" + saved).c_str(), 1);
}

PathPrefix::~PathPrefix() {
  setenv("PATH", saved.c_str(), 1);
}
