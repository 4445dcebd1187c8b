// Telling camera files from others.
#pragma once

#include <memory>
#include <string>

#include "platform/holders.h"

// Whether the 16 bytes at offset 146 of an open file hold one of the accepted
// model texts. A file too short to hold them is not a camera file.
bool match_camera_model(const Platform& os, FileHandle file);

// The folder files were last opened in, held open so that the next ones
// there are opened by their names alone, without walking the path again.
struct HeldFolder {
  std::string path;
  // None where the platform holds no folders. The files opened in it share
  // it until they are in place.
  std::shared_ptr<OpenFile> handle;
  bool reads_keep_access_time = false;  // see Platform::reads_keep_access_time
};

// Holds `folder` in `held` unless it is held already; its handle, or kNoFile.
FileHandle hold_folder(const Platform& os, const std::string& folder, HeldFolder* held);

enum class Opening {
  kCamera,     // open in `input`, its facts taken
  kOther,      // nothing open: it cannot be opened, is empty or another model's
  kOutOfFiles  // nothing open: the process holds all the files it may
};

// Opens the file `name` of `folder` (held in `held`) for reading and keeps it
// open in `input` when it is a camera file, with its facts (times, owner,
// bits, length, identity) in `picture`, as they were before anything read it.
Opening open_camera_file(const Platform& os, const HeldFolder& held, const std::string& name,
                         OpenFile* input, FileInfo* picture);
