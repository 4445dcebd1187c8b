// jpegtran answers the real one cannot be made to give, from a stand-in
// script first on PATH: none of them may cost the picture.
#include <gtest/gtest.h>

#include "orient/rotation_checks.h"
#include "strip/result_codes.h"
#include "support/fake_program.h"
#include "support/in_process.h"

namespace {

using namespace rotation_checks;

constexpr const char* kName = "IMG_0001.JPG";

TEST(FakeJpegtran, NoUsablePictureLeavesTheOriginalAlone) {
  const Bytes original = make_camera_jpeg(turned({6}, 3));
  const Bytes good = jpegtran_output(original, {"-rotate", "90"});  // still says 6
  const Bytes upright = rotated_upright(original, "90", 30);
  // Outputs that are right but for one thing, kept beside the script.
  TempDir bin;
  Bytes first_byte = good;
  first_byte[0] = 0x00;
  Bytes second_byte = good;
  second_byte[1] = 0xD9;
  Bytes other_tag = good;
  other_tag[22] = 0x13;
  write_file(bin / "first_byte", first_byte);
  write_file(bin / "second_byte", second_byte);
  write_file(bin / "other_tag", other_tag);
  write_file(bin / "jfif_first", plain_jpeg(64, 48));
  const auto copies = [&](const char* name) { return "cat '" + bin / name + "'; exit 0"; };
  struct Case {
    const char* name;
    std::string action;  // what it writes goes to standard output
    bool rotated_left;   // a ".r" it leaves behind stays
  };
  const Case cases[] = {
      {"fails after writing", "printf partial; exit 1", true},
      {"fails writing nothing", "exit 3", false},
      {"is killed", "kill -9 $$", false},
      {"writes nothing", "exit 0", false},
      {"writes too little for the entry", "printf '\\377\\330\\377\\331'; exit 0", true},
      {"writes no start of image (first byte)", copies("first_byte"), true},
      {"writes no start of image (second byte)", copies("second_byte"), true},
      {"writes another tag where Orientation was", copies("other_tag"), true},
      {"puts a JFIF segment first", copies("jfif_first"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("jpegtran ") + c.name);
    write_script(bin.path(), "jpegtran", c.action);
    TempDir dir;
    put_picture(dir / kName, original);
    const PathPrefix prefix(bin.path());
    const Processed processed = process_captured(platform_default(), kName, dir.path());
    EXPECT_EQ(processed.result, RESULT_ROTATE_FAILED);
    EXPECT_EQ(processed.out, dir / kName + "--> rotate 90--> Error rotating image\n");
    EXPECT_EQ(processed.totals.files_rotated, 0);
    EXPECT_EQ(processed.totals.files_stripped, 0);
    EXPECT_EQ(file_stamp(dir / kName), distinct_stamp());
    EXPECT_EQ(read_file(dir / kName), original);
    EXPECT_EQ(path_exists(dir / kName + ".r"), c.rotated_left);
    EXPECT_FALSE(path_exists(dir / kName + ".stripped"));
  }

  // The same stand-in giving the right picture: the cases above fail for
  // what they change, not for the stand-in.
  write_file(bin / "good", good);
  write_script(bin.path(), "jpegtran", copies("good"));
  TempDir dir;
  put_picture(dir / kName, original);
  const PathPrefix prefix(bin.path());
  const Processed processed = process_captured(platform_default(), kName, dir.path());
  EXPECT_EQ(processed.result, RESULT_DONE);
  EXPECT_EQ(read_file(dir / kName), upright);
}

}  // namespace
