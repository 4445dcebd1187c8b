// Only the exact words --help, -h and --version are options: anything that
// merely looks like one is a folder name like any other.
#include <gtest/gtest.h>

#include <string>

#include "support/camera_jpeg.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

TEST(CliOptions, NearMissesAreFolders) {
  TempDir dir;
  const Bytes camera = make_camera_jpeg();
  const std::string saved = std::to_string(camera.size() - trailing_preview_offset(camera, {}));
  for (const std::string name : {"--HELP", "-H", "--helpx", "-help", "--version=1", "--"}) {
    make_folders(dir / name);
    write_file(dir / (name + "/IMG_0001.JPG"), camera);
    const RunOutput run = run_program_capture({"env", "-C", dir.path(), trimvane_binary(), name});
    EXPECT_EQ(run.status, 0) << name;
    EXPECT_EQ(after_banner(run.out),
              name + "/IMG_0001.JPG (" + saved + ")\n1 files stripped\n" + saved + " bytes saved\n")
        << name;
  }
}
