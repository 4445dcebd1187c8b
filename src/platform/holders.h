// Owners for what the platform hands out: an open file and a block of memory.
// Each gives its resource back when it goes out of scope, and can give it back
// earlier; either way exactly once.
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

// A whole file held in memory.
struct ImageBuffer {
  const Platform* os = nullptr;
  std::uint8_t* bytes = nullptr;
  std::int64_t length = 0;

  ImageBuffer() = default;
  ImageBuffer(const ImageBuffer&) = delete;
  ImageBuffer& operator=(const ImageBuffer&) = delete;
  ~ImageBuffer() { release_buffer(this); }

  static void release_buffer(ImageBuffer* buffer) {
    if (buffer->bytes != nullptr) buffer->os->release(buffer->bytes);
    buffer->bytes = nullptr;
    buffer->length = 0;
  }
};
