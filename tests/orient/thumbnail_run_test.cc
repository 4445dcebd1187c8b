// The Exif thumbnail of turned pictures, through the built binary and the
// real jpegtran; thumbnails decoded by djpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "orient/rotation_checks.h"

namespace {

using namespace rotation_checks;

constexpr std::size_t kTiff = 12;
constexpr std::int64_t kOrientationValue = 30;
constexpr std::size_t kPlace = 9728;  // what the camera keeps for its thumbnail

std::uint32_t get32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void set32(Bytes* b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The thumbnail as IFD1 of a made camera file gives it: where its offset
// and length tags keep their values, and the bytes they point to.
struct Thumbnail {
  std::size_t offset_field = 0;
  std::size_t length_field = 0;
  std::size_t start = 0;
  std::size_t length = 0;
};

Thumbnail thumbnail_of(const Bytes& file) {
  const std::size_t ifd0 = kTiff + get32(file, kTiff + 4);
  const std::size_t ifd1 =
      kTiff + get32(file, ifd0 + 2 + 12 * (file[ifd0] | (file[ifd0 + 1] << 8)));
  Thumbnail t;
  t.offset_field = ifd1 + 2 + 8;
  t.length_field = ifd1 + 2 + 12 + 8;
  t.start = kTiff + get32(file, t.offset_field);
  t.length = get32(file, t.length_field);
  return t;
}

Bytes thumbnail_bytes(const Bytes& file) {
  const Thumbnail t = thumbnail_of(file);
  return Bytes(file.begin() + static_cast<std::ptrdiff_t>(t.start),
               file.begin() + static_cast<std::ptrdiff_t>(t.start + t.length));
}

std::size_t segment_end(const Bytes& file) {
  return 4 + (file[4] << 8 | file[5]);
}

// `file` with `thumbnail` put in the place of its own, as the tool is to put
// it: over the old one, zero padded, or in a segment grown to hold it.
Bytes with_thumbnail(Bytes file, const Bytes& thumbnail) {
  const Thumbnail t = thumbnail_of(file);
  if (thumbnail.size() > t.length) {
    const std::size_t growth = thumbnail.size() - t.length;
    const std::size_t length = segment_end(file) - 4 + growth;
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(t.start + t.length), growth, 0);
    file[4] = static_cast<std::uint8_t>(length >> 8);
    file[5] = static_cast<std::uint8_t>(length);
  }
  std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(t.start), t.length, 0);
  std::copy(thumbnail.begin(), thumbnail.end(),
            file.begin() + static_cast<std::ptrdiff_t>(t.start));
  set32(&file, t.length_field, static_cast<std::uint32_t>(thumbnail.size()));
  return file;
}

// djpeg's picture of a JPEG (a binary PPM), or "" when it cannot decode it.
std::string decoded(const Bytes& jpeg) {
  TempDir dir;
  write_file(dir / "in.jpg", jpeg);
  const RunOutput run = run_program_capture({"djpeg", "-ppm", dir / "in.jpg"});
  return run.status == 0 ? run.out : "";
}

std::string ppm_size(const std::string& ppm) {
  const std::size_t first = ppm.find('\n');
  return ppm.substr(first + 1, ppm.find('\n', first + 1) - first - 1);
}

CameraJpegOptions with_thumbnail_options(std::uint32_t orientation) {
  CameraJpegOptions o = turned({orientation});
  o.thumbnail.width = 160;
  o.thumbnail.height = 120;
  o.thumbnail.place = kPlace;
  return o;
}

TEST(ThumbnailRun, TheThumbnailIsTurnedWithThePicture) {
  struct Case {
    const char* name;
    std::uint32_t orientation;
    const char* degrees;
    std::string sample;
    const char* size;  // of the turned thumbnail, as djpeg gives it
  };
  const Case cases[] = {
      {"180.jpg", 3, "180", "2x1", "160 120"},
      {"90.jpg", 6, "90", "2x1", "120 160"},
      {"270.jpg", 8, "270", "2x1", "120 160"},
      // 4:2:0 blocks are 16 pixels high: 120 rows are not whole blocks, and
      // the edge that cannot be turned is dropped.
      {"90 trimmed.jpg", 6, "90", "", "112 160"},
  };
  TempDir dir;
  std::vector<Bytes> originals;
  for (const Case& c : cases) {
    CameraJpegOptions o = with_thumbnail_options(c.orientation);
    o.thumbnail.sample = c.sample;
    originals.push_back(make_camera_jpeg(o));
    put_picture(dir / c.name, originals.back());
  }
  const RunOutput run = run_trimvane(dir.path());
  EXPECT_EQ(run.status, 0);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const Bytes& original = originals[i];
    const Bytes alone = jpegtran_output(thumbnail_bytes(original), {"-rotate", c.degrees, "-trim"});
    ASSERT_FALSE(alone.empty());
    ASSERT_LE(alone.size(), kPlace);
    const Bytes expected =
        with_thumbnail(rotated_upright(original, c.degrees, kOrientationValue), alone);
    EXPECT_NE(
        run.out.find(dir / c.name + "--> rotate " + c.degrees + saving(original, expected) + "\n"),
        std::string::npos)
        << run.out;
    const Bytes result = read_file(dir / c.name);
    EXPECT_EQ(result, expected);

    const std::string pixels = decoded(thumbnail_bytes(result));
    EXPECT_EQ(ppm_size(pixels), c.size);
    EXPECT_EQ(pixels, decoded(alone));
    // The segment is the original's but for the Orientation value, the
    // length tag and the thumbnail's place.
    Bytes segment(result.begin(),
                  result.begin() + static_cast<std::ptrdiff_t>(segment_end(result)));
    Bytes before(original.begin(),
                 original.begin() + static_cast<std::ptrdiff_t>(segment_end(original)));
    const Thumbnail t = thumbnail_of(original);
    for (Bytes* b : {&segment, &before}) {
      std::fill_n(b->begin() + static_cast<std::ptrdiff_t>(t.start), kPlace, 0);
      set32(b, t.length_field, 0);
      (*b)[kOrientationValue] = 0;
    }
    EXPECT_EQ(segment, before);
  }
}

TEST(ThumbnailRun, PutBackWhereItFitsElseLeftAsItWas) {
  // Optimised Huffman tables: jpegtran's turn, with standard tables, is longer.
  const auto tight = [](bool last) {
    CameraJpegOptions o = with_thumbnail_options(6);
    o.thumbnail.optimize = true;
    o.thumbnail.place = 0;
    o.thumbnail.last = last;
    return o;
  };
  const auto broken = [](const std::function<void(Bytes*, const Thumbnail&)>& harm) {
    Bytes file = make_camera_jpeg(with_thumbnail_options(6));
    harm(&file, thumbnail_of(file));
    return file;
  };
  struct Case {
    const char* name;
    Bytes original;
    bool turned;
  };
  const Case cases[] = {
      {"fits.jpg", make_camera_jpeg(with_thumbnail_options(6)), true},
      {"grows at the end.jpg", make_camera_jpeg(tight(true)), true},
      {"cannot grow.jpg", make_camera_jpeg(tight(false)), false},
      {"no IFD1.jpg", make_camera_jpeg(turned({6})), false},
      {"length past the segment.jpg",
       broken([](Bytes* f, const Thumbnail& t) { set32(f, t.length_field, 70000); }), false},
      {"offset past the segment.jpg",
       broken([](Bytes* f, const Thumbnail& t) { set32(f, t.offset_field, 0x00FFFFF0); }), false},
      {"not a JPEG.jpg", broken([](Bytes* f, const Thumbnail& t) { (*f)[t.start + 1] = 0; }),
       false},
      {"jpegtran fails.jpg", broken([](Bytes* f, const Thumbnail& t) {
         std::fill_n(f->begin() + static_cast<std::ptrdiff_t>(t.start + 200), t.length - 200, 0);
       }),
       false},
  };
  TempDir dir;
  for (const Case& c : cases) put_picture(dir / c.name, c.original);
  const RunOutput run = run_trimvane(dir.path());
  EXPECT_EQ(run.status, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes expected = rotated_upright(c.original, "90", kOrientationValue);
    if (c.turned) {
      expected = with_thumbnail(
          expected, jpegtran_output(thumbnail_bytes(c.original), {"-rotate", "90", "-trim"}));
    }
    if (std::string(c.name) == "grows at the end.jpg") {
      EXPECT_GT(segment_end(expected), segment_end(c.original));
    }
    // A grown file saves nothing and says so: no " (N)".
    const std::string tail =
        expected.size() < c.original.size() ? saving(c.original, expected) : "";
    EXPECT_NE(run.out.find(dir / c.name + "--> rotate 90" + tail + "\n"), std::string::npos)
        << run.out;
    EXPECT_EQ(file_stamp(dir / c.name), distinct_stamp());
    EXPECT_EQ(read_file(dir / c.name), expected);
  }
}

}  // namespace
