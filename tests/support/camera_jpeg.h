// Camera files made to measure for the tests: a real JPEG picture from cjpeg,
// with an Exif segment laid out as the camera lays it (model text at offset
// 146, IFD0 right after a TIFF header) and FF D8 FF sequences where asked.
// The one maker of them: the reliability suites, the benchmarks and the
// package test reach it through the camera_files program (tests/kit).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A real JPEG thumbnail in IFD1, pointed to by its JPEGInterchangeFormat and
// JPEGInterchangeFormatLength tags, as a camera writes one; the file has none
// (IFD0 has no next IFD) while `width` is 0. IFD1 follows the model text.
struct ExifThumbnailOptions {
  int width = 0;
  int height = 0;
  std::string sample = "2x1";  // cjpeg's -sample: the camera's 4:2:2; "" for cjpeg's own
  bool optimize = false;       // Huffman tables of its own, which jpegtran's turn has not
  int quality = 75;            // its picture's grain and seed are the main picture's
  std::size_t place = 0;       // bytes kept for it, zero padded, its length tag's value
  bool last = true;            // after the tiny thumbnails, ending the segment
};

struct CameraJpegOptions {
  std::string model = "EOS 300D DIGITAL";  // written at offset 146, zero padded
  // Written at offset 166, in the model field's last 12 bytes (the tool reads
  // 16): text that keeps files of a tree apart.
  std::string tag;
  // Orientation entries of IFD0, in order, before the model entry; empty for none.
  std::vector<std::uint32_t> orientations = {1};
  bool big_endian = false;    // Motorola byte order in the TIFF header
  bool jfif_first = false;    // a JFIF APP0 segment before the Exif segment
  int exif_thumbnails = 2;    // FF D8 FF sequences inside the Exif segment
  int trailing_previews = 1;  // small JPEGs appended after the picture
  int width = 64;             // of the picture, multiples of 16
  int height = 48;
  int preview_width = 32;  // of each appended preview
  int preview_height = 16;
  // 0: a smooth gradient; any other: a shaded picture with this much grain,
  // its pattern drawn from `seed`, about as large as a camera's at that size.
  int grain = 0;
  int seed = 0;
  int quality = 85;  // cjpeg's, for the picture and the previews
  ExifThumbnailOptions thumbnail;
};

struct PictureOptions {
  int width = 64;
  int height = 48;
  int grain = 0;  // as in CameraJpegOptions
  int seed = 0;
  int quality = 85;
};

// How cjpeg codes a picture beyond its quality.
struct JpegCoding {
  std::string sample;     // cjpeg's -sample; "" for its own
  bool optimize = false;  // cjpeg's -optimize
};

// A plain JPEG from cjpeg, with its JFIF segment; made once per set of options.
Bytes plain_jpeg(const PictureOptions& picture, const JpegCoding& coding = {});
Bytes plain_jpeg(int width, int height);

// A camera file as described. With the defaults it holds four sequences: the
// start of image, two thumbnails and the appended preview.
Bytes make_camera_jpeg(const CameraJpegOptions& options = {});

// Where the first appended preview begins: the cut of a default file.
std::int64_t trailing_preview_offset(const Bytes& file, const CameraJpegOptions& options);

// The offsets of every FF D8 FF in `bytes`, overlapping ones included.
std::vector<std::int64_t> sequence_offsets(const Bytes& bytes);

Bytes read_file(const std::string& path);
void write_file(const std::string& path, const Bytes& bytes);
