#include <cmath>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <tuple>

#include "support/camera_jpeg.h"
#include "support/temp_dir.h"

namespace {

std::uint8_t clamped(double v) {
  return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// A small gradient: the unit tests' picture.
Bytes gradient_pixels(int width, int height) {
  Bytes pixels;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      pixels.push_back(static_cast<std::uint8_t>(x * 4));
      pixels.push_back(static_cast<std::uint8_t>(y * 5));
      pixels.push_back(static_cast<std::uint8_t>((x * y) & 0xFF));
    }
  }
  return pixels;
}

// Smooth shading with grain, built from a few rows drawn once and shifted,
// so that a camera-sized picture takes a fraction of a second. The grain sets
// how large the JPEG gets.
Bytes shaded_pixels(const PictureOptions& o) {
  std::mt19937 random(static_cast<std::uint32_t>(o.seed));
  std::uniform_int_distribution<int> noise(-o.grain, o.grain);
  std::uniform_real_distribution<double> phase_of(0, 6);
  constexpr int kKinds = 61;
  std::vector<Bytes> rows;
  for (int k = 0; k < kKinds; ++k) {
    const double phase[3] = {phase_of(random), phase_of(random), phase_of(random)};
    Bytes row(static_cast<std::size_t>(o.width) * 6);
    for (int x = 0; x < 2 * o.width; ++x) {
      for (int c = 0; c < 3; ++c) {
        const double v = 128 + 70 * std::sin(x / (53.0 + 17 * c) + phase[c] + k * 0.05);
        row[static_cast<std::size_t>(x * 3 + c)] = clamped(v + noise(random));
      }
    }
    rows.push_back(std::move(row));
  }
  Bytes pixels;
  pixels.reserve(static_cast<std::size_t>(o.width) * o.height * 3);
  for (int y = 0; y < o.height; ++y) {
    const Bytes& row = rows[static_cast<std::size_t>((y * 17 + y / 64) % kKinds)];
    const int start = (y * 13) % o.width;
    const double lift = 50 * std::sin((y / 8 % 256) / 9.0 + o.seed);
    for (int i = 0; i < o.width * 3; ++i) {
      pixels.push_back(clamped(row[static_cast<std::size_t>(start * 3 + i)] + lift));
    }
  }
  return pixels;
}

}  // namespace

// Made by the real cjpeg, once per set of options.
Bytes plain_jpeg(const PictureOptions& o, const JpegCoding& coding) {
  static std::map<std::tuple<int, int, int, int, int, std::string, bool>, Bytes> made;
  Bytes& jpeg = made[{o.width, o.height, o.grain, o.grain == 0 ? 0 : o.seed, o.quality,
                      coding.sample, coding.optimize}];
  if (!jpeg.empty()) return jpeg;
  TempDir dir;
  const std::string ppm = dir.path() + "/in.ppm";
  const std::string out = dir.path() + "/out.jpg";
  const std::string header =
      "P6\n" + std::to_string(o.width) + " " + std::to_string(o.height) + "\n255\n";
  Bytes pixels(header.begin(), header.end());
  const Bytes body = o.grain == 0 ? gradient_pixels(o.width, o.height) : shaded_pixels(o);
  pixels.insert(pixels.end(), body.begin(), body.end());
  write_file(ppm, pixels);
  std::string command = "cjpeg -quality " + std::to_string(o.quality);
  if (!coding.sample.empty()) command += " -sample " + coding.sample;
  if (coding.optimize) command += " -optimize";
  command += " -outfile '" + out + "' '" + ppm + "'";
  if (std::system(command.c_str()) != 0) std::abort();
  jpeg = read_file(out);
  return jpeg;
}
