#include "strip/rotation_road.h"

#include <utility>

#include "orient/jpegtran.h"
#include "orient/orientation_reset.h"
#include "orient/thumbnail_turn.h"
#include "platform/console.h"
#include "strip/camera_file.h"
#include "strip/output_file.h"
#include "strip/replace.h"

namespace {

// Removes a ".r" that holds nothing: the empty file this road made for
// jpegtran. Anything jpegtran wrote stays for the user to see.
void remove_if_empty(const Platform& os, const std::string& name, const OpenFile& rotated) {
  FileInfo info;
  if (rotated.is_open() && os.file_info(rotated.handle, &info) == 0 && info.length == 0) {
    os.remove(name);
  }
}

}  // namespace

bool rotate_image(const Platform& os, const std::string& path, const OrientationMark& turn,
                  const FileInfo& picture, OpenFile* input, OpenFile* rotated) {
  const std::string rotated_name = path + ".r";
  console_print("--> %s", ORIENTATION_NAMES[turn.value]);

  // jpegtran reads the picture through the descriptor the walk checked and
  // writes into a file made fresh and private for it, never through a name.
  // A picture that would still say it is turned must never take the
  // original's place, or the next run would turn it again. Its thumbnail is
  // turned before the Orientation says "Normal", so no file on the disk ever
  // says so with a thumbnail still sideways that could have been turned; one
  // that cannot be is left as it was.
  const bool ready =
      create_output(os, rotated_name, rotated) &&
      jpegtran_turn(os, turn.value, input->handle, rotated->handle) &&
      turn_thumbnail_in_file(os, rotated->handle, turn.value) != ThumbnailTurn::kWriteFailed &&
      reset_orientation_in_file(os, rotated->handle, turn.value_offset);
  // The picture is read; it must be closed before anything can replace it.
  OpenFile::close_file(input);
  if (!ready) {
    remove_if_empty(os, rotated_name, *rotated);
    OpenFile::close_file(rotated);
    console_print("--> Error rotating image");
    return false;
  }
  if (!replace_keeping_times(os, path, picture, rotated->handle, rotated_name, nullptr)) {
    OpenFile::close_file(rotated);
    return false;
  }
  return true;
}

ResultCode take_rotation_road(const Platform& os, RunTotals& totals, ImageState* state) {
  ImageBuffer::release_buffer(&state->image);
  OpenFile rotated;
  if (!rotate_image(os, state->path, state->turn, state->picture, &state->input, &rotated)) {
    return RESULT_ROTATE_FAILED;
  }
  totals.files_rotated += 1;

  // The turned picture went to the disk with its Orientation already reset;
  // it is loaded back through the descriptor it was written by, since the
  // name may lead elsewhere by now.
  std::swap(state->input.handle, rotated.handle);
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
