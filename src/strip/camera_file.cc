#include "strip/camera_file.h"

#include <cstring>
#include <limits>

#include "platform/console.h"

namespace {

constexpr std::int64_t kModelOffset = 146;
constexpr std::size_t kModelLength = 16;
constexpr const char* kCameraModels[] = {"EOS DIGITAL REBEL", "EOS Kiss Digital",
                                         "EOS 300D DIGITAL"};

bool allocate_image(const Platform& os, std::int64_t length, ImageBuffer* image) {
  ImageBuffer::release_buffer(image);
  image->os = &os;
  if (static_cast<std::uint64_t>(length) > std::numeric_limits<std::size_t>::max()) return false;
  image->bytes = static_cast<std::uint8_t*>(os.allocate(static_cast<std::size_t>(length)));
  if (image->bytes == nullptr) return false;
  image->length = length;
  return true;
}

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

WholeRead read_whole_file(const Platform& os, FileHandle file, ImageBuffer* image) {
  FileInfo info;
  if (os.file_info(file, &info) != 0 || info.length <= 0) return WHOLE_EMPTY;
  if (!allocate_image(os, info.length, image)) return WHOLE_NO_MEMORY;
  return os.read_at(file, 0, image->bytes, image->length) == image->length ? WHOLE_READ
                                                                           : WHOLE_SHORT;
}

LoadOutcome load_camera_image(const Platform& os, const std::string& name,
                              const std::string& folder, ImageState* state) {
  state->path = folder + kPathSeparator + name;
  state->output_name = state->path + ".stripped";
  state->input.os = &os;
  state->output.os = &os;
  if (os.open_read(state->path, &state->input.handle) != 0) return LOAD_NOT_CAMERA;

  // The times are taken before anything reads the file, so the replacement can
  // give the picture back exactly the times it had before the run.
  if (os.file_info(state->input.handle, &state->picture) != 0 ||
      !match_camera_model(os, state->input.handle)) {
    OpenFile::close_file(&state->input);
    return LOAD_NOT_CAMERA;
  }

  switch (read_whole_file(os, state->input.handle, &state->image)) {
    case WHOLE_EMPTY:
      OpenFile::close_file(&state->input);
      return LOAD_NOT_CAMERA;
    case WHOLE_NO_MEMORY:
    case WHOLE_SHORT:
      console_print(" -->Error processing %s", state->path.c_str());
      return LOAD_FAILED;
    case WHOLE_READ:
      break;
  }
  state->original_length = state->image.length;
  console_print("%s", state->path.c_str());
  return LOAD_DONE;
}
