// Turned pictures through the built binary and the real jpegtran.
#include <gtest/gtest.h>

#include <algorithm>

#include "orient/rotation_checks.h"
#include "support/fake_program.h"
#include "support/run_lines.h"

namespace {

using namespace rotation_checks;

constexpr const char* kName = "IMG_0001.JPG";

TEST(RotationRun, TurnsPicturesUprightAndStripsThem) {
  struct Case {
    const char* name;
    std::vector<std::uint32_t> orientations;
    const char* operation;
    const char* degrees;
    std::int64_t value_offset;
  };
  const Case cases[] = {
      {"180.jpg", {3}, "rotate 180", "180", 30},
      {"90.jpg", {6}, "rotate 90", "90", 30},
      {"270.jpg", {8}, "rotate 270", "270", 30},
      {"1 then 8.jpg", {1, 8}, "rotate 270", "270", 42},
  };
  TempDir dir;
  std::vector<Bytes> expected;
  std::vector<std::string> lines;
  long long saved = 0;
  for (const Case& c : cases) {
    // Three thumbnails: after jpegtran drops the appended preview, the third
    // is still the fourth sequence, but it lies before the picture and is no
    // place to cut. The turned picture is written whole.
    const Bytes original = make_camera_jpeg(turned(c.orientations, 3));
    put_picture(dir / c.name, original);
    expected.push_back(rotated_upright(original, c.degrees, c.value_offset));
    ASSERT_FALSE(expected.back().empty());
    lines.push_back(dir / c.name + "--> " + c.operation + saving(original, expected.back()) + "\n");
    saved += static_cast<long long>(original.size() - expected.back().size());
  }

  const RunOutput run = run_trimvane(dir.path());
  expect_lines_then_totals(run, lines, totals_lines(4, 4, saved));
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(file_stamp(dir / cases[i].name), distinct_stamp());
    EXPECT_EQ(read_file(dir / cases[i].name), expected[i]);
  }
  EXPECT_EQ(folder_names(dir.path()),
            (std::vector<std::string>{"1 then 8.jpg", "180.jpg", "270.jpg", "90.jpg"}));
}

TEST(RotationRun, MirroredAndMisplacedOrientationsAreOnlyStripped) {
  struct Case {
    const char* name;
    CameraJpegOptions options;
  };
  CameraJpegOptions big = turned({6});
  big.big_endian = true;
  CameraJpegOptions jfif = turned({6});
  jfif.jfif_first = true;
  const Case cases[] = {
      {"normal.jpg", turned({1})},
      {"flip.jpg", turned({2})},
      {"vflip.jpg", turned({4})},
      {"transpose.jpg", turned({5})},
      {"transverse.jpg", turned({7})},
      {"motorola.jpg", big},
      {"jfif.jpg", jfif},
  };
  TempDir dir;
  std::vector<Bytes> expected;
  std::vector<std::string> lines;
  long long saved = 0;
  for (const Case& c : cases) {
    const Bytes original = make_camera_jpeg(c.options);
    put_picture(dir / c.name, original);
    const std::int64_t cut = trailing_preview_offset(original, c.options);
    expected.emplace_back(original.begin(), original.begin() + cut);
    lines.push_back(dir / c.name + saving(original, expected.back()) + "\n");
    saved += static_cast<long long>(original.size() - expected.back().size());
  }
  const RunOutput run = run_trimvane(dir.path());
  expect_lines_then_totals(run, lines, totals_lines(7, 0, saved));
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(read_file(dir / cases[i].name), expected[i]) << cases[i].name;
  }
}

TEST(RotationRun, WithoutAFourthSequenceTheRotatedPictureIsWrittenWhole) {
  TempDir dir;
  // Two thumbnails and the appended preview: jpegtran drops the preview, three
  // sequences remain, and the file ends shorter than it was.
  const Bytes shrinking = make_camera_jpeg(turned({6}));
  const Bytes shrunk = rotated_upright(shrinking, "90", 30);
  ASSERT_EQ(sequence_offsets(shrunk).size(), 3u);
  ASSERT_LT(shrunk.size(), shrinking.size());
  // Nothing appended and Huffman tables optimised for this picture: jpegtran's
  // output, with standard tables, is longer than the file it came from.
  CameraJpegOptions bare = turned({6});
  bare.trailing_previews = 0;
  const Bytes growing = jpegtran_output(make_camera_jpeg(bare), {"-optimize"});
  const Bytes grown = rotated_upright(growing, "90", 30);
  ASSERT_EQ(growing[30], 6);
  ASSERT_GT(grown.size(), growing.size());

  put_picture(dir / "shrinks.jpg", shrinking);
  put_picture(dir / "grows.jpg", growing);
  const RunOutput run = run_trimvane(dir.path());
  // The grown file is replaced but saves nothing: no " (N)", not stripped.
  expect_lines_then_totals(
      run,
      {dir / "shrinks.jpg--> rotate 90" + saving(shrinking, shrunk) + "\n",
       dir / "grows.jpg--> rotate 90\n"},
      totals_lines(1, 2, static_cast<long long>(shrinking.size() - shrunk.size())));
  // The times first: reading a file may move its access time.
  EXPECT_EQ(file_stamp(dir / "shrinks.jpg"), distinct_stamp());
  EXPECT_EQ(file_stamp(dir / "grows.jpg"), distinct_stamp());
  EXPECT_EQ(read_file(dir / "shrinks.jpg"), shrunk);
  EXPECT_EQ(read_file(dir / "grows.jpg"), grown);
  EXPECT_EQ(folder_names(dir.path()), (std::vector<std::string>{"grows.jpg", "shrinks.jpg"}));
}

TEST(RotationRun, NoNameIsEverReadAsACommand) {
  const std::vector<std::string> names = {
      "two  spaces.jpg",       "it's.jpg",          "say \"cheese\".jpg",
      "$(touch pwned).jpg",    "`touch pwned`.jpg", "a; touch pwned;.jpg",
      "b & touch pwned &.jpg", "line\nend.jpg",
  };
  ASSERT_FALSE(path_exists("pwned")) << "left by something else in the working folder";
  TempDir dir;
  const Bytes original = make_camera_jpeg(turned({6}, 3));
  const Bytes expected = rotated_upright(original, "90", 30);
  for (const std::string& name : names) put_picture(dir / name, original);

  const RunOutput run = run_trimvane(dir.path());
  EXPECT_FALSE(path_exists("pwned"));
  std::vector<std::string> lines;
  lines.reserve(names.size());
  for (const std::string& name : names) {
    lines.push_back(dir / name + "--> rotate 90" + saving(original, expected) + "\n");
  }
  const long long each = static_cast<long long>(original.size() - expected.size());
  expect_lines_then_totals(run, lines, totals_lines(8, 8, 8 * each));
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(folder_names(dir.path()), sorted);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(file_stamp(dir / name), distinct_stamp());
    EXPECT_EQ(read_file(dir / name), expected);
  }
}

TEST(RotationRun, AFolderArgumentLikeASwitchStillNamesFiles) {
  TempDir dir;
  make_folders(dir / "-turned");
  const Bytes original = make_camera_jpeg(turned({6}, 3));
  const Bytes expected = rotated_upright(original, "90", 30);
  const std::string relative = "-turned/" + std::string(kName);
  put_picture(dir / relative, original);
  // Run from `dir`, so that the argument is the relative "-turned".
  const RunOutput run =
      run_program_capture({"env", "-C", dir.path(), trimvane_binary(), "-turned"});
  expect_lines_then_totals(
      run, {relative + "--> rotate 90" + saving(original, expected) + "\n"},
      totals_lines(1, 1, static_cast<long long>(original.size() - expected.size())));
  EXPECT_EQ(read_file(dir / relative), expected);
}

TEST(RotationRun, WithoutJpegtranThePictureIsLeftAlone) {
  TempDir dir;
  TempDir no_programs;
  const Bytes original = make_camera_jpeg(turned({6}, 3));
  put_picture(dir / kName, original);
  const RunOutput run = run_trimvane_with_path(dir.path(), no_programs.path());
  expect_lines_then_totals(run, {dir / kName + "--> rotate 90--> Error rotating image\n"},
                           totals_lines(0, 0, 0));
  EXPECT_EQ(file_stamp(dir / kName), distinct_stamp());
  EXPECT_EQ(read_file(dir / kName), original);
  EXPECT_EQ(folder_names(dir.path()), std::vector<std::string>{kName});
}

TEST(RotationRun, StaleRotatedFilesAreRemovedBeforeJpegtranRuns) {
  TempDir dir;
  TempDir outside;
  TempDir bin;
  const std::string real = find_on_path("jpegtran");
  ASSERT_FALSE(real.empty());
  // Notes anything jpegtran would find in the file it writes, then lets the
  // real one do the work.
  write_script(bin.path(), "jpegtran",
               "if [ -s /dev/stdout ]; then echo stale >> '" + bin / "stale" + "'; fi\nexec '" +
                   real + "' \"$@\"");
  const Bytes original = make_camera_jpeg(turned({6}, 3));
  const Bytes expected = rotated_upright(original, "90", 30);
  const Bytes victim = {'k', 'e', 'e', 'p'};
  write_file(outside / "victim", victim);
  put_picture(dir / "file.jpg", original);
  put_picture(dir / "link.jpg", original);
  write_file(dir / "file.jpg.r", victim);
  ASSERT_TRUE(make_symlink(outside / "victim", dir / "link.jpg.r"));

  const RunOutput run = run_trimvane(dir.path(), bin.path());
  const std::string line_end = "--> rotate 90" + saving(original, expected) + "\n";
  expect_lines_then_totals(
      run, {dir / "file.jpg" + line_end, dir / "link.jpg" + line_end},
      totals_lines(2, 2, 2 * static_cast<long long>(original.size() - expected.size())));
  EXPECT_FALSE(path_exists(bin / "stale")) << "jpegtran found a stale output";
  EXPECT_EQ(read_file(outside / "victim"), victim);
  EXPECT_EQ(read_file(dir / "file.jpg"), expected);
  EXPECT_EQ(read_file(dir / "link.jpg"), expected);
  EXPECT_EQ(folder_names(dir.path()), (std::vector<std::string>{"file.jpg", "link.jpg"}));
}

}  // namespace
