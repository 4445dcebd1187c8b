#include "support/camera_jpeg.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

constexpr std::size_t kModelOffset = 146;

void put16(Bytes* out, std::uint32_t v, bool big) {
  if (big) {
    out->push_back(static_cast<std::uint8_t>(v >> 8));
    out->push_back(static_cast<std::uint8_t>(v));
  } else {
    out->push_back(static_cast<std::uint8_t>(v));
    out->push_back(static_cast<std::uint8_t>(v >> 8));
  }
}

void put32(Bytes* out, std::uint32_t v, bool big) {
  if (big) {
    put16(out, v >> 16, true);
    put16(out, v & 0xFFFF, true);
  } else {
    put16(out, v & 0xFFFF, false);
    put16(out, v >> 16, false);
  }
}

// The picture's segments after its start marker and JFIF segment (tables,
// frame, scan, end marker): the body every made file shares.
Bytes picture_body(const Bytes& jpeg) {
  std::size_t at = 2;
  if (jpeg.size() > 4 && jpeg[2] == 0xFF && jpeg[3] == 0xE0) {
    at = 4 + ((jpeg[4] << 8) | jpeg[5]);
  }
  return Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
}

Bytes tiny_thumbnail() {
  // A start of image, a fake table and an end of image: enough for the scan.
  return {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xD9};
}

PictureOptions thumbnail_picture(const CameraJpegOptions& o) {
  return {o.thumbnail.width, o.thumbnail.height, o.grain, o.seed + 2, o.thumbnail.quality};
}

void overwrite32(Bytes* out, std::size_t at, std::uint32_t v, bool big) {
  Bytes bytes;
  put32(&bytes, v, big);
  std::copy(bytes.begin(), bytes.end(), out->begin() + static_cast<std::ptrdiff_t>(at));
}

// IFD1 at the end of `tiff`, then the thumbnail in its place, before or after
// the tiny ones.
void add_ifd1_thumbnail(const CameraJpegOptions& o, std::size_t next_ifd, const Bytes& tiny,
                        Bytes* tiff) {
  const bool big = o.big_endian;
  Bytes thumbnail = plain_jpeg(thumbnail_picture(o), {o.thumbnail.sample, o.thumbnail.optimize});
  // The length tag gives the whole place, as the camera's does.
  thumbnail.resize(std::max(thumbnail.size(), o.thumbnail.place), 0);
  const std::size_t length = thumbnail.size();
  overwrite32(tiff, next_ifd, static_cast<std::uint32_t>(tiff->size()), big);
  const std::size_t ifd1 = tiff->size();
  put16(tiff, 2, big);
  for (const std::uint32_t tag : {0x0201U, 0x0202U}) {
    put16(tiff, tag, big);
    put16(tiff, 4, big);  // LONG
    put32(tiff, 1, big);
    put32(tiff, 0, big);  // set below
  }
  put32(tiff, 0, big);  // no next IFD
  if (o.thumbnail.last) tiff->insert(tiff->end(), tiny.begin(), tiny.end());
  overwrite32(tiff, ifd1 + 10, static_cast<std::uint32_t>(tiff->size()), big);
  overwrite32(tiff, ifd1 + 22, static_cast<std::uint32_t>(length), big);
  tiff->insert(tiff->end(), thumbnail.begin(), thumbnail.end());
  if (!o.thumbnail.last) tiff->insert(tiff->end(), tiny.begin(), tiny.end());
}

Bytes exif_segment(const CameraJpegOptions& o, std::size_t segment_start) {
  const bool big = o.big_endian;
  Bytes tiff;
  tiff.insert(tiff.end(), big ? "MM" : "II", (big ? "MM" : "II") + 2);
  put16(&tiff, 42, big);
  put32(&tiff, 8, big);
  const std::size_t entries = o.orientations.size() + 1;
  put16(&tiff, static_cast<std::uint32_t>(entries), big);
  for (std::uint32_t value : o.orientations) {
    put16(&tiff, 0x0112, big);
    put16(&tiff, 3, big);  // SHORT
    put32(&tiff, 1, big);
    if (big) {
      put16(&tiff, value, true);
      put16(&tiff, 0, true);
    } else {
      put32(&tiff, value, false);
    }
  }
  // The model text lies at file offset 146, wherever the segment starts.
  const std::size_t tiff_start = segment_start + 10;
  const std::size_t model_in_tiff = kModelOffset - tiff_start;
  put16(&tiff, 0x0110, big);
  put16(&tiff, 2, big);  // ASCII
  put32(&tiff, 32, big);
  put32(&tiff, static_cast<std::uint32_t>(model_in_tiff), big);
  const std::size_t next_ifd = tiff.size();
  put32(&tiff, 0, big);                           // no next IFD
  if (tiff.size() > model_in_tiff) std::abort();  // too many entries for the layout
  tiff.resize(model_in_tiff, 0);
  Bytes model(32, 0);
  std::copy(o.model.begin(), o.model.begin() + std::min<std::ptrdiff_t>(32, std::ssize(o.model)),
            model.begin());
  std::copy(o.tag.begin(), o.tag.begin() + std::min<std::ptrdiff_t>(12, std::ssize(o.tag)),
            model.begin() + 20);
  tiff.insert(tiff.end(), model.begin(), model.end());
  Bytes tiny;
  for (int i = 0; i < o.exif_thumbnails; ++i) {
    const Bytes thumb = tiny_thumbnail();
    tiny.insert(tiny.end(), thumb.begin(), thumb.end());
  }
  if (o.thumbnail.width == 0) {
    tiff.insert(tiff.end(), tiny.begin(), tiny.end());
  } else {
    add_ifd1_thumbnail(o, next_ifd, tiny, &tiff);
  }

  Bytes segment = {0xFF, 0xE1};
  put16(&segment, static_cast<std::uint32_t>(tiff.size() + 8), true);
  const char exif_id[] = {'E', 'x', 'i', 'f', 0, 0};
  segment.insert(segment.end(), exif_id, exif_id + 6);
  segment.insert(segment.end(), tiff.begin(), tiff.end());
  return segment;
}

PictureOptions preview_of(const CameraJpegOptions& o) {
  return {o.preview_width, o.preview_height, o.grain, o.seed + 1, o.quality};
}

}  // namespace

Bytes plain_jpeg(int width, int height) {
  return plain_jpeg(PictureOptions{width, height});
}

Bytes make_camera_jpeg(const CameraJpegOptions& options) {
  const Bytes jpeg =
      plain_jpeg({options.width, options.height, options.grain, options.seed, options.quality});
  Bytes file = {0xFF, 0xD8};
  if (options.jfif_first) {
    const std::size_t jfif_length = 2 + ((jpeg[4] << 8) | jpeg[5]);
    file.insert(file.end(), jpeg.begin() + 2,
                jpeg.begin() + 2 + static_cast<std::ptrdiff_t>(jfif_length));
  }
  const Bytes exif = exif_segment(options, file.size());
  file.insert(file.end(), exif.begin(), exif.end());
  const Bytes body = picture_body(jpeg);
  file.insert(file.end(), body.begin(), body.end());
  const Bytes preview = plain_jpeg(preview_of(options));
  for (int i = 0; i < options.trailing_previews; ++i)
    file.insert(file.end(), preview.begin(), preview.end());
  return file;
}

std::int64_t trailing_preview_offset(const Bytes& file, const CameraJpegOptions& options) {
  const auto preview = static_cast<std::int64_t>(plain_jpeg(preview_of(options)).size());
  return static_cast<std::int64_t>(file.size()) - preview * options.trailing_previews;
}

std::vector<std::int64_t> sequence_offsets(const Bytes& bytes) {
  std::vector<std::int64_t> offsets;
  for (std::size_t i = 0; i + 2 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xD8 && bytes[i + 2] == 0xFF) {
      offsets.push_back(static_cast<std::int64_t>(i));
    }
  }
  return offsets;
}

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}
