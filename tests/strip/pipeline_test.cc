// The per-file pipeline end to end on the real binary: each file's console
// line, what is left on disk, and the totals.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/camera_jpeg.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

const Bytes kStartOfScan = {0xFF, 0xDA};

Bytes prefix(const Bytes& bytes, std::int64_t length) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

// Whether any name below `folder` ends in ".stripped".
bool stripped_left(const std::string& folder) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.path().extension() == ".stripped") return true;
  }
  return false;
}

}  // namespace

TEST(Pipeline, ConsoleLinesFilesAndTotals) {
  struct Case {
    std::string name;
    Bytes bytes;
    std::int64_t cut;    // -1: the file stays as it is
    std::string suffix;  // after the path on its line
  };
  std::vector<Case> cases;
  const auto add_sequences = [&](const std::string& name, int thumbnails, int previews) {
    CameraJpegOptions o;
    o.exif_thumbnails = thumbnails;
    o.trailing_previews = previews;
    const Bytes bytes = make_camera_jpeg(o);
    const std::vector<std::int64_t> seq = sequence_offsets(bytes);
    ASSERT_EQ(seq.size(), static_cast<std::size_t>(1 + thumbnails + previews)) << name;
    const std::int64_t cut = seq.size() >= 4 ? seq[3] : -1;
    std::string suffix = seq.size() >= 4 ? " (" + std::to_string(bytes.size() - cut) + ")"
                                         : " -->preview image not found";
    cases.push_back({name, bytes, cut, suffix});
  };
  add_sequences("four 100%s%d%n.jpg", 2, 1);  // printed as it is, never as a format
  add_sequences("five.JPG", 2, 2);
  add_sequences("three.jpg", 1, 1);
  add_sequences("two.jpg", 0, 1);
  add_sequences("one.jpg", 0, 0);
  // No sequence at all: the start of image broken, still a camera file.
  Bytes none = cases.back().bytes;
  none[1] = 0x00;
  ASSERT_TRUE(sequence_offsets(none).empty());
  cases.push_back({"none.jpg", none, -1, ""});

  // Truncated camera files: the model is there, the end is not.
  const Bytes whole = make_camera_jpeg();
  const std::int64_t preview = trailing_preview_offset(whole, {});
  cases.push_back(
      {"cut_before_preview.jpg", prefix(whole, preview - 1), -1, " -->preview image not found"});
  cases.push_back(
      {"cut_inside_marker.jpg", prefix(whole, preview + 2), -1, " -->preview image not found"});
  cases.push_back({"cut_after_marker.jpg", prefix(whole, preview + 3), preview, " (3)"});
  cases.push_back({"exactly_162.jpg", prefix(whole, 162), -1, " -->preview image not found"});

  // The cut is made only past the end of the main image, found by following
  // its segments and scans.
  const auto at = [&](std::int64_t offset) {
    return whole.begin() + static_cast<std::ptrdiff_t>(offset);
  };
  const Bytes appended(at(preview), whole.end());
  const auto saving = [](const Bytes& bytes, std::int64_t cut) {
    return " (" + std::to_string(static_cast<std::int64_t>(bytes.size()) - cut) + ")";
  };
  Bytes filled = prefix(whole, preview);
  filled.insert(filled.end(), {0xFF, 0xFF, 0x00, 0x42});  // fill and stray bytes after the image
  filled.insert(filled.end(), appended.begin(), appended.end());
  cases.push_back({"fill_then_preview.jpg", filled, preview + 4, saving(filled, preview + 4)});

  // A second scan, as a progressive picture has: after the first scan's data
  // comes a marker segment to follow, not the end.
  const auto scan = static_cast<std::int64_t>(
      std::search(whole.begin() + 4, whole.end(), kStartOfScan.begin(), kStartOfScan.end()) -
      whole.begin());
  Bytes two_scans = prefix(whole, preview - 2);
  two_scans.insert(two_scans.end(), at(scan), at(preview));
  const auto after_scans = static_cast<std::int64_t>(two_scans.size());
  two_scans.insert(two_scans.end(), appended.begin(), appended.end());
  cases.push_back({"two_scans.jpg", two_scans, after_scans, saving(two_scans, after_scans)});

  // A small JPEG in an application segment before the picture holds the
  // fourth sequence: cutting there would destroy the picture.
  CameraJpegOptions no_preview;
  no_preview.trailing_previews = 0;
  Bytes app2 = make_camera_jpeg(no_preview);
  const Bytes small = plain_jpeg(32, 16);
  const auto segment_length = static_cast<std::uint16_t>(small.size() + 2);
  Bytes segment = {0xFF, 0xE2, static_cast<std::uint8_t>(segment_length >> 8),
                   static_cast<std::uint8_t>(segment_length & 0xFF)};
  segment.insert(segment.end(), small.begin(), small.end());
  const std::size_t exif_end = 4 + static_cast<std::size_t>((app2[4] << 8) | app2[5]);
  app2.insert(app2.begin() + static_cast<std::ptrdiff_t>(exif_end), segment.begin(), segment.end());
  ASSERT_EQ(sequence_offsets(app2).size(), 4u);
  cases.push_back({"preview_in_app2.jpg", app2, -1, " -->preview image not found"});

  // A picture whose coded data breaks off: its end cannot be found.
  Bytes broken = prefix(whole, scan + 20);
  broken.insert(broken.end(), appended.begin(), appended.end());
  cases.push_back({"broken_then_preview.jpg", broken, -1, " -->preview image not found"});

  TempDir dir;
  std::int64_t saved = 0;
  int stripped = 0;
  std::vector<std::string> expected;
  for (const Case& c : cases) {
    write_file(dir / c.name, c.bytes);
    expected.push_back(dir / c.name + c.suffix);
    if (c.cut >= 0) {
      saved += static_cast<std::int64_t>(c.bytes.size()) - c.cut;
      ++stripped;
    }
  }
  const RunOutput run = run_trimvane(dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  std::vector<std::string> lines = lines_of(after_banner(run.out));
  ASSERT_EQ(lines.size(), cases.size() + 2) << run.out;
  EXPECT_EQ(lines[cases.size()], std::to_string(stripped) + " files stripped");
  EXPECT_EQ(lines[cases.size() + 1], std::to_string(saved) + " bytes saved");
  lines.resize(cases.size());
  std::sort(lines.begin(), lines.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(lines, expected);
  for (const Case& c : cases) {
    EXPECT_EQ(read_file(dir / c.name), c.cut >= 0 ? prefix(c.bytes, c.cut) : c.bytes) << c.name;
  }
  EXPECT_FALSE(stripped_left(dir.path()));
}
