#include "strip/camera_file.h"

#include <cstring>

namespace {

constexpr std::int64_t kModelOffset = 146;
constexpr std::size_t kModelLength = 16;
constexpr const char* kCameraModels[] = {"EOS DIGITAL REBEL", "EOS Kiss Digital",
                                         "EOS 300D DIGITAL"};

}  // namespace

bool match_camera_model(const Platform& os, FileHandle file) {
  char field[kModelLength];
  if (os.read_at(file, kModelOffset, field, kModelLength) !=
      static_cast<std::int64_t>(kModelLength)) {
    return false;
  }
  for (const char* model : kCameraModels) {
    if (std::strncmp(field, model, kModelLength) == 0) return true;
  }
  return false;
}

bool open_camera_file(const Platform& os, const std::string& path, OpenFile* input,
                      FileInfo* picture) {
  input->os = &os;
  if (os.open_read(path, &input->handle, picture) != 0) return false;
  // The times come with the opening, before anything reads the file, so the
  // replacement can give the picture back exactly the times it had.
  if (picture->length > 0 && match_camera_model(os, input->handle)) return true;
  OpenFile::close_file(input);
  return false;
}
