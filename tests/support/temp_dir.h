// A fresh folder under the system's temporary folder, removed with all it
// holds (read-only parts included) when the holder goes.
#pragma once

#include <string>

#include "platform/platform.h"

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path(), the separator the tool puts between a folder and a name, and
  // `relative` (whose own '/' Windows takes as a separator too)
  std::string operator/(const std::string& relative) const {
    return path_ + kPathSeparator + relative;
  }

 private:
  std::string path_;
};

// Makes the folder and any missing folders above it.
void make_folders(const std::string& path);
