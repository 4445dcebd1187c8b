// A dry run over a tree with every kind of picture and name the tool meets:
// it prints exactly what the run then prints, and one line more, and leaves
// every byte, mode and time of the tree as it was.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "support/camera_jpeg.h"
#include "support/fake_platform.h"
#include "support/in_process.h"
#include "support/linked_tree.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

const char kNothingChanged[] = "Dry run: nothing was changed.\n";

// All a dry run must keep of a name, not following links.
struct Kept {
  std::uint32_t mode = 0;
  std::int64_t access_ns = 0;
  std::int64_t write_ns = 0;
  std::int64_t change_ns = 0;
  std::string link;
  Bytes bytes;
  bool operator==(const Kept&) const = default;
};

std::int64_t ns(const timespec& time) {
  return std::int64_t{time.tv_sec} * 1000000000 + time.tv_nsec;
}

// The bytes of a file, read without moving its access time.
Bytes read_quietly(const std::string& path) {
  Bytes bytes;
  const int fd = open(path.c_str(), O_RDONLY | O_NOATIME);
  EXPECT_GE(fd, 0) << path;
  std::uint8_t piece[65536];
  ssize_t got = 0;
  while (fd >= 0 && (got = read(fd, piece, sizeof piece)) > 0)
    bytes.insert(bytes.end(), piece, piece + got);
  if (fd >= 0) close(fd);
  return bytes;
}

// `path` and every name below it, not following links, and listed and read
// without moving any access time (the tests run as root or as the owner).
void take_everything(const std::string& root, const std::string& path,
                     std::map<std::string, Kept>* kept) {
  struct stat st {};
  ASSERT_EQ(lstat(path.c_str(), &st), 0) << path;
  Kept& entry = (*kept)[path.substr(root.size())];
  entry = {st.st_mode, ns(st.st_atim), ns(st.st_mtim), ns(st.st_ctim), {}, {}};
  if (S_ISLNK(st.st_mode)) {
    // Whoever follows or reads a link moves its access time.
    entry.access_ns = 0;
    entry.link = fs::read_symlink(path).string();
  }
  if (S_ISREG(st.st_mode)) entry.bytes = read_quietly(path);
  if (!S_ISDIR(st.st_mode)) return;
  DIR* const folder = fdopendir(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOATIME));
  ASSERT_NE(folder, nullptr) << path;
  std::vector<std::string> names;
  while (const dirent* item = readdir(folder)) names.emplace_back(item->d_name);
  closedir(folder);
  for (const std::string& name : names) {
    if (name != "." && name != "..") take_everything(root, path + "/" + name, kept);
  }
}

std::map<std::string, Kept> everything_kept(const std::string& root) {
  std::map<std::string, Kept> kept;
  take_everything(root, root, &kept);
  return kept;
}

// The linked tree, a turned picture with a thumbnail to turn, one without the
// extra preview, a read-only one, a plain JPEG, and every folder's times set
// far back, where reading or listing anything would move them.
void plant_every_kind(const std::string& root) {
  plant_linked(root);
  // Met again through the folder link, after its target whatever the order.
  ASSERT_TRUE(make_symlink("IMG_1.JPG", root + "/A/IMG_L.JPG"));
  fs::create_directories(root + "/E");
  CameraJpegOptions thumbnail;
  thumbnail.orientations = {6};
  thumbnail.thumbnail.width = 160;
  thumbnail.thumbnail.height = 120;
  picture(root + "/E/IMG_7.JPG", make_camera_jpeg(thumbnail));
  CameraJpegOptions no_preview;
  no_preview.trailing_previews = 0;
  picture(root + "/E/IMG_8.JPG", make_camera_jpeg(no_preview));
  picture(root + "/E/IMG_9.JPG", make_camera_jpeg());
  fs::permissions(root + "/E/IMG_9.JPG", fs::perms(0444));
  write_file(root + "/E/photo.jpg", plain_jpeg(32, 16));
  const timespec long_ago[2] = {{1000000000, 123456789}, {1000000000, 987654321}};
  for (const char* folder : {"", "/A", "/C", "/D", "/E"}) {
    ASSERT_EQ(utimensat(AT_FDCWD, (root + folder).c_str(), long_ago, 0), 0);
  }
}

TEST(DryRun, SaysWhatTheRunWillDoAndChangesNothing) {
  TempDir dir;
  const std::string root = dir / "tree";
  struct Way {
    Output output;
    int workers;
  };
  std::string run_text;
  for (const Way way : {Way{Output::kTerminal, 1}, Way{Output::kPipe, 1}, Way{Output::kFile, 2},
                        Way{Output::kPipe, 4}}) {
    plant_every_kind(root);
    const std::map<std::string, Kept> before = everything_kept(root);
    const std::string dry = run_into(way.output, way.workers, root, dir, "-n");
    const std::map<std::string, Kept> after = everything_kept(root);
    for (const auto& [name, kept] : before) {
      const auto found = after.find(name);
      EXPECT_TRUE(found != after.end() && found->second == kept)
          << name << " changed with " << way.workers << " workers";
    }
    EXPECT_EQ(after.size(), before.size());
    if (run_text.empty()) {
      run_text = run_into(Output::kPipe, 1, root, dir);
      // The run did what the dry run said, on every kind of picture.
      for (const char* said : {"IMG_7.JPG--> rotate 90 (", "IMG_8.JPG -->preview image not found\n",
                               "IMG_9.JPG (733) -->Couldn't replace original file\n"}) {
        EXPECT_NE(run_text.find(said), std::string::npos) << said << "\n" << run_text;
      }
      // The pictures met again by another name were found stripped already.
      std::size_t found_stripped = 0;
      for (std::size_t at = 0;
           (at = run_text.find("preview image not found\n", at)) != std::string::npos; ++at) {
        ++found_stripped;
      }
      EXPECT_GE(found_stripped, 5u) << run_text;
    }
    EXPECT_EQ(dry, run_text + kNothingChanged) << way.workers << " workers";
  }
}

// Whatever the tree holds, no call that could change it reaches the system:
// nothing is created, written, removed, renamed or synced there.
TEST(DryRun, NoCallThatChangesTheTreeIsMade) {
  TempDir dir;
  const std::string root = dir / "tree";
  plant_every_kind(root);
  FakePlatform fake;
  fake.workers = 2;
  std::mutex lock;
  std::vector<std::string> changes;
  fake.before_call = [&](Call call, const std::string& path) {
    // Written files with a name are files of the tree; the run's own are nameless.
    if (call == Call::kCreateNew || call == Call::kRemove || call == Call::kRenameOver ||
        call == Call::kSyncFolder || (call == Call::kWriteAt && !path.empty())) {
      const std::lock_guard<std::mutex> hold(lock);
      changes.push_back(path);
    }
  };
  const CapturedRun dry = run_main_captured(fake.table, root, "--dry-run");
  EXPECT_EQ(dry.status, 0);
  EXPECT_TRUE(changes.empty()) << changes.front();
  // The pictures were turned all the same, into files of no name.
  EXPECT_GT(fake.calls_made(Call::kRunProgram), 0);
  EXPECT_NE(dry.out.find(" files rotated\n"), std::string::npos) << dry.out;
}

TEST(DryRun, WantsItsFolder) {
  TempDir dir;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-n"}, {"--dry-run"}, {"-n", dir.path(), dir.path()}}) {
    std::vector<std::string> argv = {trimvane_binary()};
    argv.insert(argv.end(), args.begin(), args.end());
    const RunOutput run = run_program_capture(argv);
    EXPECT_EQ(run.status, 1) << args[0];
    EXPECT_NE(run.out.find("Usage: "), std::string::npos) << run.out;
  }
  const RunOutput run = run_program_capture({trimvane_binary(), "--dry-run", dir.path()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(after_banner(run.out),
            std::string("0 files stripped\n0 bytes saved\n") + kNothingChanged);
}

}  // namespace
