// One picture reached by several names (a folder link, file links, a hard
// link) among pictures of a camera's size, and a run under a low open-file
// limit: the real binary must leave the same files and print the same text
// with one worker or several, on a terminal, into a pipe or into a file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/camera_jpeg.h"
#include "support/linked_tree.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(SharedPictures, EveryWayOfRunningGivesWhatOneAtATimeGives) {
  TempDir dir;
  const std::string root = dir / "tree";
  plant_linked(root);
  // One file at a time, each in place before the next begins.
  const std::string alone = run_into(Output::kTerminal, 1, root, dir);
  const std::map<std::string, Left> expected = snapshot(root);
  // Every picture was stripped through whichever name came first (a file
  // link met before its target becomes a stripped copy, which leaves the
  // target to be stripped by its own name); the folder's pictures were
  // found stripped already by its second name. The folder link is still a
  // link, and nothing is left beside the pictures.
  std::size_t found_stripped = 0;
  for (std::size_t at = 0;
       (at = alone.find(" -->preview image not found\n", at)) != std::string::npos; ++at) {
    ++found_stripped;
  }
  EXPECT_GE(found_stripped, 3u) << alone;
  EXPECT_EQ(expected.at("/B").link, "A");
  for (const auto& [name, left] : expected) {
    EXPECT_EQ(name.find(".stripped"), std::string::npos) << name;
    EXPECT_EQ(name.find(".r"), std::string::npos) << name;
    if (!left.bytes.empty()) {
      EXPECT_EQ(sequence_offsets(left.bytes).size(), 3u) << name;
    }
  }
  struct Way {
    Output output;
    int workers;
  };
  for (const Way way : {Way{Output::kPipe, 1}, Way{Output::kFile, 1}, Way{Output::kPipe, 2},
                        Way{Output::kFile, 4}, Way{Output::kPipe, 4}}) {
    plant_linked(root);
    const std::string out = run_into(way.output, way.workers, root, dir);
    EXPECT_EQ(out, alone) << way.workers << " workers";
    const std::map<std::string, Left> tree = snapshot(root);
    for (const auto& [name, left] : expected) {
      const auto found = tree.find(name);
      EXPECT_TRUE(found != tree.end() && found->second == left)
          << name << " differs with " << way.workers << " workers: "
          << (found == tree.end()                 ? "missing"
              : found->second.stamp == left.stamp ? "bytes"
                                                  : "stamp")
          << (found == tree.end() ? FileStamp{} : found->second.stamp) << " " << left.stamp;
    }
    EXPECT_EQ(tree.size(), expected.size()) << way.workers << " workers";
  }
}

// Whatever the open-file limit, the run's own work ahead never makes an open
// fail: every picture is worked on, as with no limit.
TEST(SharedPictures, ALowOpenFileLimitPassesNoPictureOver) {
  TempDir dir;
  const std::string root = dir / "tree";
  const auto plant = [&] {
    fs::remove_all(root);
    fs::create_directories(root);
    for (int n = 0; n < 100; ++n) {
      CameraJpegOptions options;
      options.tag = "limit" + std::to_string(n);
      options.orientations = {n % 10 == 0 ? 6u : 1u};
      picture(root + "/IMG_" + std::to_string(n) + ".JPG", make_camera_jpeg(options));
    }
  };
  plant();
  const std::string unlimited = run_into(Output::kPipe, 1, root, dir);
  ASSERT_NE(unlimited.find("100 files stripped\n"), std::string::npos) << unlimited;
  const std::map<std::string, Left> expected = snapshot(root);
  for (const char* workers : {"1", "8"}) {
    plant();
    const RunOutput run = run_program_capture(
        {"sh", "-c", "ulimit -n 40 && exec env TRIMVANE_WORKERS=\"$2\" \"$0\" \"$1\"",
         trimvane_binary(), root, workers});
    EXPECT_EQ(run.out, unlimited) << workers << " workers" << run.err;
    EXPECT_TRUE(snapshot(root) == expected) << workers << " workers";
  }
}

}  // namespace
