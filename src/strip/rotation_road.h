// The road of a picture whose Orientation says it is turned.
#pragma once

#include "platform/holders.h"
#include "strip/image_state.h"

// Has jpegtran turn the open picture upright into a fresh ".r" file, turns
// its thumbnail, sets its Orientation to 1 and puts it on the disk; then
// copies the turned picture, cut before its extra preview (or whole when it
// has none), into the output. Prints "--> <operation>" and, on failure, what
// went wrong; what concerns the turned picture's own output is said only once
// the turned picture is in place. The picture itself is closed on every road, and nothing takes its
// place yet: place_turned_picture does that.
void turn_picture(const Platform& os, std::uint8_t* piece, ImageState* state);

// Puts the turned picture in place of the original with the picture's times,
// owner and bits, and counts it. False, with " -->Couldn't replace original
// file" printed and RESULT_ROTATE_FAILED, when it cannot be; otherwise says
// what went wrong with the turned picture's own output, if anything.
bool place_turned_picture(const Platform& os, ImageState* state);
