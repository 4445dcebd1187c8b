// Failures the real system does not produce on demand, injected through the
// platform seam, and files that change under the walk: the picture must
// survive each one and the line and result must say what happened.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "strip/result_codes.h"
#include "support/camera_jpeg.h"
#include "support/fake_platform.h"
#include "support/file_facts.h"
#include "support/in_process.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

TEST(Faults, PictureSurvivesEveryFailingCall) {
  const Bytes camera = make_camera_jpeg();
  const std::int64_t cut = trailing_preview_offset(camera, {});
  const std::string saving = " (" + std::to_string(camera.size() - cut) + ")";
  enum Line {
    kNothing,
    kPathAlone,
    kNoOutput,
    kNotReplaced,
    kNotReplacedUncounted,
    kLoadError,
    kStripped
  };
  struct Case {
    Call call;
    int nth;
    int result;
    Line line;
  };
  const Case cases[] = {
      {Call::kCount, 1, RESULT_DONE, kStripped},  // nothing fails
      {Call::kOpenRead, 1, RESULT_UNCHANGED, kNothing},
      {Call::kReadAt, 1, RESULT_UNCHANGED, kNothing},  // the model field
      {Call::kAllocate, 1, RESULT_LOAD_FAILED, kLoadError},
      {Call::kReadAt, 2, RESULT_LOAD_FAILED, kLoadError},  // the whole file
      {Call::kCreateNew, 1, RESULT_OUTPUT_FAILED, kNoOutput},
      {Call::kWriteAt, 1, RESULT_UNCHANGED, kPathAlone},
      {Call::kSync, 1, RESULT_UNCHANGED, kPathAlone},
      // The picture's own close; the output is closed once it is in place,
      // its bytes already on the disk.
      {Call::kClose, 1, RESULT_DONE, kStripped},
      {Call::kRenameOver, 1, RESULT_OUTPUT_FAILED, kNotReplaced},
      // A picture never takes the run's time or private bits: when the times
      // or the access bits cannot be carried over, it is not replaced. The
      // saving is counted only once the picture is known to be there.
      {Call::kPathInfo, 1, RESULT_OUTPUT_FAILED, kNotReplacedUncounted},
      {Call::kCopyAccess, 1, RESULT_OUTPUT_FAILED, kNotReplaced},
      {Call::kSetTimes, 1, RESULT_OUTPUT_FAILED, kNotReplaced},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string path = dir.path() + kPathSeparator + "IMG_0001.JPG";
    const std::string output = path + ".stripped";
    write_file(path, camera);
    write_file(output, Bytes{'o', 'l', 'd'});  // left by an earlier run
    FakePlatform os({c.call, c.nth});
    const Processed got = process_captured(os.table, "IMG_0001.JPG", dir.path());
    const std::string label =
        std::to_string(static_cast<int>(c.call)) + "#" + std::to_string(c.nth);
    if (c.call != Call::kCount) {
      ASSERT_GE(os.calls_made(c.call), c.nth) << label;  // the fault was met
    }
    EXPECT_EQ(got.result, c.result) << label;
    // Each line is what comes before the path, the path, and what follows it.
    const std::string not_replaced = " -->Couldn't replace original file\n";
    const std::pair<std::string, std::string> parts[] = {{"", ""},
                                                         {"", "\n"},
                                                         {"", "--> couldn't open output file\n"},
                                                         {"", saving + not_replaced},
                                                         {"", not_replaced},
                                                         {" -->Error processing ", "\n"},
                                                         {"", saving + "\n"}};
    const auto& [before, after] = parts[c.line];
    std::string line = before;
    if (c.line != kNothing) line += path;
    line += after;
    EXPECT_EQ(got.out, line) << label;
    EXPECT_EQ(got.totals.files_stripped, c.line == kNotReplaced || c.line == kStripped ? 1 : 0)
        << label;
    if (c.result == RESULT_DONE) {
      EXPECT_EQ(read_file(path), Bytes(camera.begin(), camera.begin() + cut)) << label;
    } else {
      EXPECT_EQ(read_file(path), camera) << label;
    }
    if (c.line == kNothing) {
      // Not taken for a camera file: nothing of its own is touched.
      EXPECT_EQ(read_file(output), (Bytes{'o', 'l', 'd'})) << label;
    } else if (c.line == kNotReplaced || c.line == kNotReplacedUncounted) {
      EXPECT_EQ(read_file(output), Bytes(camera.begin(), camera.begin() + cut)) << label;
    } else {
      EXPECT_FALSE(path_exists(output)) << label;
    }
  }
}

TEST(Faults, LoadFailureEndsOnlyItsFolder) {
  TempDir dir;
  const Bytes camera = make_camera_jpeg();
  const std::string saved = std::to_string(camera.size() - trailing_preview_offset(camera, {}));
  make_folders(dir / "a");
  make_folders(dir / "b");
  for (const char* name : {"a/IMG_1.JPG", "a/IMG_2.JPG", "a/IMG_3.JPG", "b/IMG_4.JPG"}) {
    write_file(dir / name, camera);
  }
  const std::string s(1, kPathSeparator);
  const std::string expected = " -->Error processing " + dir.path() + s + "a" + s + "IMG_1.JPG\n" +
                               dir.path() + s + "b" + s + "IMG_4.JPG (" + saved +
                               ")\n1 files stripped\n" + saved + " bytes saved\n";
  for (Call call : {Call::kAllocate, Call::kReadAt}) {
    // The whole-file read is the second read of a file, after the model's.
    const FaultPlan plan{call, call == Call::kReadAt ? 2 : 1};
    FakePlatform os(plan);
    os.listing = Listing::kAscending;
    const CapturedRun run = run_main_captured(os.table, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(after_banner(run.out), expected);
    for (const char* name : {"a/IMG_1.JPG", "a/IMG_2.JPG", "a/IMG_3.JPG"}) {
      EXPECT_EQ(read_file(dir / name), camera) << name;
    }
    write_file(dir / "b/IMG_4.JPG", camera);
  }
}

TEST(Faults, FileChangedBetweenWalkAndLoad) {
  const Bytes camera = make_camera_jpeg();
  TempDir dir;
  const std::string path = dir.path() + kPathSeparator + "IMG_0001.JPG";

  // Gone, or no longer a camera file, by the time the handler opens it.
  write_file(path, camera);
  std::filesystem::remove(path);
  Processed got = process_captured(platform_default(), "IMG_0001.JPG", dir.path());
  EXPECT_EQ(got.result, RESULT_UNCHANGED);
  EXPECT_EQ(got.out, "");
  EXPECT_FALSE(path_exists(path + ".stripped"));

  write_file(path, Bytes(camera.begin(), camera.begin() + 100));
  got = process_captured(platform_default(), "IMG_0001.JPG", dir.path());
  EXPECT_EQ(got.result, RESULT_UNCHANGED);
  EXPECT_EQ(got.out, "");

  // Shortened after its length was taken: the read comes back short.
  write_file(path, camera);
  FakePlatform os;
  // Cut short once its length has been taken: before the whole-file read,
  // the second read after the model's.
  os.before_call = [&](Call call, const std::string&) {
    if (call == Call::kReadAt && os.calls_made(Call::kReadAt) == 2) {
      std::filesystem::resize_file(path, 1000);
    }
  };
  got = process_captured(os.table, "IMG_0001.JPG", dir.path());
  EXPECT_EQ(got.result, RESULT_LOAD_FAILED);
  EXPECT_EQ(got.out, " -->Error processing " + path + "\n");
  EXPECT_EQ(read_file(path), Bytes(camera.begin(), camera.begin() + 1000));
  EXPECT_FALSE(path_exists(path + ".stripped"));
}
