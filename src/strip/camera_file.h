// Telling camera files from others.
#pragma once

#include <string>

#include "platform/holders.h"

// Whether the 16 bytes at offset 146 of an open file hold one of the accepted
// model texts. A file too short to hold them is not a camera file.
bool match_camera_model(const Platform& os, FileHandle file);

// Opens `path` for reading and keeps it open in `input` when it is a camera
// file, with its facts as opened (times, owner, bits, length) in `picture`,
// taken before anything reads it. False, with nothing open, for anything
// else: a file that cannot be opened, an empty one, another model's.
bool open_camera_file(const Platform& os, const std::string& path, OpenFile* input,
                      FileInfo* picture);
