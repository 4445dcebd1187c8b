// The road of a picture whose Orientation says it is turned.
#pragma once

#include <string>

#include "orient/orientation.h"
#include "platform/holders.h"
#include "strip/image_state.h"
#include "strip/run_totals.h"

// Has jpegtran turn the open picture `input` (at `path`, first opened with
// the facts `picture`) upright into a fresh `path`.r, sets the Orientation in
// that file to 1, and puts it in place of `path` with the picture's times,
// owner and bits. `input` is closed on every road. Prints "--> <operation>"
// and, on failure, what went wrong. True when the turned picture is in place,
// open as `rotated`; false leaves the original as it was.
bool rotate_image(const Platform& os, const std::string& path, const OrientationMark& turn,
                  const FileInfo& picture, OpenFile* input, OpenFile* rotated);

// Releases the loaded bytes, turns the picture upright, counts it, and loads
// the turned picture back from the file it was written to. RESULT_DONE when
// `state` holds the reloaded file; otherwise RESULT_ROTATE_FAILED,
// RESULT_ROTATED_EMPTY, RESULT_RELOAD_NO_MEMORY or RESULT_RELOAD_FAILED, with
// nothing left open.
ResultCode take_rotation_road(const Platform& os, RunTotals& totals, ImageState* state);
