#include "strip/process_image.h"

#include <utility>
#include <vector>

#include "orient/orientation.h"
#include "platform/console.h"
#include "strip/camera_file.h"
#include "strip/copy_pass.h"
#include "strip/image_batch.h"
#include "strip/replace.h"
#include "strip/rotation_road.h"

namespace {

// Gathers this thread's console text into `text` while it lives.
struct Gathering {
  explicit Gathering(std::string* text) { console_gather(text); }
  Gathering(const Gathering&) = delete;
  Gathering& operator=(const Gathering&) = delete;
  ~Gathering() { console_gather(nullptr); }
};

// The memory a file is read through.
struct Piece {
  const Platform& os;
  std::uint8_t* bytes;
  explicit Piece(const Platform& platform)
      : os(platform), bytes(static_cast<std::uint8_t*>(platform.allocate(kPieceSize))) {}
  Piece(const Piece&) = delete;
  Piece& operator=(const Piece&) = delete;
  ~Piece() {
    if (bytes != nullptr) os.release(bytes);
  }
};

void load_failed(ImageState* state) {
  console_print(" -->Error processing %s", state->path.c_str());
  state->result = RESULT_LOAD_FAILED;
  OpenFile::close_file(&state->output);
  OpenFile::close_file(&state->input);
}

// The Orientation entry, looked for in the bytes its entry count reaches:
// the first piece holds them in any camera file, but a count can point
// further.
bool find_turn(const Platform& os, const Piece& piece, std::int64_t first, ImageState* state) {
  constexpr std::int64_t kCountOffset = 20;
  constexpr std::int64_t kEntries = 22;
  constexpr std::int64_t kEntrySize = 12;
  if (first >= kCountOffset + 2 && first < state->original_length) {
    const std::int64_t count = piece.bytes[kCountOffset] | (piece.bytes[kCountOffset + 1] << 8);
    std::int64_t reach = kEntries + kEntrySize * count;
    if (reach > state->original_length) reach = state->original_length;
    if (reach > first) {
      std::vector<std::uint8_t> entries(static_cast<std::size_t>(reach));
      return os.read_at(state->input.handle, 0, entries.data(), reach) == reach &&
             locate_orientation(entries.data(), reach, &state->turn);
    }
  }
  return locate_orientation(piece.bytes, first, &state->turn);
}

void strip_picture(const Platform& os, const Piece& piece, std::int64_t first, WriteTurn* turn,
                   ImageState* state) {
  Pass pass{state->input.handle, state->original_length, piece.bytes, first,
            state->output_name,  &state->output,         turn};
  pass.folder = folder_handle(*state);
  const PassOutcome copied = copy_pass(os, pass);
  state->output_made = copied.created;
  if (copied.dropped) {
    state->dropped = true;
    return;
  }
  if (!copied.read) {
    load_failed(state);
    return;
  }
  OpenFile::close_file(&state->input);
  console_print("%s", state->path.c_str());
  if (copied.create_failed) {
    console_print("--> couldn't open output file");
    state->result = RESULT_OUTPUT_FAILED;
    return;
  }
  state->soi_count = copied.scan.soi_count;
  state->cut_found = copied.scan.cut >= 0;
  if (state->cut_found && !copied.write_failed) {
    state->bytes_written = copied.scan.cut;
    state->output_ready = true;
    state->result = RESULT_DONE;
    os.start_writeback(state->output.handle);
  } else {
    OpenFile::close_file(&state->output);
  }
}

void rotate_picture(const Platform& os, const Piece& piece, std::int64_t first, WriteTurn* turn,
                    ImageState* state) {
  // The whole picture is read before anything is done with it, as any other.
  const Pass pass{
      state->input.handle, state->original_length, piece.bytes, first, "", nullptr, turn};
  if (!copy_pass(os, pass).read) {
    load_failed(state);
    return;
  }
  if (ask_turn(*turn, true) == Turn::kDropped) {
    state->dropped = true;
    return;
  }
  console_print("%s", state->path.c_str());
  turn_picture(os, piece.bytes, state);
}

void count_saving(ImageState* state) {
  if (state->original_length <= state->bytes_written) return;
  const std::int64_t saved = state->original_length - state->bytes_written;
  state->counted.bytes_saved += saved;
  state->counted.files_stripped += 1;
  console_print(" (%lld)", static_cast<long long>(saved));
}

}  // namespace

Opening open_image(const Platform& os, const std::string& name, const std::string& folder,
                   HeldFolder* held, ImageState* state) {
  state->input.os = &os;
  state->output.os = &os;
  state->rotated.os = &os;
  hold_folder(os, folder, held);
  const Opening opening = open_camera_file(os, *held, name, &state->input, &state->picture);
  if (opening != Opening::kCamera) return opening;
  state->folder = held->handle;
  state->path = folder + kPathSeparator + name;
  state->camera = true;
  state->in_place = state->picture;
  state->original_length = state->picture.length;
  state->output_name = state->path + ".stripped";
  state->rotated_name = state->path + ".r";
  return opening;
}

void prepare_opened_image(const Platform& os, WriteTurn turn, ImageState* state) {
  const Gathering gathering(&state->line);
  const Piece piece(os);
  const std::int64_t first =
      state->original_length < kPieceSize ? state->original_length : kPieceSize;
  if (piece.bytes == nullptr || os.read_at(state->input.handle, 0, piece.bytes, first) != first) {
    tell_read_through(&turn, true);
    load_failed(state);
    return;
  }
  if (find_turn(os, piece, first, state)) {
    rotate_picture(os, piece, first, &turn, state);
  } else {
    strip_picture(os, piece, first, &turn, state);
  }
}

void prepare_image(const Platform& os, const std::string& name, const std::string& folder,
                   HeldFolder* held, WriteTurn turn, ImageState* state) {
  if (open_image(os, name, folder, held, state) == Opening::kCamera) {
    prepare_opened_image(os, std::move(turn), state);
  } else {
    tell_read_through(&turn, false);
  }
}

void sync_prepared_output(const Platform& os, ImageState* state) {
  if (!state->output_ready || state->output_synced) return;
  state->output_synced = os.sync(state->output.handle) == 0;
  if (!state->output_synced) {
    state->output_ready = false;
    state->result = RESULT_UNCHANGED;
    OpenFile::close_file(&state->output);
  }
}

void place_image(const Platform& os, ImageState* state) {
  if (!state->camera || state->dropped) return;
  const Gathering gathering(&state->line);
  if (state->rotated_ready) place_turned_picture(os, state);
  if (state->result == RESULT_DONE && state->output_ready) {
    const bool placed = replace_keeping_times(os, state, state->output.handle, state->output_name,
                                              [state] { count_saving(state); });
    if (!placed) state->result = RESULT_OUTPUT_FAILED;
    state->replaced = state->replaced || placed;
    OpenFile::close_file(&state->output);
  } else if (state->result != RESULT_DONE) {
    if (state->result == RESULT_UNCHANGED && !state->cut_found && state->soi_count > 0) {
      console_print(" -->preview image not found");
    }
    OpenFile::close_file(&state->output);
    os.remove(folder_handle(*state), state->output_name);
  }
}

void end_line(ImageState* state) {
  if (!state->camera || state->dropped) return;
  const Gathering gathering(&state->line);
  // The picture's new name is in place but may not outlive a power cut.
  if (state->replaced && !state->folder_synced) console_print(" -->Couldn't sync folder");
  console_print("\n");
}

void discard_prepared(const Platform& os, ImageState* state) {
  const bool made_rotated = state->rotated.is_open() || state->rotated_ready;
  OpenFile::close_file(&state->input);
  OpenFile::close_file(&state->output);
  OpenFile::close_file(&state->rotated);
  if (state->output_made) os.remove(folder_handle(*state), state->output_name);
  if (made_rotated) os.remove(folder_handle(*state), state->rotated_name);
}

ResultCode process_image(const Platform& os, RunTotals& totals, const std::string& name,
                         const std::string& folder) {
  ImageBatch batch;
  batch.files.push_back(std::make_unique<ImageState>());
  ImageState& state = *batch.files.back();
  HeldFolder held;
  prepare_image(os, name, folder, &held, WriteTurn{}, &state);
  finish_batch(os, &batch, totals);
  return state.camera ? state.result : RESULT_UNCHANGED;
}
