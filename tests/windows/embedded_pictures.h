// Pictures made on the build machine when the Windows tests are built and
// compiled into them (test_pictures.cc, by embed_pictures.cmake): a Windows
// test cannot start the build machine's cjpeg or jpegtran.
#pragma once

#include <cstddef>

// A plain gradient picture from cjpeg.
struct EmbeddedPicture {
  int width;
  int height;
  const unsigned char* bytes;
  std::size_t size;
};
extern const EmbeddedPicture kEmbeddedPictures[];
extern const std::size_t kEmbeddedPictureCount;

// The build machine's jpegtran turn of one of those pictures.
struct EmbeddedTurn {
  int width;
  int height;
  int degrees;
  const unsigned char* bytes;
  std::size_t size;
};
extern const EmbeddedTurn kEmbeddedTurns[];
extern const std::size_t kEmbeddedTurnCount;
