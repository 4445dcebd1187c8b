// The rotation road when a step after jpegtran fails, through the fault seam
// and the real jpegtran.
#include <gtest/gtest.h>

#include "orient/rotation_checks.h"
#include "strip/result_codes.h"
#include "support/fake_platform.h"
#include "support/in_process.h"

namespace {

using namespace rotation_checks;

constexpr const char* kName = "IMG_0001.JPG";

// How many times each call is made before the rotated file is read back:
// learnt from a run that stops counting at the first sync, the one that puts
// the turned picture, its Orientation reset, on the disk.
struct CallsBeforeReload {
  int counts[static_cast<int>(Call::kCount)] = {};
};

CallsBeforeReload calls_before_reload(const Bytes& original) {
  TempDir dir;
  put_picture(dir / kName, original);
  FakePlatform os;
  CallsBeforeReload before;
  bool taken = false;
  os.before_call = [&](Call call, const std::string&) {
    if (call != Call::kSync || taken) return;
    taken = true;
    for (int c = 0; c < static_cast<int>(Call::kCount); ++c) {
      before.counts[c] = os.calls_made(static_cast<Call>(c));
    }
  };
  const Processed processed = process_captured(os.table, kName, dir.path());
  EXPECT_EQ(processed.result, RESULT_DONE);
  EXPECT_TRUE(taken);
  return before;
}

TEST(RotationFaults, EachFailingStepEndsTheRoadAsItShould) {
  const Bytes original = make_camera_jpeg(turned({6}, 3));
  // Rotated, Orientation 1; its fourth sequence lies in the Exif segment,
  // before the picture, so it is never cut there.
  const Bytes whole = rotated_upright(original, "90", 30);
  ASSERT_LT(whole.size(), original.size());
  const CallsBeforeReload before = calls_before_reload(original);

  // Before the reload the original must stay; after it, the rotated picture
  // with Orientation 1 is in place and counted.
  enum When { kRotating, kReadOnly, kAfterReload };
  struct Case {
    const char* name;
    When when;
    FaultPlan plan;  // after the reload, nth counts from there
    int result;
    int stripped;
    std::string line_end;  // after the path
  };
  // The line after the path, for each way the road can end.
  const std::string rotate = "--> rotate 90";
  const std::string no_replace = " -->Couldn't replace original file";
  const std::string no_output = "--> couldn't open output file";
  const std::string not_replaced = rotate + no_replace + "\n";
  const std::string bare = rotate + "\n";
  const std::string whole_instead = rotate + no_output + saving(original, whole) + "\n";
  const std::string no_file = rotate + no_output + "\n";
  const std::string final_failed = rotate + saving(original, whole) + no_replace + "\n";
  const Case cases[] = {
      {"rename", kRotating, {Call::kRenameOver, 1}, RESULT_ROTATE_FAILED, 0, not_replaced},
      {"read-only original", kReadOnly, {}, RESULT_ROTATE_FAILED, 0, not_replaced},
      {"length", kAfterReload, {Call::kFileInfo, 1}, RESULT_ROTATED_EMPTY, 0, bare},
      {"reading", kAfterReload, {Call::kReadAt, 1}, RESULT_RELOAD_FAILED, 0, bare},
      {"output", kAfterReload, {Call::kCreateNew, 1}, RESULT_DONE, 1, whole_instead},
      {"outputs", kAfterReload, {Call::kCreateNew, 1, true}, RESULT_FALLBACK_FAILED, 0, no_file},
      {"writes", kAfterReload, {Call::kWriteAt, 1, true}, RESULT_FALLBACK_FAILED, 0, bare},
      // The turned picture takes its place first, with the first rename.
      {"final rename", kAfterReload, {Call::kRenameOver, 2}, RESULT_OUTPUT_FAILED, 1, final_failed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir / kName;
    put_picture(path, original);
    FileStamp stamp = distinct_stamp();
    if (c.when == kReadOnly) {
      stamp.mode = 0444;
      set_file_stamp(path, stamp);
    }
    FaultPlan plan = c.plan;
    if (c.when == kAfterReload) plan.nth += before.counts[static_cast<int>(plan.call)];
    FakePlatform os(plan);
    const Processed processed = process_captured(os.table, kName, dir.path());

    const bool rotated = c.when == kAfterReload;
    EXPECT_EQ(processed.result, c.result);
    EXPECT_EQ(processed.out, path + c.line_end);
    EXPECT_EQ(processed.totals.files_rotated, rotated ? 1 : 0);
    EXPECT_EQ(processed.totals.files_stripped, c.stripped);
    // jpegtran reads the picture through the tool's descriptor, which leaves
    // its access time alone.
    EXPECT_EQ(file_stamp(path), stamp);
    EXPECT_EQ(read_file(path), rotated ? whole : original);
    // A rotated picture that could not take the original's place stays.
    EXPECT_EQ(read_file(path + ".r"), rotated ? Bytes() : whole);
    EXPECT_EQ(path_exists(path + ".r"), !rotated);
    // Only a failed final replacement leaves its output.
    const bool kept = c.result == RESULT_OUTPUT_FAILED;
    EXPECT_EQ(read_file(path + ".stripped"), kept ? whole : Bytes());
    EXPECT_EQ(path_exists(path + ".stripped"), kept);
  }
}

}  // namespace
