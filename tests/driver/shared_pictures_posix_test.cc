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
#include "support/file_facts.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// What a run leaves of a name: a link's target, or a file's bytes and stamp.
struct Left {
  std::string link;
  Bytes bytes;
  FileStamp stamp;
  bool operator==(const Left&) const = default;
};

std::map<std::string, Left> snapshot(const std::string& root) {
  std::map<std::string, Left> left;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::string path = item.path().string();
    Left& entry = left[path.substr(root.size())];
    if (item.is_symlink()) {
      entry.link = fs::read_symlink(item.path()).string();
    } else if (item.is_regular_file()) {
      entry.stamp = file_stamp(path);  // before the read moves the access time
      entry.bytes = read_file(path);
    }
  }
  return left;
}

// A picture as a camera writes it: over a megabyte, read in several pieces.
Bytes large_picture(int seed, std::uint32_t orientation) {
  CameraJpegOptions options;
  options.width = 2048;
  options.height = 1536;
  options.grain = 14;
  options.seed = seed;
  options.tag = "large" + std::to_string(seed);
  options.orientations = {orientation};
  Bytes bytes = make_camera_jpeg(options);
  EXPECT_GT(bytes.size(), 1000000u);
  return bytes;
}

void picture(const std::string& path, const Bytes& bytes) {
  write_file(path, bytes);
  set_file_stamp(path, distinct_stamp());
}

// A folder link beside its target, file links to a picture in its own
// folder, a hard link to it from another, and turned pictures among them.
void plant_linked(const std::string& root) {
  fs::remove_all(root);
  for (const char* folder : {"/A", "/C", "/D"}) fs::create_directories(root + folder);
  picture(root + "/A/IMG_1.JPG", large_picture(1, 1));
  picture(root + "/A/IMG_2.JPG", large_picture(2, 6));
  CameraJpegOptions small_turned;
  small_turned.orientations = {8};
  picture(root + "/A/IMG_3.JPG", make_camera_jpeg(small_turned));
  ASSERT_TRUE(make_symlink("A", root + "/B"));
  picture(root + "/C/IMG_4.JPG", large_picture(4, 3));
  ASSERT_TRUE(make_symlink("IMG_4.JPG", root + "/C/IMG_0.JPG"));
  ASSERT_TRUE(make_symlink("IMG_4.JPG", root + "/C/IMG_5.JPG"));
  ASSERT_EQ(link((root + "/C/IMG_4.JPG").c_str(), (root + "/D/hard.JPG").c_str()), 0);
  picture(root + "/D/IMG_6.JPG", large_picture(6, 1));
}

enum class Output { kTerminal, kPipe, kFile };

std::string run_into(Output output, int workers, const std::string& root, const TempDir& scratch) {
  const std::string env = "TRIMVANE_WORKERS=" + std::to_string(workers);
  RunOutput run;
  switch (output) {
    case Output::kTerminal:
      // script(1) gives the tool a terminal of its own as standard output.
      run = run_program_capture(
          {"script", "-qec", "env " + env + " " + trimvane_binary() + " " + root, "/dev/null"});
      std::erase(run.out, '\r');
      break;
    case Output::kPipe:
      run = run_program_capture({"env", env, trimvane_binary(), root});
      break;
    case Output::kFile:
      run = run_program_capture({"sh", "-c", "env \"$3\" \"$0\" \"$1\" >\"$2\" && cat \"$2\"",
                                 trimvane_binary(), root, scratch / "out.txt", env});
      break;
  }
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  return run.out;
}

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
