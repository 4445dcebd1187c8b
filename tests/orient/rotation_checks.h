// What a turned camera file is expected to become, worked out with jpegtran
// itself, for the rotation tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/camera_jpeg.h"
#include "support/file_facts.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

namespace rotation_checks {

// A camera file with these Orientation entries. jpegtran drops the appended
// preview, so a turned picture is never cut: with three thumbnails it still
// holds a fourth sequence, but inside its Exif segment, before the picture.
inline CameraJpegOptions turned(std::vector<std::uint32_t> orientations, int exif_thumbnails = 2) {
  CameraJpegOptions options;
  options.orientations = std::move(orientations);
  options.exif_thumbnails = exif_thumbnails;
  return options;
}

// Writes a picture with distinct times and permission bits.
inline void put_picture(const std::string& path, const Bytes& bytes) {
  write_file(path, bytes);
  set_file_stamp(path, distinct_stamp());
}

// " (N)": the saving printed when `before` became `after`.
inline std::string saving(const Bytes& before, const Bytes& after) {
  return " (" + std::to_string(before.size() - after.size()) + ")";
}

// jpegtran's output for `original` with `options` and every marker copied;
// empty when jpegtran fails.
inline Bytes jpegtran_output(const Bytes& original, const std::vector<std::string>& options) {
  TempDir dir;
  write_file(dir / "in.jpg", original);
  std::vector<std::string> argv = {"jpegtran"};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.insert(argv.end(), {"-copy", "all", "-outfile", dir / "out.jpg", dir / "in.jpg"});
  if (run_program_capture(argv).status != 0) return {};
  return read_file(dir / "out.jpg");
}

// jpegtran's rotation of `original` by `degrees`, with the Orientation value at
// `value_offset` reading 1: what the picture on disk is once it is rotated.
inline Bytes rotated_upright(const Bytes& original, const std::string& degrees,
                             std::int64_t value_offset) {
  Bytes rotated = jpegtran_output(original, {"-rotate", degrees});
  if (rotated.size() < static_cast<std::size_t>(value_offset) + 4) return {};
  const std::uint8_t normal[4] = {1, 0, 0, 0};
  std::copy(normal, normal + 4, rotated.begin() + value_offset);
  return rotated;
}

}  // namespace rotation_checks
