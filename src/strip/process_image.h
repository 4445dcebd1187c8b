// The per-file pipeline.
#pragma once

#include <string>

#include "platform/platform.h"
#include "strip/camera_file.h"
#include "strip/image_state.h"
#include "strip/result_codes.h"
#include "strip/run_totals.h"
#include "strip/write_turn.h"

// Works on one .jpg file of the walk up to the moment its output could take
// the picture's place: a camera file is read through once, turned upright
// when its Orientation says so, and copied up to its extra preview into a
// fresh output, started on its way to the disk. Its console line is gathered
// in `state`. Anything else is left alone, without a line. Nothing is
// written before `turn` says so. `held` is the folder the caller's last
// file was opened in.
void prepare_image(const Platform& os, const std::string& name, const std::string& folder,
                   HeldFolder* held, WriteTurn turn, ImageState* state);

// Its two halves: opening the file and telling a camera file from others
// (true for a camera file, left open in `state`), and the rest.
Opening open_image(const Platform& os, const std::string& name, const std::string& folder,
                   HeldFolder* held, ImageState* state);
void prepare_opened_image(const Platform& os, WriteTurn turn, ImageState* state);

// Puts a prepared file's output in place of the picture, in the order of the
// walk; the output is already on the disk (sync_prepared_output). The
// folder's own sync is the caller's, and so is ending the line (end_line).
void place_image(const Platform& os, ImageState* state);

// Ends a placed file's line, saying so when its folder could not be synced.
void end_line(ImageState* state);

// Gives up a file prepared but never to be placed: closes what it holds and
// removes the temporary files it made.
void discard_prepared(const Platform& os, ImageState* state);

// Flushes a prepared output to the disk; one that cannot be is given up.
void sync_prepared_output(const Platform& os, ImageState* state);

// Both, for one file alone, with its folder synced and its line printed.
ResultCode process_image(const Platform& os, RunTotals& totals, const std::string& name,
                         const std::string& folder);
