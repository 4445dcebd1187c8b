// The owner of an open file the platform hands out. It closes the file when
// it goes out of scope, or earlier when asked; either way exactly once.
#pragma once

#include <cstdint>

#include "platform/platform.h"

struct OpenFile {
  const Platform* os = nullptr;
  FileHandle handle = kNoFile;

  OpenFile() = default;
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile() { close_file(this); }

  bool is_open() const { return handle != kNoFile; }
  // Closes the file if it is open; returns the close's own status (0 when none was open).
  static int close_file(OpenFile* file) {
    if (!file->is_open()) return 0;
    const int status = file->os->close(file->handle);
    file->handle = kNoFile;
    return status;
  }
};
