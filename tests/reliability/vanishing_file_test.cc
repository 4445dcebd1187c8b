// A picture deleted by someone else while the run is at it: between the
// listing and the load, after the load, while jpegtran turns it, and between
// the rotation and the reload. The seam deletes it at the chosen moment;
// everything else is the real system. Nothing may crash, nothing but the
// deleted picture may be affected, and the walk must go on.
#include <gtest/gtest.h>

#include "driver/run_main.h"
#include "platform/console.h"
#include "support/camera_jpeg.h"
#include "support/temp_dir.h"

namespace {

enum class Moment { kBeforeLoad, kAfterLoad, kDuringRotation, kBeforeReload };

struct Vanishing {
  Moment moment = Moment::kBeforeLoad;
  std::string victim;
};
Vanishing g_vanishing;

void vanish() {
  platform_default().remove(g_vanishing.victim);
}

int open_read(const std::string& path, FileHandle* file) {
  if (g_vanishing.moment == Moment::kBeforeLoad && path == g_vanishing.victim) vanish();
  return platform_default().open_read(path, file);
}

int create_new(const std::string& path, FileHandle* file) {
  if (g_vanishing.moment == Moment::kAfterLoad && path == g_vanishing.victim + ".stripped") {
    vanish();
  }
  return platform_default().create_new(path, file);
}

int run_program(const std::vector<std::string>& argv, FileHandle input, FileHandle output) {
  if (g_vanishing.moment == Moment::kDuringRotation) vanish();
  return platform_default().run_program(argv, input, output);
}

// The turned picture has just taken the original's place.
int rename_over(const std::string& from, const std::string& to) {
  const int status = platform_default().rename_over(from, to);
  if (g_vanishing.moment == Moment::kBeforeReload && to == g_vanishing.victim) vanish();
  return status;
}

const Platform& vanishing_platform(Moment moment, const std::string& victim) {
  static Platform table = [] {
    Platform p = platform_default();
    p.open_read = open_read;
    p.create_new = create_new;
    p.run_program = run_program;
    p.rename_over = rename_over;
    return p;
  }();
  g_vanishing = Vanishing{moment, victim};
  return table;
}

bool exists(const std::string& path) {
  FileInfo info;
  return platform_default().path_info(path, &info) == 0;
}

struct Case {
  const char* name;
  Moment moment;
  std::uint32_t orientation;
  const char* line;  // the victim's line after its path; nullptr for no line at all
  const char* left;  // the temporary name under which the finished picture stays, if any
};

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
  const int status = run_main(2, argv, vanishing_platform(c.moment, victim));
  console_flush();
  const std::string out = testing::internal::GetCapturedStdout();

  EXPECT_EQ(status, 0);
  EXPECT_FALSE(exists(victim));
  const std::string left = c.left == nullptr ? "" : c.left;
  EXPECT_EQ(exists(victim + ".r"), left == ".r");
  EXPECT_EQ(exists(victim + ".stripped"), left == ".stripped");
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
  EXPECT_FALSE(exists(dir / "other.jpg.stripped"));
}

INSTANTIATE_TEST_SUITE_P(
    Moments, VanishingFile,
    testing::Values(Case{"BeforeLoad", Moment::kBeforeLoad, 1, nullptr, nullptr},
                    Case{"AfterLoad", Moment::kAfterLoad, 1, " -->Couldn't replace original file",
                         ".stripped"},
                    Case{"AfterLoadTurned", Moment::kAfterLoad, 6,
                         "--> rotate 90 -->Couldn't replace original file", ".stripped"},
                    Case{"DuringRotation", Moment::kDuringRotation, 6,
                         "--> rotate 90 -->Couldn't replace original file", ".r"},
                    Case{"BeforeReload", Moment::kBeforeReload, 8,
                         "--> rotate 270 -->Couldn't replace original file", ".stripped"}),
    [](const testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

}  // namespace
