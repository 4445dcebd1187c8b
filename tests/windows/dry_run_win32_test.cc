// trimvane.exe -n as a user runs it before the real run: the same text and
// one line more, and the tree left as it was.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/camera_jpeg.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"
#include "windows/windows_files.h"

namespace {

// What a dry run keeps of a file. The access time is the volume's to keep
// (Windows) or the host's (Wine), whoever reads the file.
struct Kept {
  Bytes bytes;
  DWORD attributes = 0;
  std::int64_t creation = 0;
  std::int64_t write = 0;
  bool operator==(const Kept&) const = default;
};

std::map<std::string, Kept> kept_of(const std::string& folder, const char* const* names) {
  std::map<std::string, Kept> kept;
  for (const char* const* name = names; *name != nullptr; ++name) {
    const std::string path = folder + "\\" + *name;
    const FileTimes times = file_times(path);
    kept[*name] = {read_file(path), GetFileAttributesA(path.c_str()), times.creation, times.write};
  }
  return kept;
}

}  // namespace

TEST(WindowsRun, ADryRunSaysWhatTheRunWillDoAndChangesNothing) {
  TempDir dir;
  const std::string photos = dir.path() + "\\photos";
  make_folders(photos + "\\2004");
  const char* const names[] = {"2004\\IMG_0001.JPG", "2004\\IMG_0002.JPG", "2004\\IMG_0003.JPG",
                               "2004\\IMG_0004.JPG", nullptr};
  CameraJpegOptions turned;
  turned.orientations = {6};
  CameraJpegOptions no_preview;
  no_preview.trailing_previews = 0;
  write_file(photos + "\\" + names[0], make_camera_jpeg());
  write_file(photos + "\\" + names[1], make_camera_jpeg(turned));
  write_file(photos + "\\" + names[2], make_camera_jpeg(no_preview));
  write_file(photos + "\\" + names[3], make_camera_jpeg());
  for (const char* const* name = names; *name != nullptr; ++name) {
    ASSERT_TRUE(set_file_times(photos + "\\" + *name, distinct_times()));
  }
  ASSERT_TRUE(SetFileAttributesA((photos + "\\" + names[3]).c_str(), FILE_ATTRIBUTE_READONLY));

  const std::map<std::string, Kept> before = kept_of(photos, names);
  const RunOutput dry =
      run_program_capture({trimvane_binary(), "-n", photos}, real_jpegtran_folder());
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_TRUE(kept_of(photos, names) == before);
  for (const char* left : {"IMG_0001.JPG.stripped", "IMG_0002.JPG.r", "IMG_0004.JPG.stripped"}) {
    EXPECT_FALSE(path_exists(photos + "\\2004\\" + left)) << left;
  }

  const RunOutput run = run_trimvane(photos, real_jpegtran_folder());
  EXPECT_NE(run.out.find("IMG_0002.JPG--> rotate 90 ("), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("IMG_0004.JPG ("), std::string::npos) << run.out;
  EXPECT_EQ(dry.out, run.out + "Dry run: nothing was changed.\n");
  EXPECT_FALSE(kept_of(photos, names) == before);
}
