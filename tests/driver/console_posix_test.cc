// Standard output as a user sees it: on a terminal every fragment of a file's
// line stands before whatever jpegtran says on its standard error; through a
// pipe the tool's output goes out in blocks, so jpegtran's words come first.
#include <gtest/gtest.h>

#include <string>

#include "support/camera_jpeg.h"
#include "support/fake_program.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

namespace {

constexpr const char kSaid[] = "SAID-BY-JPEGTRAN";

// A turned picture in `photos`, and a jpegtran in `bin` that says something
// on standard error before doing the real work.
void set_up(const TempDir& photos, const TempDir& bin) {
  CameraJpegOptions turned;
  turned.orientations = {6};
  write_file(photos / "IMG.JPG", make_camera_jpeg(turned));
  const std::string real = find_on_path("jpegtran");
  ASSERT_FALSE(real.empty());
  write_script(bin.path(), "jpegtran",
               std::string("echo ") + kSaid + " >&2\nexec '" + real + "' \"$@\"");
}

std::string without_carriage_returns(std::string text) {
  std::erase(text, '\r');
  return text;
}

}  // namespace

TEST(Console, OnATerminalEachFragmentIsShownAtOnce) {
  TempDir photos;
  TempDir bin;
  set_up(photos, bin);
  // script(1) gives the tool a terminal of its own as standard output.
  const RunOutput run = run_program_capture(
      {"script", "-qec", trimvane_binary() + " " + photos.path(), "/dev/null"}, bin.path());
  ASSERT_EQ(run.status, 0) << run.out;
  const std::string out = without_carriage_returns(run.out);
  EXPECT_NE(out.find(photos / "IMG.JPG" + "--> rotate 90" + kSaid + "\n ("), std::string::npos)
      << out;
}

TEST(Console, ThroughAPipeTheOutputWaitsForItsBlock) {
  TempDir photos;
  TempDir bin;
  set_up(photos, bin);
  const RunOutput run = run_program_capture(
      {"sh", "-c", "exec \"$0\" \"$1\" 2>&1", trimvane_binary(), photos.path()}, bin.path());
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind(std::string(kSaid) + "\nTrimvane V" TRIMVANE_VERSION " (", 0), 0u)
      << run.out;
  EXPECT_NE(run.out.find(photos / "IMG.JPG" + "--> rotate 90 ("), std::string::npos) << run.out;
}
