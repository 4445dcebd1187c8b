// The road of a picture whose Orientation says it is turned.
#pragma once

#include <string>

#include "orient/orientation.h"
#include "platform/platform.h"
#include "strip/image_state.h"
#include "strip/run_totals.h"

// Has jpegtran write `path` turned upright to `path`.r, sets the Orientation
// value in that file to 1, and puts it in place of `path` with `times`.
// Prints "--> <operation>" and, on failure, what went wrong. True when the
// turned picture is in place; false leaves the original as it was.
bool rotate_image(const Platform& os, const std::string& path, const OrientationMark& turn,
                  const FileTimes& times);

// Releases what `state` holds of the file, turns it upright, counts it, and
// loads the turned picture back. RESULT_DONE when `state` holds the reloaded
// file; otherwise RESULT_ROTATE_FAILED, RESULT_ROTATED_EMPTY,
// RESULT_RELOAD_NO_MEMORY or RESULT_RELOAD_FAILED, with nothing left open.
ResultCode take_rotation_road(const Platform& os, RunTotals& totals, ImageState* state);
