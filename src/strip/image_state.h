// Everything process_image holds for one file. It lives for one call; its
// holders close the input and release the buffer on every road out.
#pragma once

#include <cstdint>
#include <string>

#include "orient/orientation.h"
#include "platform/holders.h"
#include "strip/result_codes.h"

struct ImageState {
  std::string path;         // folder, separator, name
  std::string output_name;  // path + ".stripped"
  OpenFile input;           // the picture as loaded, or the turned picture jpegtran wrote
  OpenFile output;          // the ".stripped" file, until it is in place or given up
  ImageBuffer image;        // the whole file: as loaded, or as reloaded after rotation
  std::int64_t original_length = 0;
  FileInfo picture;      // times, owner and bits as first opened, before any read
  OrientationMark turn;  // the turn the loaded file's Orientation asked for
  bool rotated = false;  // the turned picture is in place and reloaded
  bool cut_found = false;
  bool output_written = false;  // the part before the cut reached the output
  ResultCode result = RESULT_UNCHANGED;
  int soi_count = 0;
  std::int64_t bytes_written = 0;
};
