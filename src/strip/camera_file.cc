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
  if (!held->handle || held->path != folder) {
    held->handle = std::make_shared<OpenFile>();
    held->handle->os = &os;
    held->path = folder;
    if (os.open_folder(folder, &held->handle->handle) != 0) held->handle->handle = kNoFile;
    held->reads_keep_access_time =
        held->handle->is_open() && os.reads_keep_access_time(held->handle->handle);
  }
  return held->handle->handle;
}

namespace {

// A file opened without following a link: a folder or FIFO gives no model
// text, and a device (no link led here, and only root makes one) has no
// length. Where reading keeps the access time, only a camera file's facts
// are taken, after its model text was read; elsewhere they come first.
bool camera_file_opened_quietly(const Platform& os, bool reads_keep_access_time, FileHandle file,
                                FileInfo* picture) {
  if (!reads_keep_access_time && os.file_info(file, picture) != 0) return false;
  return match_camera_model(os, file) &&
         (!reads_keep_access_time || os.file_info(file, picture) == 0) && picture->length > 0 &&
         !picture->is_folder;
}

}  // namespace

Opening open_camera_file(const Platform& os, const HeldFolder& held, const std::string& name,
                         OpenFile* input, FileInfo* picture) {
  input->os = &os;
  int opened = os.open_quietly(held.handle->handle, name, &input->handle);
  if (opened == 0) {
    if (camera_file_opened_quietly(os, held.reads_keep_access_time, input->handle, picture)) {
      return Opening::kCamera;
    }
  } else if (opened == kNotQuiet) {
    // Here the facts come with the opening, before a read may move the
    // access time, so the replacement can give the picture back exactly the
    // times it had.
    opened = os.open_read(held.path + kPathSeparator + name, &input->handle, picture);
    if (opened == 0 && picture->length > 0 && match_camera_model(os, input->handle)) {
      return Opening::kCamera;
    }
  }
  OpenFile::close_file(input);
  return opened == kNoDescriptors ? Opening::kOutOfFiles : Opening::kOther;
}
