#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/linked_tree.h"
#include "support/run_binary.h"

namespace fs = std::filesystem;

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

std::string run_into(Output output, int workers, const std::string& root, const TempDir& scratch,
                     const std::string& options) {
  const std::string env = "TRIMVANE_WORKERS=" + std::to_string(workers);
  const std::string command = env + " " + trimvane_binary() + " " + options + " " + root;
  RunOutput run;
  switch (output) {
    case Output::kTerminal:
      // script(1) gives the tool a terminal of its own as standard output.
      run = run_program_capture({"script", "-qec", "env " + command, "/dev/null"});
      std::erase(run.out, '\r');
      break;
    case Output::kPipe:
      run = run_program_capture({"sh", "-c", "exec env " + command});
      break;
    case Output::kFile:
      run = run_program_capture(
          {"sh", "-c", "env " + command + " >\"$0\" && cat \"$0\"", scratch / "out.txt"});
      break;
  }
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  return run.out;
}
