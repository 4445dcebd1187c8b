#include <cstdlib>
#include <map>
#include <string>
#include <utility>

#include "support/camera_jpeg.h"
#include "support/temp_dir.h"

// Made by the real cjpeg from a small gradient, once per size.
Bytes plain_jpeg(int width, int height) {
  static std::map<std::pair<int, int>, Bytes> made;
  Bytes& jpeg = made[{width, height}];
  if (!jpeg.empty()) return jpeg;
  TempDir dir;
  const std::string ppm = dir.path() + "/in.ppm";
  const std::string out = dir.path() + "/out.jpg";
  Bytes pixels;
  const std::string header =
      "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  pixels.insert(pixels.end(), header.begin(), header.end());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      pixels.push_back(static_cast<std::uint8_t>(x * 4));
      pixels.push_back(static_cast<std::uint8_t>(y * 5));
      pixels.push_back(static_cast<std::uint8_t>((x * y) & 0xFF));
    }
  }
  write_file(ppm, pixels);
  const std::string command = "cjpeg -quality 85 -outfile '" + out + "' '" + ppm + "'";
  if (std::system(command.c_str()) != 0) std::abort();
  jpeg = read_file(out);
  return jpeg;
}
