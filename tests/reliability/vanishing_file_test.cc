// A picture deleted by someone else while the run is at it: between the
// listing and the load, after the load, while jpegtran turns it, and between
// the rotation and the reload. A FakePlatform hook deletes it just before the
// chosen call; everything else is the real system. Nothing may crash, nothing but the
// deleted picture may be affected, and the walk must go on.
#include <gtest/gtest.h>

#include <ostream>

#include "driver/run_main.h"
#include "platform/console.h"
#include "support/camera_jpeg.h"
#include "support/fake_platform.h"
#include "support/file_facts.h"
#include "support/temp_dir.h"

namespace {

enum class Moment { kBeforeLoad, kAfterLoad, kDuringRotation, kBeforeReload };

// Removes `victim` just before the call that `moment` names.
void vanish_at(FakePlatform* os, Moment moment, const std::string& victim) {
  os->before_call = [os, moment, victim, opens = 0](Call call, const std::string& path) mutable {
    const bool opening = call == Call::kOpenRead && path == victim;
    if (opening) ++opens;
    const bool now = (opening && moment == Moment::kBeforeLoad && opens == 1) ||
                     (opening && moment == Moment::kBeforeReload && opens == 2) ||
                     (call == Call::kCreateNew && moment == Moment::kAfterLoad &&
                      path == victim + ".stripped") ||
                     (call == Call::kRunProgram && moment == Moment::kDuringRotation);
    if (now) os->base.remove(victim);
  };
}

struct Case {
  const char* name;
  Moment moment;
  std::uint32_t orientation;
  const char* line;  // the victim's line after its path; nullptr for no line at all
  bool output_left;  // the finished picture stays under ".stripped"
};

// The case's name, for gtest's listing and failure reports.
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

class VanishingFile : public testing::TestWithParam<Case> {};

TEST_P(VanishingFile, OnlyThatPictureIsAffected) {
  const Case& c = GetParam();
  TempDir dir;
  const Bytes plain = make_camera_jpeg();
  CameraJpegOptions turned_options;
  turned_options.orientations = {c.orientation};
  const Bytes victim_bytes = make_camera_jpeg(turned_options);
  const std::string victim = dir / "victim.jpg";
  write_file(victim, victim_bytes);
  write_file(dir / "other.jpg", plain);

  const char* argv[] = {"trimvane", dir.path().c_str()};
  testing::internal::CaptureStdout();
  FakePlatform os;
  vanish_at(&os, c.moment, victim);
  const int status = run_main(2, argv, os.table);
  console_flush();
  const std::string out = testing::internal::GetCapturedStdout();

  EXPECT_EQ(status, 0);
  EXPECT_FALSE(path_exists(victim));
  EXPECT_FALSE(path_exists(victim + ".r"));
  EXPECT_EQ(path_exists(victim + ".stripped"), c.output_left);
  if (c.output_left) {  // the work is not lost: it is the finished picture
    const Bytes left = read_file(victim + ".stripped");
    EXPECT_EQ(sequence_offsets(left).size(), 3u);
    EXPECT_LT(left.size(), victim_bytes.size());
  }
  if (c.line == nullptr) {
    EXPECT_EQ(out.find(victim), std::string::npos) << out;
  } else {
    EXPECT_NE(out.find(victim + c.line + "\n"), std::string::npos) << out;
  }
  // The walk went on: the other picture is done.
  EXPECT_EQ(static_cast<std::int64_t>(read_file(dir / "other.jpg").size()),
            trailing_preview_offset(plain, {}));
  EXPECT_FALSE(path_exists(dir / "other.jpg.stripped"));
}

INSTANTIATE_TEST_SUITE_P(
    Moments, VanishingFile,
    testing::Values(Case{"BeforeLoad", Moment::kBeforeLoad, 1, nullptr, false},
                    Case{"AfterLoad", Moment::kAfterLoad, 1, " -->Couldn't replace original file",
                         true},
                    Case{"AfterLoadTurned", Moment::kAfterLoad, 6,
                         "--> rotate 90 -->Couldn't replace original file", true},
                    Case{"DuringRotation", Moment::kDuringRotation, 6,
                         "--> rotate 90--> Error rotating image", false},
                    Case{"BeforeReload", Moment::kBeforeReload, 8, "--> rotate 270", false}),
    [](const testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

}  // namespace
