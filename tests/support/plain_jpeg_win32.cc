#include <cstdio>
#include <cstdlib>

#include "support/camera_jpeg.h"
#include "windows/embedded_pictures.h"

Bytes plain_jpeg(const PictureOptions& o, const JpegCoding& coding) {
  const int width = o.width;
  const int height = o.height;
  if (o.grain != 0 || o.quality != 85 || !coding.sample.empty() || coding.optimize) {
    std::fprintf(stderr, "Only the plain gradient pictures are built in\n");
    std::abort();
  }
  for (std::size_t i = 0; i < kEmbeddedPictureCount; ++i) {
    const EmbeddedPicture& picture = kEmbeddedPictures[i];
    if (picture.width == width && picture.height == height) {
      return Bytes(picture.bytes, picture.bytes + picture.size);
    }
  }
  std::fprintf(stderr, "No %dx%d picture was built in: add it to TEST_PICTURE_SIZES\n", width,
               height);
  std::abort();
}
