#include "strip/rotation_road.h"

#include "orient/jpegtran.h"
#include "orient/orientation_reset.h"
#include "platform/console.h"
#include "platform/holders.h"
#include "strip/camera_file.h"
#include "strip/output_file.h"
#include "strip/replace.h"

namespace {

// Checks jpegtran's output and sets its Orientation to 1 on the disk. A
// picture that would still say it is turned must never take the original's
// place, or the next run would turn it again.
bool reset_rotated_file(const Platform& os, const std::string& rotated, std::int64_t value_offset) {
  OpenFile file;
  file.os = &os;
  return os.open_update(rotated, &file.handle) == 0 &&
         reset_orientation_in_file(os, file.handle, value_offset) &&
         OpenFile::close_file(&file) == 0;
}

// Removes a ".r" that holds nothing: the empty placeholder this road made.
void remove_if_empty(const Platform& os, const std::string& rotated) {
  FileInfo info;
  if (os.path_info(rotated, &info) == 0 && info.length == 0) os.remove(rotated);
}

}  // namespace

bool rotate_image(const Platform& os, const std::string& path, const OrientationMark& turn,
                  const FileTimes& times) {
  const std::string rotated = path + ".r";
  console_print("--> %s", ORIENTATION_NAMES[turn.value]);

  // jpegtran writes into a file this road has just made private and fresh: a
  // stale ".r", or a link planted under that name, is gone first, and the
  // rotated picture is never readable by others while it is being written.
  OpenFile placeholder;
  const bool ready = create_output(os, rotated, &placeholder) &&
                     OpenFile::close_file(&placeholder) == 0 &&
                     jpegtran_turn(os, turn.value, path, rotated) &&
                     reset_rotated_file(os, rotated, turn.value_offset);
  if (!ready) {
    remove_if_empty(os, rotated);
    console_print("--> Error rotating image");
    return false;
  }
  return replace_keeping_times(os, path, rotated, times, nullptr);
}

ResultCode take_rotation_road(const Platform& os, RunTotals& totals, ImageState* state) {
  OpenFile::close_file(&state->input);
  ImageBuffer::release_buffer(&state->image);
  if (!rotate_image(os, state->path, state->turn, state->first_times)) return RESULT_ROTATE_FAILED;
  totals.files_rotated += 1;

  // The turned picture went to the disk with its Orientation already reset;
  // it is loaded back as any picture is.
  if (os.open_read(state->path, &state->input.handle) != 0) return RESULT_RELOAD_FAILED;
  const WholeRead read = read_whole_file(os, state->input.handle, &state->image);
  if (read != WHOLE_READ) {
    OpenFile::close_file(&state->input);
    ImageBuffer::release_buffer(&state->image);
  }
  switch (read) {
    case WHOLE_EMPTY:
      return RESULT_ROTATED_EMPTY;
    case WHOLE_NO_MEMORY:
      return RESULT_RELOAD_NO_MEMORY;
    case WHOLE_SHORT:
      return RESULT_RELOAD_FAILED;
    case WHOLE_READ:
      break;
  }
  state->rotated = true;
  return RESULT_DONE;
}
