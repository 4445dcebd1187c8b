// Everything the pipeline holds for one file, from its opening to its place
// in the folder. Its holders close every file on every road out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "orient/orientation.h"
#include "platform/holders.h"
#include "strip/result_codes.h"
#include "strip/run_totals.h"

struct ImageState {
  std::shared_ptr<const OpenFile> folder;  // the folder it was opened in, while it is at work
  std::string path;                        // folder, separator, name
  std::string output_name;                 // path + ".stripped"
  std::string rotated_name;                // path + ".r"
  OpenFile input;                          // the picture
  OpenFile output;                         // the ".stripped" file, until it is in place or given up
  OpenFile rotated;   // the turned picture jpegtran wrote, until it is in place
  FileInfo picture;   // times, owner and bits as first opened, before any read
  FileInfo in_place;  // what the name must still lead to: the picture, then its turn
  std::int64_t original_length = 0;
  OrientationMark turn;        // the turn the picture's Orientation asked for
  bool camera = false;         // a camera file: it has a console line
  bool dropped = false;        // an earlier file of its folder could not be read
  bool rotated_ready = false;  // the turned picture is on the disk, waiting for its place
  bool output_made = false;    // the ".stripped" file was created
  bool output_ready = false;   // the output holds what is to take the picture's place
  bool output_synced = false;  // ... and is on the disk
  bool replaced = false;       // something took the picture's name: its folder needs a sync
  bool folder_synced = false;  // ... and it was made durable
  bool cut_found = false;
  bool turned_output_refused = false;  // the turned picture's output could not be created
  int soi_count = 0;
  std::int64_t bytes_written = 0;
  ResultCode result = RESULT_UNCHANGED;
  // What the turned picture's own pass came to; it counts once the turned
  // picture is in place.
  ResultCode result_after_rotation = RESULT_DONE;
  std::string line;   // the console line so far, unless shown at once
  RunTotals counted;  // this file's share of the run's totals
};

// The folder the file's names are reached in, or kNoFile.
inline FileHandle folder_handle(const ImageState& state) {
  return state.folder ? state.folder->handle : kNoFile;
}
