// Writes camera files as the unit tests make them, for the scripts and suites
// that are not C++. One file from the command line, or many from standard
// input (--batch: one file a line, its arguments separated by tabs, so that
// a model may hold spaces). For each file it prints "PATH LENGTH CUT": CUT is
// where the first appended preview begins, LENGTH when there is none.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/camera_jpeg.h"

namespace {

constexpr const char* kUsage =
    "usage: camera_files [OPTION...] OUT\n"
    "       camera_files --batch   (lines of OUT<tab>OPTION<tab>... on standard input)\n"
    "options: --model TEXT  --tag TEXT  --orientations V,V,... (empty for none)\n"
    "         --big-endian  --jfif-first  --thumbnails N  --previews N  --size WxH\n"
    "         --preview-size WxH  --grain N  --seed N  --quality N\n"
    "         --thumbnail-size WxH (a real thumbnail in IFD1, 4:2:2, ending the segment)\n"
    "         --thumbnail-place N (bytes kept for it, zero padded)\n"
    "         --plain (the picture alone, as cjpeg writes it)\n";

bool size_of(const std::string& text, int* width, int* height) {
  return std::sscanf(text.c_str(), "%dx%d", width, height) == 2;
}

std::vector<std::uint32_t> list_of(const std::string& text) {
  std::vector<std::uint32_t> values;
  std::stringstream in(text);
  for (std::string value; std::getline(in, value, ',');) {
    if (!value.empty()) values.push_back(static_cast<std::uint32_t>(std::stoul(value)));
  }
  return values;
}

// Makes the file that `args` describes; false on arguments it does not know.
bool make(const std::vector<std::string>& args) {
  CameraJpegOptions o;
  bool plain = false;
  std::string out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    const std::string value = has_value ? args[i + 1] : "";
    bool ok = true;
    if (a == "--big-endian") {
      o.big_endian = true;
    } else if (a == "--jfif-first") {
      o.jfif_first = true;
    } else if (a == "--plain") {
      plain = true;
    } else if (a.rfind("--", 0) != 0) {
      ok = out.empty();
      out = a;
    } else if (!has_value) {
      ok = false;
    } else {
      ++i;
      if (a == "--model") {
        o.model = value;
      } else if (a == "--tag") {
        o.tag = value;
      } else if (a == "--orientations") {
        o.orientations = list_of(value);
      } else if (a == "--thumbnails") {
        o.exif_thumbnails = std::stoi(value);
      } else if (a == "--previews") {
        o.trailing_previews = std::stoi(value);
      } else if (a == "--size") {
        ok = size_of(value, &o.width, &o.height);
      } else if (a == "--thumbnail-size") {
        ok = size_of(value, &o.thumbnail.width, &o.thumbnail.height);
      } else if (a == "--thumbnail-place") {
        o.thumbnail.place = std::stoul(value);
      } else if (a == "--preview-size") {
        ok = size_of(value, &o.preview_width, &o.preview_height);
      } else if (a == "--grain") {
        o.grain = std::stoi(value);
      } else if (a == "--seed") {
        o.seed = std::stoi(value);
      } else if (a == "--quality") {
        o.quality = std::stoi(value);
      } else {
        ok = false;
      }
    }
    if (!ok) {
      std::cerr << "camera_files: cannot use '" << a << "'\n" << kUsage;
      return false;
    }
  }
  if (out.empty()) {
    std::cerr << kUsage;
    return false;
  }
  const Bytes bytes =
      plain ? plain_jpeg({o.width, o.height, o.grain, o.seed, o.quality}) : make_camera_jpeg(o);
  write_file(out, bytes);
  const std::int64_t cut =
      plain ? static_cast<std::int64_t>(bytes.size()) : trailing_preview_offset(bytes, o);
  std::cout << out << ' ' << bytes.size() << ' ' << cut << '\n';
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() != 1 || args[0] != "--batch") return make(args) ? 0 : 2;
  for (std::string line; std::getline(std::cin, line);) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    if (!fields.empty() && !make(fields)) return 2;
  }
  return 0;
}
