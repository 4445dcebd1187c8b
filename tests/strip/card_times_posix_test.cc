// What camera cards and USB drives do under a run, as their FUSE drivers do
// it: reads that move the access time whatever the kernel was told, renames
// that stamp the time of the rename on the file renamed, and a folder that
// cannot be synced. The pictures keep their times, or the line says why not.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "support/camera_jpeg.h"
#include "support/fake_platform.h"
#include "support/file_facts.h"
#include "support/in_process.h"
#include "support/temp_dir.h"

namespace {

// Sets the write time of `path` to now, as a driver does on a rename.
void stamp_write_time(const std::string& path) {
  const timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Reads `path` as anybody would, which moves its access time (it lies
// before its write time) and nothing else.
void read_plainly(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  char byte = 0;
  EXPECT_EQ(read(fd, &byte, 1), 1);
  close(fd);
}

struct Card {
  TempDir dir;
  std::string plain = dir / "IMG_1.JPG";
  std::string turned = dir / "IMG_2.JPG";
  FakePlatform os;
  Card() {
    write_file(plain, make_camera_jpeg());
    CameraJpegOptions options;
    options.orientations = {6};
    write_file(turned, make_camera_jpeg(options));
    set_file_stamp(plain, distinct_stamp());
    set_file_stamp(turned, distinct_stamp());
  }
  std::string run() { return run_main_captured(os.table, dir.path()).out; }
};

TEST(CardTimes, ReadsThatMoveTheAccessTimeComeAfterTheFacts) {
  Card card;
  card.os.access_time_kept = false;
  card.os.before_call = [&](Call call, const std::string& path) {
    if (call == Call::kReadAt && (path == card.plain || path == card.turned)) {
      read_plainly(path);
    }
  };
  const std::string out = card.run();
  EXPECT_NE(out.find("2 files stripped\n"), std::string::npos) << out;
  EXPECT_EQ(file_stamp(card.plain), distinct_stamp());
  EXPECT_EQ(file_stamp(card.turned), distinct_stamp());
}

TEST(CardTimes, ARenameThatStampsTheWriteTimeIsUndone) {
  Card card;
  card.os.table.rename_over = [&](FileHandle folder, const std::string& from,
                                  const std::string& to) {
    const int status = card.os.base.rename_over(folder, from, to);
    if (status == 0) stamp_write_time(to);
    return status;
  };
  const std::string out = card.run();
  EXPECT_NE(out.find("2 files stripped\n"), std::string::npos) << out;
  EXPECT_EQ(out.find(" -->"), std::string::npos) << out;
  EXPECT_EQ(file_stamp(card.plain), distinct_stamp());
  EXPECT_EQ(file_stamp(card.turned), distinct_stamp());
}

TEST(CardTimes, WhatCannotBeKeptOrSyncedIsSaid) {
  {
    // The times stamped by the rename cannot be set again.
    Card card;
    card.os.plan = FaultPlan{Call::kSetTimes, 2};
    card.os.table.rename_over = [&](FileHandle folder, const std::string& from,
                                    const std::string& to) {
      const int status = card.os.base.rename_over(folder, from, to);
      if (status == 0) stamp_write_time(to);
      return status;
    };
    card.os.listing = Listing::kAscending;
    const std::string out = card.run();
    EXPECT_NE(out.find(card.plain + " (733) -->Couldn't keep the file's times\n"),
              std::string::npos)
        << out;
  }
  {
    Card card;
    card.os.plan = FaultPlan{Call::kSyncFolder, 1, true};
    card.os.listing = Listing::kAscending;
    const std::string out = card.run();
    // The pictures did take their new names.
    EXPECT_NE(out.find(card.plain + " (733) -->Couldn't sync folder\n"), std::string::npos) << out;
    EXPECT_NE(out.find(card.turned + "--> rotate 90 ("), std::string::npos) << out;
    EXPECT_NE(out.find(") -->Couldn't sync folder\n2 files stripped\n"), std::string::npos) << out;
  }
}

}  // namespace
