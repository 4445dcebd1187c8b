#include "strip/rotation_road.h"

#include "orient/jpegtran.h"
#include "orient/orientation_reset.h"
#include "orient/thumbnail_turn.h"
#include "platform/console.h"
#include "strip/copy_pass.h"
#include "strip/replace.h"

namespace {

// Removes a ".r" that holds nothing: the empty file this road made for
// jpegtran. Anything jpegtran wrote stays for the user to see.
void remove_if_empty(const Platform& os, const ImageState& state) {
  FileInfo info;
  if (state.rotated.is_open() && os.file_info(state.rotated.handle, &info) == 0 &&
      info.length == 0) {
    os.remove(folder_handle(state), state.rotated_name);
  }
}

// The turned picture's output: cut before the preview, or the whole turned
// picture when there is no cut, so that the output still carries its reset
// Orientation.
ResultCode strip_turned_picture(const Platform& os, std::uint8_t* piece, ImageState* state) {
  FileInfo turned;
  if (os.file_info(state->rotated.handle, &turned) != 0 || turned.length <= 0) {
    return RESULT_ROTATED_EMPTY;
  }
  WriteTurn always;
  Pass pass{state->rotated.handle, turned.length,  piece,  0,
            state->output_name,    &state->output, &always};
  pass.folder = folder_handle(*state);
  const PassOutcome copied = copy_pass(os, pass);
  state->output_made = copied.created;
  if (!copied.read) return RESULT_RELOAD_FAILED;
  state->turned_output_refused = copied.create_failed;
  state->soi_count = copied.scan.soi_count;
  state->cut_found = copied.scan.cut >= 0;
  if (!copied.create_failed && !copied.write_failed && os.sync(state->output.handle) == 0) {
    state->bytes_written = state->cut_found ? copied.scan.cut : turned.length;
    return RESULT_DONE;
  }
  // What could not be written cut is written whole, into a fresh output.
  OpenFile::close_file(&state->output);
  pass.whole = true;
  const PassOutcome again = copy_pass(os, pass);
  state->output_made = state->output_made || again.created;
  if (again.read && !again.create_failed && !again.write_failed &&
      os.sync(state->output.handle) == 0) {
    state->bytes_written = turned.length;
    return RESULT_DONE;
  }
  OpenFile::close_file(&state->output);
  return RESULT_FALLBACK_FAILED;
}

}  // namespace

void turn_picture(const Platform& os, std::uint8_t* piece, ImageState* state) {
  console_print("--> %s", ORIENTATION_NAMES[state->turn.value]);
  // jpegtran reads the picture through the descriptor the walk checked and
  // writes into a file made fresh and private for it, never through a name.
  // A picture that would still say it is turned must never take the
  // original's place, or the next run would turn it again. Its thumbnail is
  // turned before the Orientation says "Normal", so no file on the disk ever
  // says so with a thumbnail still sideways that could have been turned; one
  // that cannot be is left as it was. The reset's sync puts it all on the disk.
  const int value = state->turn.value;
  const bool ready =
      create_output(os, folder_handle(*state), state->rotated_name, &state->rotated) &&
      jpegtran_turn(os, value, state->input.handle, state->rotated.handle) &&
      turn_thumbnail_in_file(os, state->rotated.handle, value) != ThumbnailTurn::kWriteFailed &&
      reset_orientation_in_file(os, state->rotated.handle, state->turn.value_offset);
  // The picture is read; it must be closed before anything can replace it.
  OpenFile::close_file(&state->input);
  if (!ready) {
    remove_if_empty(os, *state);
    OpenFile::close_file(&state->rotated);
    console_print("--> Error rotating image");
    state->result = RESULT_ROTATE_FAILED;
    return;
  }
  state->rotated_ready = true;
  state->result_after_rotation = strip_turned_picture(os, piece, state);
  state->output_ready = state->result_after_rotation == RESULT_DONE;
  state->output_synced = state->output_ready;
  state->result = RESULT_DONE;
}

bool place_turned_picture(const Platform& os, ImageState* state) {
  const bool placed =
      replace_keeping_times(os, state, state->rotated.handle, state->rotated_name, nullptr);
  OpenFile::close_file(&state->rotated);
  state->rotated_ready = false;
  if (!placed) {
    state->result = RESULT_ROTATE_FAILED;
    state->output_ready = false;
    OpenFile::close_file(&state->output);
    return false;
  }
  state->replaced = true;
  // The output takes the picture's place next, so the name must then still
  // lead to the turned picture: its facts as the name shows them (some
  // systems tell a file by its name more fully than by a new file's handle;
  // Wine gives the latter no volume), provided it is the same file.
  FileInfo named;
  if (os.path_info(folder_handle(*state), state->path, &named) == 0 &&
      named.inode == state->in_place.inode && named.length == state->in_place.length) {
    state->in_place = named;
  }
  state->counted.files_rotated += 1;
  if (state->turned_output_refused) console_print("--> couldn't open output file");
  state->result = state->result_after_rotation;
  return true;
}
