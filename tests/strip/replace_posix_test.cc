// What a run does to the files around a picture on POSIX: times, owner and
// permission bits carried over, atomic replacement, no trace on files it
// leaves alone, no writing through planted links, and no damage when the
// output cannot be made or the disk is full.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/camera_jpeg.h"
#include "support/file_facts.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"

namespace {

struct stat stat_of(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) st.st_ino = 0;
  return st;
}

bool same_time(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Times long past with odd nanoseconds. The access time lies more than a day
// back, so a plain read of the file would move it.
void set_odd_times(const std::string& path, long nanos) {
  const timespec times[2] = {{1500000000, nanos}, {1400000000, 999999999 - nanos}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

std::string saving_of(const Bytes& camera) {
  return std::to_string(camera.size() - trailing_preview_offset(camera, {}));
}

Bytes cut_of(const Bytes& camera) {
  return Bytes(camera.begin(), camera.begin() + trailing_preview_offset(camera, {}));
}

bool is_root() {
  return geteuid() == 0;
}

}  // namespace

TEST(ReplacePosix, KeepsTimesOwnerAndModeAndLeavesOthersUntouched) {
  TempDir dir;
  const Bytes camera = make_camera_jpeg();
  CameraJpegOptions three;
  three.exif_thumbnails = 1;
  struct Case {
    std::string name;
    Bytes bytes;
    mode_t mode;
    bool stripped;
  };
  const Case cases[] = {
      {"private.jpg", camera, 0600, true},
      {"group.jpg", camera, 0640, true},
      {"shared.jpg", camera, 0644, true},
      {"three.jpg", make_camera_jpeg(three), 0644, false},
      {"other.jpg", plain_jpeg(64, 48), 0644, false},
  };
  std::vector<struct stat> before;
  long nanos = 123456789;
  for (const Case& c : cases) {
    const std::string path = dir / c.name;
    write_file(path, c.bytes);
    ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
    if (is_root()) {
      ASSERT_EQ(chown(path.c_str(), 4321, 5432), 0);
    }
    set_odd_times(path, nanos += 111);
    before.push_back(stat_of(path));
  }
  const RunOutput run = run_trimvane(dir.path());
  ASSERT_EQ(run.status, 0);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const struct stat after = stat_of(dir / c.name);  // before anything reads it
    EXPECT_TRUE(same_time(after.st_atim, before[i].st_atim)) << c.name;
    EXPECT_TRUE(same_time(after.st_mtim, before[i].st_mtim)) << c.name;
    EXPECT_EQ(after.st_mode, before[i].st_mode) << c.name;
    EXPECT_EQ(after.st_uid, before[i].st_uid) << c.name;
    EXPECT_EQ(after.st_gid, before[i].st_gid) << c.name;
    // A new file took the old one's place; a file left alone is the same one.
    EXPECT_EQ(after.st_ino != before[i].st_ino, c.stripped) << c.name;
    EXPECT_EQ(read_file(dir / c.name), c.stripped ? cut_of(c.bytes) : c.bytes) << c.name;
  }
}

TEST(ReplacePosix, ReadOnlyPictureIsNotReplaced) {
  TempDir dir;
  const Bytes camera = make_camera_jpeg();
  const std::string path = dir / "IMG_0001.JPG";
  write_file(path, camera);
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  const RunOutput run = run_trimvane(dir.path());
  const std::string saved = saving_of(camera);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(after_banner(run.out), path + " (" + saved +
                                       ") -->Couldn't replace original file\n1 files stripped\n" +
                                       saved + " bytes saved\n");
  EXPECT_EQ(read_file(path), camera);
  EXPECT_EQ(read_file(path + ".stripped"), cut_of(camera));
}

TEST(ReplacePosix, PlantedLinksAreNeverWrittenThrough) {
  TempDir dir;
  TempDir outside;
  const Bytes keep = {'k', 'e', 'e', 'p'};
  write_file(outside / "target", keep);
  const Bytes camera = make_camera_jpeg();
  CameraJpegOptions three;
  three.exif_thumbnails = 1;
  const Bytes not_cut = make_camera_jpeg(three);
  // A link to an existing file and one to a name not yet there, on the road
  // that writes a cut and on the one that writes nothing; and a stale file.
  write_file(dir / "cut.jpg", camera);
  write_file(dir / "cut_dangling.jpg", camera);
  write_file(dir / "three.jpg", not_cut);
  write_file(dir / "three_dangling.jpg", not_cut);
  write_file(dir / "three_stale.jpg", not_cut);
  ASSERT_EQ(symlink((outside / "target").c_str(), (dir / "cut.jpg.stripped").c_str()), 0);
  ASSERT_EQ(symlink((outside / "new").c_str(), (dir / "cut_dangling.jpg.stripped").c_str()), 0);
  ASSERT_EQ(symlink((outside / "target").c_str(), (dir / "three.jpg.stripped").c_str()), 0);
  ASSERT_EQ(symlink((outside / "new").c_str(), (dir / "three_dangling.jpg.stripped").c_str()), 0);
  write_file(dir / "three_stale.jpg.stripped", keep);

  const RunOutput run = run_trimvane(dir.path());
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(read_file(outside / "target"), keep);
  EXPECT_FALSE(path_exists(outside / "new"));
  for (const char* name : {"cut.jpg", "cut_dangling.jpg"}) {
    EXPECT_EQ(read_file(dir / name), cut_of(camera)) << name;
  }
  for (const char* name : {"three.jpg", "three_dangling.jpg", "three_stale.jpg"}) {
    EXPECT_EQ(read_file(dir / name), not_cut) << name;
  }
  for (const char* name :
       {"cut.jpg", "cut_dangling.jpg", "three.jpg", "three_dangling.jpg", "three_stale.jpg"}) {
    EXPECT_FALSE(path_exists(dir / name + ".stripped")) << name;
  }
}

namespace {

const std::vector<std::string> kAsNobody = {"setpriv", "--reuid=65534", "--regid=65534",
                                            "--clear-groups"};

// Whether the tool can be run as nobody, with `path` within its reach.
bool nobody_reaches(const std::string& path) {
  std::vector<std::string> probe = kAsNobody;
  probe.insert(probe.end(), {"test", "-r", path});
  return is_root() && access("/usr/bin/setpriv", X_OK) == 0 &&
         run_program_capture(probe).status == 0;
}

// A camera file at `dir`/`folder`/IMG_0001.JPG, the way to it open to others;
// its path.
std::string plant_for_nobody(const TempDir& dir, const std::string& folder, const Bytes& camera) {
  make_folders(dir / folder);
  const std::string path = dir / folder + "/IMG_0001.JPG";
  write_file(path, camera);
  EXPECT_EQ(chmod(dir.path().c_str(), 0755), 0);
  return path;
}

RunOutput run_as_nobody(const std::string& folder) {
  std::vector<std::string> argv = kAsNobody;
  argv.insert(argv.end(), {trimvane_binary(), folder});
  return run_program_capture(argv);
}

}  // namespace

TEST(ReplacePosix, FolderWhereNoFileCanBeCreated) {
  TempDir dir;
  const Bytes camera = make_camera_jpeg();
  const std::string folder = dir / "locked";
  const std::string path = plant_for_nobody(dir, "locked", camera);
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  if (!nobody_reaches(path)) GTEST_SKIP() << "needs root and setpriv to run as another user";
  const RunOutput run = run_as_nobody(folder);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(after_banner(run.out),
            path + "--> couldn't open output file\n0 files stripped\n0 bytes saved\n");
  EXPECT_EQ(read_file(path), camera);
  EXPECT_FALSE(path_exists(path + ".stripped"));
}

// Another owner's picture can be read but not opened without moving its
// access time: its times must be taken before the first read all the same.
TEST(ReplacePosix, AnotherOwnersPictureKeepsItsAccessTime) {
  if (!is_root()) GTEST_SKIP() << "needs root to run the tool as another user";
  TempDir dir;
  const Bytes camera = make_camera_jpeg();
  const std::string folder = dir / "shared";
  const std::string path = plant_for_nobody(dir, "shared", camera);
  set_odd_times(path, 222222222);
  const struct stat before = stat_of(path);
  ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
  if (!nobody_reaches(path)) GTEST_SKIP() << "needs root and setpriv to run as another user";
  const RunOutput run = run_as_nobody(folder);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(after_banner(run.out), path + " (" + saving_of(camera) + ")\n1 files stripped\n" +
                                       saving_of(camera) + " bytes saved\n");
  const struct stat after = stat_of(path);
  EXPECT_EQ(read_file(path), cut_of(camera));
  EXPECT_TRUE(same_time(after.st_atim, before.st_atim));
  EXPECT_TRUE(same_time(after.st_mtim, before.st_mtim));
}

namespace {

// A tmpfs mounted for one test and unmounted when it ends.
struct SmallDisk {
  std::string at;
  bool mounted = false;
  explicit SmallDisk(const std::string& where) : at(where) {
    make_folders(at);
    mounted =
        run_program_capture({"mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", at}).status == 0;
  }
  ~SmallDisk() {
    if (mounted) run_program_capture({"umount", at});
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
};

// Writes to `path` until the disk has no room left.
void fill_disk(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  const std::vector<char> block(4096, 'x');
  while (write(fd, block.data(), block.size()) > 0) {
  }
  EXPECT_EQ(errno, ENOSPC);
  close(fd);
}

}  // namespace

TEST(ReplacePosix, FullDiskLeavesPicturesAsTheyWere) {
  if (!is_root()) GTEST_SKIP() << "needs root to mount a small tmpfs";
  TempDir dir;
  const SmallDisk disk(dir / "disk");
  if (!disk.mounted) GTEST_SKIP() << "could not mount a tmpfs";
  const Bytes camera = make_camera_jpeg();
  make_folders(disk.at + "/sub");
  const std::string first = disk.at + "/IMG_0001.JPG";
  const std::string second = disk.at + "/sub/IMG_0002.JPG";
  write_file(first, camera);
  write_file(second, camera);
  fill_disk(disk.at + "/filler");
  const RunOutput run = run_trimvane(disk.at);
  EXPECT_EQ(run.status, 0);
  // A cut that cannot be written leaves the line with the path alone.
  const std::string lines = after_banner(run.out);
  const std::string totals = "0 files stripped\n0 bytes saved\n";
  EXPECT_TRUE(lines == first + "\n" + second + "\n" + totals ||
              lines == second + "\n" + first + "\n" + totals)
      << lines;
  for (const std::string& path : {first, second}) {
    EXPECT_EQ(read_file(path), camera) << path;
    EXPECT_FALSE(path_exists(path + ".stripped")) << path;
  }
}
