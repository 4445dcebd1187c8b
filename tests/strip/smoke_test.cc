#include <gtest/gtest.h>

#include "support/camera_jpeg.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

TEST(Smoke, StripsAndRotates) {
  TempDir dir;
  const Bytes plain = make_camera_jpeg();
  write_file(dir / "IMG_0001.JPG", plain);
  CameraJpegOptions turned;
  turned.orientations = {6};
  turned.exif_thumbnails = 3;
  write_file(dir / "IMG_0002.JPG", make_camera_jpeg(turned));
  const RunOutput run = run_trimvane(dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  std::printf("%s", run.out.c_str());
  const Bytes after = read_file(dir / "IMG_0001.JPG");
  EXPECT_EQ(static_cast<std::int64_t>(after.size()), trailing_preview_offset(plain, {}));
}
