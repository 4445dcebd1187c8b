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

FileHandle hold_folder(const Platform& os, const std::string& folder, HeldFolder* held) {
  if (held->handle.os == nullptr || held->path != folder) {
    held->handle.os = &os;
    OpenFile::close_file(&held->handle);
    held->path = folder;
    if (os.open_folder(folder, &held->handle.handle) != 0) held->handle.handle = kNoFile;
  }
  return held->handle.handle;
}

bool open_camera_file(const Platform& os, FileHandle folder_handle, const std::string& folder,
                      const std::string& name, OpenFile* input, FileInfo* picture) {
  input->os = &os;
  const int quiet = os.open_quietly(folder_handle, name, &input->handle);
  if (quiet == 0) {
    // Reading moves none of the facts, so only a camera file's are taken.
    // A folder or FIFO gives no model text; a device (no link led here, and
    // only root makes one) has no length.
    if (match_camera_model(os, input->handle) && os.file_info(input->handle, picture) == 0 &&
        picture->length > 0 && !picture->is_folder) {
      return true;
    }
  } else if (quiet == kNotQuiet &&
             os.open_read(folder + kPathSeparator + name, &input->handle, picture) == 0) {
    // Here the times come with the opening, before a read may move the
    // access time, so the replacement can give the picture back exactly the
    // times it had.
    if (picture->length > 0 && match_camera_model(os, input->handle)) return true;
  }
  OpenFile::close_file(input);
  return false;
}
