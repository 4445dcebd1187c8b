// Telling camera files from others, and loading them whole.
#pragma once

#include <cstdint>
#include <string>

#include "platform/holders.h"
#include "strip/image_state.h"

// Whether the 16 bytes at offset 146 of an open file hold one of the accepted
// model texts. A file too short to hold them is not a camera file.
bool match_camera_model(const Platform& os, FileHandle file);

enum WholeRead { WHOLE_READ, WHOLE_EMPTY, WHOLE_NO_MEMORY, WHOLE_SHORT };

// Takes the open file's length from its status, gets memory for that many
// bytes and reads them into `image`. WHOLE_EMPTY when the length is 0 or
// cannot be had; on WHOLE_SHORT the memory stays in `image`.
WholeRead read_whole_file(const Platform& os, FileHandle file, ImageBuffer* image);

enum LoadOutcome { LOAD_NOT_CAMERA, LOAD_FAILED, LOAD_DONE };

// Forms the file's path and output name in `state`, opens the file and, when
// it is a camera file, reads it whole and prints its path, opening its console
// line. LOAD_FAILED prints " -->Error processing <path>"; whatever it opened or
// allocated stays in `state` for the end stage.
LoadOutcome load_camera_image(const Platform& os, const std::string& name,
                              const std::string& folder, ImageState* state);
