// The end of the main image, found block by block, against the plain
// byte-by-byte reading of the same rules, and the cut found while a file
// streams by in pieces, against the whole file's.
#include "strip/image_end.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "fuzz/reference.h"
#include "strip/cut_scan.h"
#include "strip/preview_cut.h"
#include "support/camera_jpeg.h"

namespace {

// A start of image, a scan header, then coded bytes drawn so that FF and the
// bytes that may follow it (00, FF, D0-D7, D9, other markers) come often, in
// every lane of a block and across block edges; now and then an end of image
// and trailing bytes.
Bytes random_scan(std::mt19937* draw) {
  static constexpr std::uint8_t kChoices[] = {0xFF, 0xFF, 0xFF, 0x00, 0xD0, 0xD7,
                                              0xD9, 0xC4, 0xDA, 0xD8, 0x12, 0x80};
  Bytes bytes = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02};
  std::uniform_int_distribution<int> length(0, 80);
  std::uniform_int_distribution<int> pick(0, sizeof kChoices - 1);
  std::uniform_int_distribution<int> any(0, 255);
  const int n = length(*draw);
  for (int i = 0; i < n; ++i) {
    const int choice = pick(*draw);
    bytes.push_back(choice < 11 ? kChoices[choice] : static_cast<std::uint8_t>(any(*draw)));
  }
  return bytes;
}

TEST(ImageEnd, BlockByBlockAgreesWithTheByteByByteReading) {
  std::mt19937 draw(20261207);
  int ended = 0;
  for (int i = 0; i < 20000; ++i) {
    const Bytes bytes = random_scan(&draw);
    const std::int64_t expected = reference_image_end(bytes);
    ASSERT_EQ(find_main_image_end(bytes.data(), static_cast<std::int64_t>(bytes.size())), expected)
        << "case " << i;
    if (expected >= 0) ++ended;
  }
  EXPECT_GT(ended, 1000);  // the end is reached often enough to be tested
}

}  // namespace

namespace {

// The walk and the cut come out the same however the bytes are split into
// pieces: at every FF, length byte and block edge some split falls.
TEST(ImageEnd, PiecesOfAnySizeGiveTheWholeFilesAnswer) {
  std::mt19937 draw(7);
  std::vector<Bytes> files;
  for (int i = 0; i < 300; ++i) files.push_back(random_scan(&draw));
  for (int previews = 0; previews < 3; ++previews) {
    CameraJpegOptions options;
    options.trailing_previews = previews;
    files.push_back(make_camera_jpeg(options));
  }
  for (const Bytes& file : files) {
    const auto n = static_cast<std::int64_t>(file.size());
    const std::int64_t end = find_main_image_end(file.data(), n);
    int whole_count = 0;
    std::int64_t whole_cut = find_preview_cut(file.data(), n, &whole_count);
    if (whole_cut >= 0 && (end < 0 || whole_cut < end)) whole_cut = -1;
    for (std::int64_t piece = 1; piece <= 19; ++piece) {
      CutScan scan;
      for (std::int64_t at = 0; at < n; at += piece) {
        scan_for_cut(&scan, file.data() + at, std::min(piece, n - at));
      }
      ASSERT_EQ(scan.walk.end, end) << "pieces of " << piece;
      ASSERT_EQ(scan.cut, whole_cut) << "pieces of " << piece;
      if (whole_cut < 0) {
        ASSERT_EQ(scan.soi_count, whole_count) << "pieces of " << piece;
      }
    }
  }
}

}  // namespace
