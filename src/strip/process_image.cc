#include "strip/process_image.h"

#include "orient/orientation.h"
#include "platform/console.h"
#include "strip/camera_file.h"
#include "strip/image_end.h"
#include "strip/image_state.h"
#include "strip/output_file.h"
#include "strip/preview_cut.h"
#include "strip/replace.h"
#include "strip/rotation_road.h"

namespace {

// The fourth FF D8 FF, where the extra preview begins, or -1 when there is
// none to cut at. A cut that would fall inside the main image (a small JPEG
// carried in a segment before the picture can hold the fourth sequence) is
// no cut: the file is then one without an extra preview.
std::int64_t preview_cut(ImageState* state) {
  const std::int64_t cut =
      find_preview_cut(state->image.bytes, state->image.length, &state->soi_count);
  if (cut < 0) return -1;
  const std::int64_t end = find_main_image_end(state->image.bytes, state->image.length);
  return end >= 0 && cut >= end ? cut : -1;
}

// Opens the output and writes the part before the preview; sets the result.
void cut_and_write(const Platform& os, ImageState* state) {
  if (!create_output(os, state->output_name, &state->output)) {
    console_print("--> couldn't open output file");
    state->result = RESULT_OUTPUT_FAILED;
    return;
  }
  const std::int64_t cut = preview_cut(state);
  if (cut < 0) {
    OpenFile::close_file(&state->output);  // left empty; the end stage removes it
    return;
  }
  state->cut_found = true;
  state->bytes_written = cut;
  if (write_output(state->output, state->image.bytes, cut)) {
    state->result = RESULT_DONE;
    state->output_written = true;
  } else {
    OpenFile::close_file(&state->output);
  }
}

// A rotated picture for which no cut was written is written whole, so that
// the output still carries its reset Orientation.
void write_fallback(const Platform& os, ImageState* state) {
  state->result = RESULT_FALLBACK_FAILED;
  if (create_output(os, state->output_name, &state->output) &&
      write_output(state->output, state->image.bytes, state->image.length)) {
    state->bytes_written = state->image.length;
    state->result = RESULT_DONE;
  } else {
    OpenFile::close_file(&state->output);
  }
}

void end_stage(const Platform& os, RunTotals& totals, ImageState* state) {
  if (state->rotated && !state->output_written) write_fallback(os, state);
  OpenFile::close_file(&state->input);
  ImageBuffer::release_buffer(&state->image);

  if (state->result == RESULT_DONE) {
    const auto count_saving = [&] {
      if (state->original_length <= state->bytes_written) return;
      const std::int64_t saved = state->original_length - state->bytes_written;
      totals.bytes_saved += saved;
      totals.files_stripped += 1;
      console_print(" (%lld)", static_cast<long long>(saved));
    };
    if (!replace_keeping_times(os, state->path, state->picture, state->output.handle,
                               state->output_name, count_saving)) {
      state->result = RESULT_OUTPUT_FAILED;
    }
    OpenFile::close_file(&state->output);
  } else {
    if (state->result == RESULT_UNCHANGED && !state->cut_found && state->soi_count > 0) {
      console_print(" -->preview image not found");
    }
    os.remove(state->output_name);
  }
  console_print("\n");
}

}  // namespace

ResultCode process_image(const Platform& os, RunTotals& totals, const std::string& name,
                         const std::string& folder) {
  ImageState state;
  switch (load_camera_image(os, name, folder, &state)) {
    case LOAD_NOT_CAMERA:
      return RESULT_UNCHANGED;
    case LOAD_FAILED:
      state.result = RESULT_LOAD_FAILED;
      end_stage(os, totals, &state);
      return state.result;
    case LOAD_DONE:
      break;
  }

  if (locate_orientation(state.image.bytes, state.image.length, &state.turn)) {
    state.result = take_rotation_road(os, totals, &state);
    if (state.result != RESULT_DONE) {
      end_stage(os, totals, &state);
      return state.result;
    }
    state.result = RESULT_UNCHANGED;
  }
  cut_and_write(os, &state);
  end_stage(os, totals, &state);
  return state.result;
}
