// Turning a picture upright with jpegtran.
#pragma once

#include <string>

#include "driver/run_totals.h"
#include "orient/orientation.h"
#include "platform/platform.h"
#include "strip/image_state.h"

// Has jpegtran write `path` turned upright to `path`.r, sets the Orientation
// value in that file to 1, and puts it in place of `path` with `times`.
// Returns 0 when the rotated picture is in place, 1 when jpegtran failed or
// gave no usable picture (the original is untouched), 2 when the replacement
// failed. Prints "--> <operation>" and, on failure, what went wrong.
int rotate_image(const Platform& os, const std::string& path, const OrientationMark& mark,
                 const FileTimes& times);

// The road of a turned picture: releases what `state` holds of the file,
// rotates it, counts it, and loads the rotated file back with its Orientation
// value reset. Returns RESULT_DONE when `state` holds the reloaded file, or
// RESULT_ROTATE_FAILED, RESULT_ROTATED_EMPTY, RESULT_RELOAD_NO_MEMORY or
// RESULT_RELOAD_FAILED with nothing open or allocated.
int take_rotation_road(const Platform& os, RunTotals& totals, ImageState* state);
