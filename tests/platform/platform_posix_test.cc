// The POSIX backend's promises that the rest of the tool leans on.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/camera_jpeg.h"
#include "support/temp_dir.h"

namespace {

const Platform& os() {
  return platform_default();
}

}  // namespace

TEST(PlatformPosix, OpenReadTakesRegularFilesOnly) {
  TempDir dir;
  write_file(dir / "file", Bytes{1, 2, 3});
  make_folders(dir / "folder");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink("file", (dir / "link").c_str()), 0);
  for (const char* name : {"file", "link"}) {
    FileHandle file = kNoFile;
    ASSERT_EQ(os().open_read(dir / name, &file, nullptr), 0) << name;
    std::uint8_t bytes[8];
    EXPECT_EQ(os().read_at(file, 1, bytes, 8), 2) << name;  // short only at the end
    EXPECT_EQ(os().close(file), 0);
  }
  // A writer holds the FIFO open, so that even a blocking open returns here
  // (the binary's walk over a FIFO without one is tested under a timeout).
  const int writer = open((dir / "fifo").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  for (const char* name : {"folder", "fifo", "missing"}) {
    FileHandle file = kNoFile;
    EXPECT_EQ(os().open_read(dir / name, &file, nullptr), -1) << name;
  }
  close(writer);
}

TEST(PlatformPosix, OpenQuietlyTakesNoLinkAndLeavesTheAccessTime) {
  TempDir dir;
  write_file(dir / "file", Bytes(200, 7));
  make_folders(dir / "folder");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink("file", (dir / "link").c_str()), 0);
  const timespec old_times[2] = {{1400000000, 123}, {1500000000, 456}};
  ASSERT_EQ(utimensat(AT_FDCWD, (dir / "file").c_str(), old_times, 0), 0);
  FileHandle folder = kNoFile;
  ASSERT_EQ(os().open_folder(dir.path(), &folder), 0);
  FileHandle file = kNoFile;
  std::uint8_t bytes[16];
  ASSERT_EQ(os().open_quietly(folder, "file", &file), 0);
  EXPECT_EQ(os().read_at(file, 190, bytes, 16), 10);
  FileInfo info;
  ASSERT_EQ(os().file_info(file, &info), 0);
  EXPECT_EQ(info.times.access, std::int64_t{1400000000} * 1000000000 + 123);
  EXPECT_EQ(os().close(file), 0);
  // No writer holds the FIFO: the open must not wait for one.
  for (const char* name : {"fifo", "folder"}) {
    ASSERT_EQ(os().open_quietly(folder, name, &file), 0) << name;
    EXPECT_EQ(os().read_at(file, 146, bytes, 16), -1) << name;
    EXPECT_EQ(os().close(file), 0);
  }
  EXPECT_EQ(os().open_quietly(folder, "link", &file), kNotQuiet);
  EXPECT_EQ(os().open_quietly(kNoFile, "file", &file), kNotQuiet);
  EXPECT_EQ(os().open_quietly(folder, "missing", &file), -1);
  EXPECT_EQ(os().close(folder), 0);
  EXPECT_EQ(os().open_folder(dir / "file", &folder), -1);
}

TEST(PlatformPosix, NewAndUpdatedFilesNeverGoThroughLinks) {
  TempDir dir;
  write_file(dir / "target", Bytes{7});
  ASSERT_EQ(symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
  ASSERT_EQ(symlink((dir / "absent").c_str(), (dir / "dangling").c_str()), 0);
  FileHandle file = kNoFile;
  // Taken names, links among them, are said to be taken.
  EXPECT_EQ(os().create_new(kNoFile, dir / "link", &file), kNameTaken);
  EXPECT_EQ(os().create_new(kNoFile, dir / "dangling", &file), kNameTaken);
  EXPECT_EQ(os().create_new(kNoFile, dir / "target", &file), kNameTaken);
  EXPECT_EQ(os().create_new(kNoFile, dir / "no-folder/file", &file), -1);
  EXPECT_NE(access((dir / "absent").c_str(), F_OK), 0);
  EXPECT_EQ(read_file(dir / "target"), Bytes{7});

  const mode_t old_mask = umask(0);
  ASSERT_EQ(os().create_new(kNoFile, dir / "fresh", &file), 0);
  umask(old_mask);
  EXPECT_EQ(os().close(file), 0);
  struct stat st {};
  ASSERT_EQ(stat((dir / "fresh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(os().remove(kNoFile, dir / "link"), 0);  // the link, not its target
  EXPECT_EQ(read_file(dir / "target"), Bytes{7});
}

TEST(PlatformPosix, TimesRoundTripToTheNanosecond) {
  TempDir dir;
  FileHandle file = kNoFile;
  ASSERT_EQ(os().create_new(kNoFile, dir / "file", &file), 0);
  // Before and after 1970, with odd nanoseconds.
  for (const FileTimes times :
       {FileTimes{0, -1500000001, 1700000000123456789}, FileTimes{0, 1234567890987654321, -1}}) {
    ASSERT_EQ(os().set_times(file, times), 0);
    FileInfo info;
    ASSERT_EQ(os().path_info(kNoFile, dir / "file", &info), 0);
    EXPECT_EQ(info.times.access, times.access);
    EXPECT_EQ(info.times.write, times.write);
    struct stat st {};
    ASSERT_EQ(stat((dir / "file").c_str(), &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec * 1000000000 + st.st_atim.tv_nsec, times.access);
  }
  EXPECT_EQ(os().close(file), 0);
}

TEST(PlatformPosix, ListingMarksFoldersAndLinksToFolders) {
  TempDir dir;
  make_folders(dir / "folder");
  write_file(dir / "file.jpg", Bytes{});
  ASSERT_EQ(symlink("folder", (dir / "to_folder").c_str()), 0);
  ASSERT_EQ(symlink("file.jpg", (dir / "to_file.jpg").c_str()), 0);
  ASSERT_EQ(symlink("absent", (dir / "dangling").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  std::vector<FolderEntry> entries;
  ASSERT_EQ(os().list_folder(dir.path(), &entries), 0);
  std::map<std::string, bool> seen;
  for (const FolderEntry& e : entries) seen[e.name] = e.is_folder;
  EXPECT_EQ(seen, (std::map<std::string, bool>{{".", true},
                                               {"..", true},
                                               {"dangling", false},
                                               {"fifo", false},
                                               {"file.jpg", false},
                                               {"folder", true},
                                               {"to_file.jpg", false},
                                               {"to_folder", true}}));
  EXPECT_EQ(os().list_folder(dir / "file.jpg", &entries), -1);
  EXPECT_EQ(os().list_folder(dir / "missing", &entries), -1);
}

TEST(PlatformPosix, RunProgramReadsAndWritesTheGivenFiles) {
  TempDir dir;
  write_file(dir / "in", Bytes{1, 2, 3, 0xFF});
  FileHandle in = kNoFile;
  FileHandle out = kNoFile;
  ASSERT_EQ(os().open_read(dir / "in", &in, nullptr), 0);
  ASSERT_EQ(os().create_new(kNoFile, dir / "out", &out), 0);
  std::uint8_t first = 0;
  ASSERT_EQ(os().read_at(in, 1, &first, 1), 1);  // reading elsewhere moves nothing it reads from
  EXPECT_EQ(os().run_program({"sh", "-c", "cat; exit 3"}, in, out), 3);
  EXPECT_EQ(read_file(dir / "out"), (Bytes{1, 2, 3, 0xFF}));
  EXPECT_EQ(os().run_program({"true"}, in, out), 0);
  EXPECT_EQ(os().run_program({"trimvane-no-such-program"}, in, out), -1);
  EXPECT_EQ(os().run_program({"sh", "-c", "kill -9 $$"}, in, out), -1);
  EXPECT_EQ(os().run_program({}, in, out), -1);
  // A closed pipe ends the child as it would anywhere else, though this
  // process ignores it.
  EXPECT_EQ(
      os().run_program({"sh", "-c", "trap - PIPE; yes | head -c1 >/dev/null; exit 0"}, in, out), 0);
  EXPECT_EQ(os().close(in), 0);
  EXPECT_EQ(os().close(out), 0);
}

TEST(PlatformPosix, ATemporaryFileHasNoName) {
  FileHandle file = kNoFile;
  ASSERT_EQ(os().create_temporary(&file), 0);
  const std::uint8_t bytes[3] = {7, 8, 9};
  ASSERT_EQ(os().write_at(file, 0, bytes, 3), 0);
  FileInfo info;
  ASSERT_EQ(os().file_info(file, &info), 0);
  EXPECT_EQ(info.length, 3);
  EXPECT_EQ(info.mode & 077, 0u) << "open to others";
  // No folder holds it: the descriptor's link names no path of a folder.
  char target[256] = {};
  const std::string link = "/proc/self/fd/" + std::to_string(file);
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_TRUE(std::string(target).rfind("/memfd:", 0) == 0 ||
              std::string(target).ends_with(" (deleted)"))
      << target;
  EXPECT_EQ(os().close(file), 0);
}

TEST(PlatformPosix, CopyRangeCopiesExactlyTheRangeAndLeavesTheAccessTime) {
  TempDir dir;
  Bytes source(300000);
  for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::uint8_t>(i * 7);
  write_file(dir / "from", source);
  // Between two files of one folder (copied inside the system), and from a
  // file into a memory file (where it may go the plain way).
  FileHandle from = kNoFile;
  ASSERT_EQ(os().open_read(dir / "from", &from, nullptr), 0);
  FileHandle to = kNoFile;
  FileHandle memory = kNoFile;
  ASSERT_EQ(os().create_new(kNoFile, dir / "to", &to), 0);
  ASSERT_EQ(os().create_temporary(&memory), 0);
  struct stat before {};
  ASSERT_EQ(fstat(static_cast<int>(from), &before), 0);
  for (const FileHandle target : {to, memory}) {
    ASSERT_EQ(os().copy_range(from, target, 0, 1000), 0);
    ASSERT_EQ(os().copy_range(from, target, 1000, 250000), 0);
    FileInfo info;
    ASSERT_EQ(os().file_info(target, &info), 0);
    ASSERT_EQ(info.length, 251000);
    Bytes copied(251000);
    ASSERT_EQ(os().read_at(target, 0, copied.data(), 251000), 251000);
    EXPECT_TRUE(std::equal(copied.begin(), copied.end(), source.begin()));
  }
  // Past the end of the source there is nothing to copy: a failure.
  EXPECT_EQ(os().copy_range(from, to, 299000, 5000), -1);
  struct stat after {};
  ASSERT_EQ(fstat(static_cast<int>(from), &after), 0);
  EXPECT_EQ(after.st_atim.tv_nsec, before.st_atim.tv_nsec);
  EXPECT_EQ(after.st_atim.tv_sec, before.st_atim.tv_sec);
  for (const FileHandle file : {from, to, memory}) EXPECT_EQ(os().close(file), 0);
}
