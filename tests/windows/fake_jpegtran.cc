// A stand-in for jpegtran.exe in the Windows tests, for the failures the real
// one cannot make: a success that wrote nothing or no JPEG. Given exactly the
// command line the tool builds
//   jpegtran -rotate <90|180|270> -copy all
// it copies the picture from its standard input to its standard output
// unchanged: a "rotation" that keeps the Exif segment in place, which is all
// the tool relies on. Given the thumbnail's command line
//   jpegtran -rotate <90|180|270> -trim -copy all
// it puts a comment segment "turned" after the start of image, so that a
// test sees the thumbnail went through it and came back. The variable
// FAKE_JPEGTRAN_MODE picks a failure instead:
//   silent          exits with 0, writing nothing
//   garble          writes something that is no JPEG, exits with 0
//   record:<file>   writes its arguments, one a line, to <file>, exits with 0
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

namespace {

bool write_text(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

bool is_turn(const char* degrees) {
  return std::strcmp(degrees, "90") == 0 || std::strcmp(degrees, "180") == 0 ||
         std::strcmp(degrees, "270") == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* setting = std::getenv("FAKE_JPEGTRAN_MODE");
  const std::string mode = setting != nullptr ? setting : "";
  if (mode.rfind("record:", 0) == 0) {
    std::string lines;
    for (int i = 1; i < argc; ++i) lines += std::string(argv[i]) + "\n";
    return write_text(mode.substr(7), lines) ? 0 : 3;
  }
  if (mode == "silent") return 0;

  const bool trim = argc == 6 && std::strcmp(argv[3], "-trim") == 0;
  const int copy = trim ? 4 : 3;
  if ((argc != 5 && !trim) || std::strcmp(argv[1], "-rotate") != 0 || !is_turn(argv[2]) ||
      std::strcmp(argv[copy], "-copy") != 0 || std::strcmp(argv[copy + 1], "all") != 0) {
    std::fprintf(stderr, "jpegtran: unexpected command line\n");
    return 2;
  }
  (void)_setmode(_fileno(stdin), _O_BINARY);
  (void)_setmode(_fileno(stdout), _O_BINARY);
  if (mode == "garble") return std::fputs("no picture here", stdout) >= 0 ? 0 : 3;
  std::string picture((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  if (trim && picture.size() >= 2) picture.insert(2, std::string("\xFF\xFE\x00\x08turned", 10));
  return std::fwrite(picture.data(), 1, picture.size(), stdout) == picture.size() ? 0 : 3;
}
