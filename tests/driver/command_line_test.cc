// The command line as a user meets it: the real binary, real folders.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/camera_jpeg.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

namespace {

// The version's dots stand for themselves.
const std::string kFirstLine =
    "Trimvane V" + std::regex_replace(TRIMVANE_VERSION, std::regex(R"(\.)"), R"(\.)") +
    R"( \((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 1-3][0-9] )"
    R"([0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\)\n)";

// The first line, a notice line and the empty line.
bool starts_with_banner(const std::string& out) {
  return std::regex_search(out, std::regex(kFirstLine + "[^\n]+\n\n"),
                           std::regex_constants::match_continuous);
}

std::string usage_text() {
  return "Usage: " + trimvane_binary() +
         " inputdir\n\n"
         "This program removes the useless 3rd JPEG preview image from\n"
         "EOS 300D/Kiss/Rebel Digital .JPG images.\n"
         "\nOr: " +
         trimvane_binary() +
         " -n inputdir   (or --dry-run)\n"
         "  does all the work on every picture but changes nothing: prints what a\n"
         "  run would print, then one line more. No file or folder is created,\n"
         "  written or removed, and no time moves. What only putting a file in its\n"
         "  place can meet (a read-only folder, a full disk) is not foreseen.\n"
         "\n"
         "Started in a window of its own (on Windows, by a double-click or by\n"
         "dropping a folder on it), it waits for Enter before the window closes.\n";
}

const char kZeroTotals[] = "0 files stripped\n0 bytes saved\n";

}  // namespace

TEST(CommandLine, UsageHelpAndVersion) {
  TempDir dir;
  const Bytes camera = make_camera_jpeg();
  write_file(dir / "IMG_0001.JPG", camera);
  struct Case {
    std::vector<std::string> args;
    int status;
    bool usage;  // banner and usage; otherwise the first banner line alone
  };
  const Case cases[] = {
      {{}, 1, true},
      {{dir.path(), dir.path()}, 1, true},
      {{dir.path(), "a", "b"}, 1, true},
      {{"--help"}, 0, true},
      {{"-h"}, 0, true},
      {{"--version", dir.path()}, 1, true},
      {{"--version"}, 0, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {trimvane_binary()};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const RunOutput run = run_program_capture(argv);
    const std::string label = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(run.status, c.status) << label;
    EXPECT_EQ(run.err, "") << label;
    if (c.usage) {
      EXPECT_TRUE(starts_with_banner(run.out)) << run.out;
      EXPECT_EQ(after_banner(run.out), usage_text()) << label;
    } else {
      EXPECT_TRUE(std::regex_match(run.out, std::regex(kFirstLine))) << run.out;
    }
  }
  EXPECT_EQ(read_file(dir / "IMG_0001.JPG"), camera);
}

TEST(CommandLine, ZeroTotalsWhenNothingToDo) {
  TempDir dir;
  make_folders(dir / "plain/sub");
  write_file(dir / "plain/photo.jpg", plain_jpeg(32, 16));
  write_file(dir / "plain/sub/notes.txt", Bytes{'h', 'i'});
  CameraJpegOptions near_miss;
  near_miss.model = "EOS 350D DIGITAL";
  write_file(dir / "plain/sub/IMG_0002.JPG", make_camera_jpeg(near_miss));
  make_folders(dir / "empty");
  for (const std::string& folder :
       {dir / "missing", dir / "empty", dir / "plain", dir / "plain/photo.jpg", std::string()}) {
    const RunOutput run = run_trimvane(folder);
    EXPECT_EQ(run.status, 0) << folder;
    EXPECT_TRUE(starts_with_banner(run.out)) << run.out;
    EXPECT_EQ(after_banner(run.out), kZeroTotals) << folder;
    EXPECT_EQ(run.err, "");
  }
}
