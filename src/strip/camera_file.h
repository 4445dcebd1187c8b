// Telling camera files from others, and loading them whole.
#pragma once

#include <cstdint>
#include <string>

#include "platform/holders.h"
#include "strip/image_state.h"

// Whether the 16 bytes at offset 146 of an open file hold one of the accepted
// model texts. A file too short to hold them is not a camera file.
bool match_camera_model(const Platform& os, FileHandle file);

// The open file's length, or -1 when it cannot be had.
std::int64_t file_length(const Platform& os, FileHandle file);

// Memory for `length` bytes; false when there is none.
bool allocate_image(const Platform& os, std::int64_t length, ImageBuffer* image);

// Reads the whole of `image->length` bytes from the start of the file.
bool read_whole(const Platform& os, FileHandle file, ImageBuffer* image);

enum LoadOutcome { LOAD_NOT_CAMERA, LOAD_FAILED, LOAD_DONE };

// Forms the file's path and output name in `state`, opens the file and, when
// it is a camera file, reads it whole and prints its path, opening its console
// line. LOAD_FAILED prints " -->Error processing <path>"; whatever it opened or
// allocated stays in `state` for the end stage.
LoadOutcome load_camera_image(const Platform& os, const std::string& name,
                              const std::string& folder, ImageState* state);
