#include "orient/rotation.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/console.h"
#include "platform/holders.h"
#include "strip/camera_file.h"
#include "strip/output_file.h"
#include "strip/replace.h"

namespace {

constexpr std::int64_t kEntryStart = 8;  // the entry begins 8 bytes before its value
constexpr std::int64_t kEntrySize = 12;

// A path that begins with '-' (under a folder argument such as "-2024") would
// be taken by jpegtran for one of its switches; "./" before it names the same
// file without that risk.
std::string file_argument(const std::string& path) {
  if (path.empty() || path[0] != '-') return path;
  return std::string(".") + kPathSeparator + path;
}

// jpegtran's arguments for one of the turning operations, each its own
// argument, so that no file name is ever parsed by a shell.
std::vector<std::string> jpegtran_arguments(const char* operation, const std::string& path,
                                            const std::string& rotated) {
  // "rotate 90" gives "-rotate" and "90".
  const std::string_view words = operation;
  const std::size_t blank = words.find(' ');
  std::string option = "-";
  option.append(words.substr(0, blank));
  return {"jpegtran",
          option,
          std::string(words.substr(blank + 1)),
          "-copy",
          "all",
          "-outfile",
          file_argument(rotated),
          file_argument(path)};
}

// Checks that jpegtran's output is a JPEG whose Orientation entry stands
// where it stood in the original, and sets that value to 1 on the disk. A
// picture that would still say it is turned must never take the original's
// place, or the next run would turn it again.
bool reset_rotated_file(const Platform& os, const std::string& rotated, std::int64_t value_offset) {
  OpenFile file;
  file.os = &os;
  if (os.open_update(rotated, &file.handle) != 0) return false;
  std::uint8_t start[2] = {0, 0};
  if (os.read_at(file.handle, 0, start, 2) != 2 || start[0] != 0xFF || start[1] != 0xD8) {
    return false;
  }
  std::uint8_t entry[kEntrySize];
  const std::int64_t entry_start = value_offset - kEntryStart;
  if (entry_start < 0 || os.read_at(file.handle, entry_start, entry, kEntrySize) != kEntrySize ||
      !orientation_entry_at(entry, kEntrySize, kEntryStart)) {
    return false;
  }
  return os.write_at(file.handle, value_offset, kOrientationNormal, 4) == 0 &&
         os.sync(file.handle) == 0 && OpenFile::close_file(&file) == 0;
}

// Removes a ".r" that holds nothing: the empty placeholder this road made.
void remove_if_empty(const Platform& os, const std::string& rotated) {
  FileInfo info;
  if (os.path_info(rotated, &info) == 0 && info.length == 0) os.remove(rotated);
}

}  // namespace

int rotate_image(const Platform& os, const std::string& path, const OrientationMark& mark,
                 const FileTimes& times) {
  const std::string rotated = path + ".r";
  const char* operation = ORIENTATION_NAMES[mark.value];
  console_print("--> %s", operation);

  // jpegtran writes into a file this road has just made private and fresh: a
  // stale ".r", or a link planted under that name, is gone first, and the
  // rotated picture is never readable by others while it is being written.
  OpenFile placeholder;
  const bool ready = create_output(os, rotated, &placeholder) &&
                     OpenFile::close_file(&placeholder) == 0 &&
                     os.run_program(jpegtran_arguments(operation, path, rotated)) == 0 &&
                     reset_rotated_file(os, rotated, mark.value_offset);
  if (!ready) {
    remove_if_empty(os, rotated);
    console_print("--> Error rotating image");
    return 1;
  }
  return replace_keeping_times(os, path, rotated, times, nullptr) ? 0 : 2;
}

int take_rotation_road(const Platform& os, RunTotals& totals, ImageState* state) {
  OpenFile::close_file(&state->input);
  ImageBuffer::release_buffer(&state->image);
  if (rotate_image(os, state->path, state->mark, state->first_times) != 0) {
    return RESULT_ROTATE_FAILED;
  }
  totals.files_rotated += 1;

  if (os.open_read(state->path, &state->input.handle) != 0) return RESULT_RELOAD_FAILED;
  const std::int64_t length = file_length(os, state->input.handle);
  if (length <= 0) {
    OpenFile::close_file(&state->input);
    return RESULT_ROTATED_EMPTY;
  }
  if (!allocate_image(os, length, &state->image)) {
    OpenFile::close_file(&state->input);
    return RESULT_RELOAD_NO_MEMORY;
  }
  if (!read_whole(os, state->input.handle, &state->image)) {
    OpenFile::close_file(&state->input);
    ImageBuffer::release_buffer(&state->image);
    return RESULT_RELOAD_FAILED;
  }
  state->mark.value = 0;
  if (orientation_entry_at(state->image.bytes, length, state->mark.value_offset)) {
    std::memcpy(state->image.bytes + state->mark.value_offset, kOrientationNormal, 4);
  }
  return RESULT_DONE;
}
