// A picture deleted by someone else while the run is at it, or replaced by a
// newer one (as `mv new.jpg picture.jpg` does): between the listing and the
// load, after the load, while jpegtran turns it, and between the turned
// picture taking its place and the final replacement. A FakePlatform hook
// acts at the chosen moment; everything else is the real system. Nothing may
// crash, a newer picture is never overwritten, nothing but that picture may
// be affected, and the walk must go on.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <ostream>

#include "driver/run_main.h"
#include "platform/console.h"
#include "support/camera_jpeg.h"
#include "support/fake_platform.h"
#include "support/file_facts.h"
#include "support/temp_dir.h"

namespace {

enum class Moment { kBeforeLoad, kAfterLoad, kDuringRotation, kBeforeFinalReplacement };

// Removes `victim` at `moment`, or renames `newer` over it: just before the
// call that names it. The final replacement begins by looking for the
// picture, a second time when the turned picture took its place first.
void vanish_at(FakePlatform* os, Moment moment, const std::string& victim,
               const std::string& newer) {
  auto looks = std::make_shared<int>(0);
  os->before_call = [os, moment, victim, newer, looks](Call call, const std::string& path) {
    const bool final_look = call == Call::kPathInfo && path == victim && ++*looks == 2;
    const bool now = (call == Call::kOpenRead && moment == Moment::kBeforeLoad && path == victim) ||
                     (call == Call::kCreateNew && moment == Moment::kAfterLoad &&
                      path == victim + ".stripped") ||
                     (call == Call::kRunProgram && moment == Moment::kDuringRotation) ||
                     (final_look && moment == Moment::kBeforeFinalReplacement);
    if (now && newer.empty()) os->base.remove(kNoFile, victim);
    if (now && !newer.empty()) os->base.rename_over(kNoFile, newer, victim);
  };
}

struct Case {
  const char* name;
  Moment moment;
  std::uint32_t orientation;
  const char* line;       // the victim's line after its path; nullptr for no line at all
  const char* left;       // the temporary name under which the finished picture stays, if any
  bool replaced = false;  // a newer picture takes its place instead
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
  // The newer picture waits in a folder the walk never enters.
  CameraJpegOptions newer_options = turned_options;
  newer_options.tag = "newer";
  const Bytes newer_bytes = make_camera_jpeg(newer_options);
  make_folders(dir / ".newer");
  const std::string newer = c.replaced ? dir / ".newer/victim.jpg" : "";
  if (c.replaced) write_file(newer, newer_bytes);

  const char* argv[] = {"trimvane", dir.path().c_str()};
  testing::internal::CaptureStdout();
  FakePlatform os;
  vanish_at(&os, c.moment, victim, newer);
  const int status = run_main(2, argv, os.table);
  console_flush();
  const std::string out = testing::internal::GetCapturedStdout();

  EXPECT_EQ(status, 0);
  EXPECT_EQ(path_exists(victim), c.replaced);
  if (c.replaced) {
    EXPECT_TRUE(read_file(victim) == newer_bytes) << "the newer picture was lost";
  }
  const std::string left = c.left == nullptr ? "" : c.left;
  EXPECT_EQ(path_exists(victim + ".r"), left == ".r");
  EXPECT_EQ(path_exists(victim + ".stripped"), left == ".stripped");
  if (!left.empty()) {  // the work is not lost: it is the finished picture
    const Bytes finished = read_file(victim + left);
    EXPECT_EQ(sequence_offsets(finished).size(), 3u);
    EXPECT_LT(finished.size(), victim_bytes.size());
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
    testing::Values(Case{"BeforeLoad", Moment::kBeforeLoad, 1, nullptr, nullptr},
                    Case{"AfterLoad", Moment::kAfterLoad, 1, " -->Couldn't replace original file",
                         ".stripped"},
                    // The turned picture is cut before it takes its place.
                    Case{"AfterLoadTurned", Moment::kAfterLoad, 6,
                         "--> rotate 90 -->Couldn't replace original file", ".r"},
                    Case{"DuringRotation", Moment::kDuringRotation, 6,
                         "--> rotate 90 -->Couldn't replace original file", ".r"},
                    Case{"BeforeFinalReplacement", Moment::kBeforeFinalReplacement, 8,
                         "--> rotate 270 -->Couldn't replace original file", ".stripped"},
                    Case{"ReplacedAfterLoad", Moment::kAfterLoad, 1,
                         " -->Couldn't replace original file", nullptr, true},
                    Case{"ReplacedAfterLoadTurned", Moment::kAfterLoad, 6,
                         "--> rotate 90 -->Couldn't replace original file", nullptr, true},
                    Case{"ReplacedDuringRotation", Moment::kDuringRotation, 6,
                         "--> rotate 90 -->Couldn't replace original file", nullptr, true},
                    Case{"ReplacedBeforeFinalReplacement", Moment::kBeforeFinalReplacement, 8,
                         "--> rotate 270 -->Couldn't replace original file", nullptr, true}),
    [](const testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

}  // namespace

// The picture's folder is moved away while the run works on it, and a link to
// another folder holding a picture of the same name takes its path: the run
// finishes its work where the picture was opened, never through that path.
TEST(MovedFolder, TheWorkStaysWhereThePictureWasOpened) {
  TempDir dir;
  make_folders(dir / "photos");
  make_folders(dir / "decoy");
  const Bytes picture = make_camera_jpeg();
  CameraJpegOptions other;
  other.tag = "decoy";
  const Bytes decoy = make_camera_jpeg(other);
  write_file(dir / "photos/IMG.JPG", picture);
  write_file(dir / "decoy/IMG.JPG", decoy);
  FakePlatform os;
  os.before_call = [&](Call call, const std::string& path) {
    if (call == Call::kCreateNew && path == dir / "photos/IMG.JPG.stripped") {
      ASSERT_EQ(std::rename((dir / "photos").c_str(), (dir / "moved").c_str()), 0);
      ASSERT_TRUE(make_symlink(dir / "decoy", dir / "photos"));
    }
  };
  const std::string photos = dir / "photos";
  const char* argv[] = {"trimvane", photos.c_str()};
  testing::internal::CaptureStdout();
  EXPECT_EQ(run_main(2, argv, os.table), 0);
  console_flush();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("1 files stripped\n"), std::string::npos) << out;
  EXPECT_TRUE(read_file(dir / "decoy/IMG.JPG") == decoy);
  EXPECT_EQ(folder_names(dir / "decoy"), std::vector<std::string>{"IMG.JPG"});
  EXPECT_EQ(static_cast<std::int64_t>(read_file(dir / "moved/IMG.JPG").size()),
            trailing_preview_offset(picture, {}));
  EXPECT_EQ(folder_names(dir / "moved"), std::vector<std::string>{"IMG.JPG"});
}
