// Reading a file through one small buffer, finding the cut on the way and
// copying what lies before it: memory stays the same whatever the file's size.
#pragma once

#include <cstdint>
#include <string>

#include "platform/holders.h"
#include "strip/cut_scan.h"
#include "strip/write_turn.h"

// The size of each piece read. The Exif segment, where the Orientation is,
// lies within the first piece of every camera file.
inline constexpr std::int64_t kPieceSize = std::int64_t{256} * 1024;

// What one pass came to.
struct PassOutcome {
  bool read = false;     // every byte up to the length came in
  bool dropped = false;  // not this file's turn after all: nothing was created
  bool created = false;  // the output was created
  bool create_failed = false;
  bool write_failed = false;
  CutScan scan;
};

// The file being read and where its copy goes. `output_name` empty: the
// file is only read through.
struct Pass {
  FileHandle input = kNoFile;
  std::int64_t length = 0;        // as the file's status gave it when first opened
  std::uint8_t* piece = nullptr;  // kPieceSize bytes
  std::int64_t first_read = 0;    // bytes already in `piece`, from offset 0
  std::string output_name;
  OpenFile* output = nullptr;
  WriteTurn* turn = nullptr;    // told once the file is read through
  bool whole = false;           // copy every byte, cut or not
  FileHandle folder = kNoFile;  // where `output_name` is created
};

// Reads the file's bytes from its start to its length, scanning them for the
// cut, and copies all of them before the cut (every byte when there is none)
// into a fresh `output_name`, created once it is this file's turn. Until then
// the pass reads on without writing; the bytes read meanwhile are copied from
// file to file once the turn comes. A write that fails ends the copying but
// not the reading.
PassOutcome copy_pass(const Platform& os, const Pass& pass);

// Creates `path` (in `folder`, see Platform) afresh, open for reading and
// writing: private, never through a link; a file of that name left from an
// earlier run is removed first.
bool create_output(const Platform& os, FileHandle folder, const std::string& path,
                   OpenFile* output);
